#include "EnginesDialog.h"

#include "EngineService.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QStringList kFieldOrder
    = {QStringLiteral("key"), QStringLiteral("url"), QStringLiteral("model"), QStringLiteral("email")};

QString sampleFor(const QString& from)
{
    return from == u"es" ? QStringLiteral("Buenos días, ¿cómo está usted?")
                         : QStringLiteral("Good morning, how are you today?");
}

} // namespace

EnginesDialog::EnginesDialog(
    EngineService* service, const QString& confPath, const QString& from, const QString& to, QWidget* parent)
    : QDialog(parent)
    , m_service(service)
    , m_from(from)
    , m_to(to)
{
    setObjectName(QStringLiteral("EnginesDialog"));
    setWindowTitle(tr("Translation engines"));
    auto* layout = new QVBoxLayout(this);

    auto* intro = new QLabel(tr("A text goes to the first engine, from the top, that serves its pair; when that one "
                                "fails, to the next. Engines marked online send the text to their provider."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* top = new QHBoxLayout;
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("engineList"));
    top->addWidget(m_list, 1);
    auto* moves = new QVBoxLayout;
    m_up = new QPushButton(tr("Move &up"), this);
    m_up->setObjectName(QStringLiteral("moveUp"));
    m_down = new QPushButton(tr("Move &down"), this);
    m_down->setObjectName(QStringLiteral("moveDown"));
    moves->addWidget(m_up);
    moves->addWidget(m_down);
    moves->addStretch();
    top->addLayout(moves);

    m_settings = new QGroupBox(this);
    m_form = new QFormLayout(m_settings);
    for (const QString& field : kFieldOrder) {
        auto* edit = new QLineEdit(m_settings);
        edit->setObjectName(QStringLiteral("field_") + field);
        if (field == u"key")
            edit->setEchoMode(QLineEdit::Password);
        m_form->addRow(EnginesModel::fieldLabel(field), edit);
        m_fields.insert(field, edit);
        connect(edit, &QLineEdit::textEdited, this,
            [this, field](const QString& text) { m_model.setValue(selected(), field, text); });
    }
    m_readiness = new QLabel(m_settings);
    m_readiness->setObjectName(QStringLiteral("readiness"));
    m_readiness->setWordWrap(true);
    m_form->addRow(m_readiness);
    top->addWidget(m_settings, 2);
    layout->addLayout(top);

    auto* trying = new QHBoxLayout;
    m_sample = new QLineEdit(sampleFor(from), this);
    m_sample->setObjectName(QStringLiteral("sample"));
    m_try = new QPushButton(tr("&Try"), this);
    m_try->setObjectName(QStringLiteral("tryButton"));
    trying->addWidget(new QLabel(tr("Sample (%1 to %2):").arg(from, to), this));
    trying->addWidget(m_sample, 1);
    trying->addWidget(m_try);
    layout->addLayout(trying);
    m_tryResult = new QLabel(this);
    m_tryResult->setObjectName(QStringLiteral("tryResult"));
    m_tryResult->setWordWrap(true);
    m_tryResult->setTextFormat(Qt::PlainText);
    m_tryResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_tryResult);

    layout->addWidget(new QLabel(tr("Engines that translate each language both ways with %1:").arg(from), this));
    m_languages = new QTableWidget(0, 3, this);
    m_languages->setObjectName(QStringLiteral("languageTable"));
    m_languages->setHorizontalHeaderLabels({tr("Language"), tr("Code"), tr("Engines")});
    m_languages->horizontalHeader()->setStretchLastSection(true);
    m_languages->verticalHeader()->hide();
    m_languages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_languages, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    layout->addWidget(m_status);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Close, this);
    layout->addWidget(m_buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, [this] { showSelected(); });
    connect(m_list, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!m_filling)
            m_model.setEnabled(m_list->row(item), item->checkState() == Qt::Checked);
    });
    const auto move = [this](int by) {
        const int row = selected();
        m_model.move(row, by);
        fillList();
        m_list->setCurrentRow(qBound(0, row + by, int(m_model.rows().size()) - 1));
    };
    connect(m_up, &QPushButton::clicked, this, [move] { move(-1); });
    connect(m_down, &QPushButton::clicked, this, [move] { move(1); });
    connect(m_try, &QPushButton::clicked, this, &EnginesDialog::trySelected);
    connect(m_buttons->button(QDialogButtonBox::Save), &QPushButton::clicked, this, &EnginesDialog::save);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    QString why;
    if (!m_file.load(confPath, &why))
        setStatus(tr("%1 cannot be read: %2").arg(confPath, why));
    m_model.load(m_file);
    fillList();
    m_list->setCurrentRow(0);
    resize(640, 620);
    refresh();
}

EnginesDialog::~EnginesDialog() = default;

int EnginesDialog::selected() const
{
    return m_list->currentRow();
}

void EnginesDialog::fillList()
{
    m_filling = true;
    const int current = m_list->currentRow();
    m_list->clear();
    for (const EnginesModel::Row& row : m_model.rows()) {
        QString text = row.name;
        if (row.online)
            text += tr(" (online)");
        if (!row.ready && !row.why.isEmpty())
            text += QStringLiteral(" \u2014 ") + row.why;
        auto* item = new QListWidgetItem(text, m_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(row.enabled ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, row.id);
    }
    m_list->setCurrentRow(current);
    m_filling = false;
}

void EnginesDialog::showSelected()
{
    const int row = selected();
    if (row < 0 || row >= m_model.rows().size())
        return;
    const EnginesModel::Row& engine = m_model.rows().at(row);
    m_settings->setTitle(engine.name);
    for (auto it = m_fields.begin(); it != m_fields.end(); ++it) {
        const bool has = engine.fields.contains(it.key());
        m_form->setRowVisible(it.value(), has);
        it.value()->setText(engine.values.value(it.key()));
    }
    if (engine.fields.isEmpty())
        m_readiness->setText(tr("Nothing to set up: it works on this machine."));
    else
        m_readiness->setText(engine.ready ? tr("Ready.") : engine.why);
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row + 1 < m_model.rows().size());
}

void EnginesDialog::refresh()
{
    const QPointer<EnginesDialog> self(this);
    m_service->engines(m_from, [self](const EnginesReport& report) {
        if (self)
            self->showReport(report);
    });
}

void EnginesDialog::showReport(const EnginesReport& report)
{
    if (!report.failure.isEmpty()) {
        setStatus(tr("The service cannot say what it serves: %1").arg(report.failure));
        emit reported();
        return;
    }
    m_model.applyReport(report);
    fillList();
    showSelected();
    m_languages->setRowCount(int(report.languages.size()));
    for (int i = 0; i < report.languages.size(); ++i) {
        const LanguageReach& language = report.languages.at(i);
        QStringList names;
        for (const QString& id : language.engines) {
            const auto found = std::find_if(m_model.rows().begin(), m_model.rows().end(),
                [&id](const EnginesModel::Row& row) { return row.id == id; });
            names.append(found == m_model.rows().end() ? id : found->name);
        }
        m_languages->setItem(i, 0, new QTableWidgetItem(language.name));
        m_languages->setItem(i, 1, new QTableWidgetItem(language.code));
        m_languages->setItem(
            i, 2, new QTableWidgetItem(names.isEmpty() ? tr("none") : names.join(QStringLiteral(", "))));
    }
    m_languages->resizeColumnsToContents();
    emit reported();
}

void EnginesDialog::trySelected()
{
    const int row = selected();
    if (row < 0 || row >= m_model.rows().size())
        return;
    const EnginesModel::Row& engine = m_model.rows().at(row);
    QMap<QString, QString> fields;
    for (const QString& field : engine.fields)
        fields.insert(field, engine.values.value(field).trimmed());
    m_tryResult->setText(tr("Trying %1\u2026").arg(engine.name));
    const QPointer<EnginesDialog> self(this);
    const QString name = engine.name;
    m_service->tryEngine(engine.id, m_from, m_to, m_sample->text(), fields, [self, name](const TryOutcome& outcome) {
        if (!self)
            return;
        self->m_tryResult->setText(outcome.ok ? tr("%1 answers: %2").arg(name, outcome.text)
                                              : tr("%1 did not translate it: %2").arg(name, outcome.reason));
        emit self->tried();
    });
}

void EnginesDialog::save()
{
    ServiceConfFile edited = m_file;
    m_model.writeTo(edited);
    QString why;
    if (!edited.save(&why)) {
        setStatus(tr("The settings could not be saved in %1: %2").arg(edited.path(), why));
        emit saved(why);
        return;
    }
    m_file = edited;
    m_model.markSaved();
    setStatus(tr("Saved in %1; the service is reading it\u2026").arg(m_file.path()));
    const QPointer<EnginesDialog> self(this);
    m_service->reload([self](const QString& refusal) {
        if (!self)
            return;
        if (refusal.isEmpty()) {
            self->setStatus(tr("Saved. The service translates with the new settings."));
            self->refresh();
        } else {
            self->setStatus(tr("The service keeps its old settings: %1").arg(refusal));
        }
        emit self->saved(refusal);
    });
}

void EnginesDialog::setStatus(const QString& text)
{
    m_status->setText(text);
}
