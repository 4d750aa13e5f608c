#include "EnginesModel.h"

#include "ServiceConfFile.h"

#include <QObject>

#include <algorithm>

namespace {

const QString kRouting = QStringLiteral("routing");
const QString kOrder = QStringLiteral("order");
const QString kEnabled = QStringLiteral("enabled");

struct Known {
    const char16_t* id;
    const char16_t* name;
    QStringList fields;
};

const QList<Known>& known()
{
    static const QList<Known> engines = {
        {u"phrasebook", u"Phrasebook", {}},
        {u"apertium", u"Apertium", {}},
        {u"mymemory", u"MyMemory", {QStringLiteral("email"), QStringLiteral("url")}},
        {u"deepl", u"DeepL", {QStringLiteral("key"), QStringLiteral("url")}},
        {u"google", u"Google", {QStringLiteral("key"), QStringLiteral("url")}},
        {u"libretranslate", u"LibreTranslate", {QStringLiteral("url"), QStringLiteral("key")}},
        {u"llm", u"Language model", {QStringLiteral("url"), QStringLiteral("model"), QStringLiteral("key")}},
    };
    return engines;
}

bool isOff(const QString& value)
{
    const QString lower = value.toLower();
    return lower == u"no" || lower == u"false" || lower == u"off" || lower == u"0";
}

// The known engines the file's order= names, in its order.
QStringList listedOrder(const ServiceConfFile& file)
{
    QStringList ids;
    for (const QString& id : file.value(kRouting, kOrder).split(u',', Qt::SkipEmptyParts)) {
        const QString trimmed = id.trimmed().toLower();
        if (EnginesModel::defaultOrder().contains(trimmed) && !ids.contains(trimmed))
            ids.append(trimmed);
    }
    return ids;
}

} // namespace

const QStringList& EnginesModel::defaultOrder()
{
    static const QStringList order = [] {
        QStringList ids;
        for (const Known& engine : known())
            ids.append(QString::fromUtf16(engine.id));
        return ids;
    }();
    return order;
}

QString EnginesModel::fieldLabel(const QString& field)
{
    if (field == u"key")
        return QObject::tr("Key");
    if (field == u"url")
        return QObject::tr("Address");
    if (field == u"model")
        return QObject::tr("Model");
    if (field == u"email")
        return QObject::tr("E-mail");
    return field;
}

void EnginesModel::load(const ServiceConfFile& file)
{
    QStringList ids = listedOrder(file);
    m_fileHasOrder = !ids.isEmpty();
    // An engine that an order leaves out is not used.
    const QStringList listed = ids;
    // Those the order leaves out keep their default places after it.
    for (const QString& id : defaultOrder()) {
        if (!ids.contains(id))
            ids.append(id);
    }
    m_rows.clear();
    for (const QString& id : ids) {
        const auto found = std::find_if(
            known().begin(), known().end(), [&id](const Known& engine) { return QString::fromUtf16(engine.id) == id; });
        Row row;
        row.id = id;
        row.name = QString::fromUtf16(found->name);
        row.fields = found->fields;
        row.enabled = !isOff(file.value(id, kEnabled)) && (listed.isEmpty() || listed.contains(id));
        for (const QString& field : row.fields)
            row.values.insert(field, file.value(id, field));
        m_rows.append(row);
    }
    m_loaded = m_rows;
}

void EnginesModel::applyReport(const EnginesReport& report)
{
    const bool takeOrder = !m_fileHasOrder;
    QStringList reported;
    for (const EngineReport& engine : report.engines) {
        reported.append(engine.id);
        for (QList<Row>* rows : {&m_rows, &m_loaded}) {
            for (Row& row : *rows) {
                if (row.id != engine.id)
                    continue;
                if (!engine.name.isEmpty())
                    row.name = engine.name;
                row.online = engine.online;
                row.ready = engine.ready;
                row.why = engine.why;
            }
        }
    }
    QStringList loadedOrder;
    for (const Row& row : m_loaded)
        loadedOrder.append(row.id);
    if (!takeOrder || order() != loadedOrder)
        return;
    const auto rank = [&reported](const Row& row) {
        const qsizetype at = reported.indexOf(row.id);
        return at < 0 ? reported.size() : at;
    };
    for (QList<Row>* rows : {&m_rows, &m_loaded})
        std::stable_sort(rows->begin(), rows->end(), [&](const Row& a, const Row& b) { return rank(a) < rank(b); });
}

void EnginesModel::move(qsizetype row, int by)
{
    const qsizetype to = row + by;
    if (row < 0 || row >= m_rows.size() || to < 0 || to >= m_rows.size())
        return;
    m_rows.move(row, to);
}

void EnginesModel::setEnabled(qsizetype row, bool enabled)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].enabled = enabled;
}

void EnginesModel::setValue(qsizetype row, const QString& field, const QString& value)
{
    if (row >= 0 && row < m_rows.size() && m_rows[row].fields.contains(field))
        m_rows[row].values[field] = value;
}

QStringList EnginesModel::order() const
{
    QStringList ids;
    for (const Row& row : m_rows)
        ids.append(row.id);
    return ids;
}

bool EnginesModel::writeTo(ServiceConfFile& file) const
{
    bool changed = false;
    QStringList loadedOrder;
    for (const Row& row : m_loaded)
        loadedOrder.append(row.id);
    // An order that leaves out an engine switched on is written out whole.
    QStringList listed = listedOrder(file);
    const bool leftOut = !listed.isEmpty() && std::any_of(m_rows.begin(), m_rows.end(), [&listed](const Row& row) {
        return row.enabled && !listed.contains(row.id);
    });
    if (order() != loadedOrder || leftOut) {
        file.setValue(kRouting, kOrder, order().join(u','));
        listed = order();
        changed = true;
    }
    for (const Row& row : m_rows) {
        const auto loaded
            = std::find_if(m_loaded.begin(), m_loaded.end(), [&row](const Row& other) { return other.id == row.id; });
        const bool onInFile = !isOff(file.value(row.id, kEnabled)) && (listed.isEmpty() || listed.contains(row.id));
        if (onInFile != row.enabled) {
            file.setValue(row.id, kEnabled, row.enabled ? QStringLiteral("yes") : QStringLiteral("no"));
            changed = true;
        }
        for (const QString& field : row.fields) {
            // Spaces pasted around a key or an address are never part of it.
            const QString value = row.values.value(field).trimmed();
            if (value == loaded->values.value(field).trimmed())
                continue;
            file.setValue(row.id, field, value);
            changed = true;
        }
    }
    return changed;
}

void EnginesModel::markSaved()
{
    QStringList loadedOrder;
    for (const Row& row : m_loaded)
        loadedOrder.append(row.id);
    if (order() != loadedOrder)
        m_fileHasOrder = true;
    m_loaded = m_rows;
}
