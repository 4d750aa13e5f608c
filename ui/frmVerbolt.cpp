#include "frmVerbolt.h"

#include "ControlLook.h"
#include "DecodeHtml.h"
#include "EnginesOpener.h"
#include "MessageBox.h"
#include "PaneText.h"
#include "ReadWriteIni.h"
#include "ReplaceAll.h"
#include "ServiceAddress.h"
#include "ServiceEngineClient.h"
#include "VersionRecord.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>

#include <utility>

using ControlLook::fitCaption;
using ControlLook::fitCheckBox;
using ControlLook::sans;
using ControlLook::setColour;
using ControlLook::twips;
using modGoogleTranslate::CutTranslation;
using modGoogleTranslate::DecodeHtml;
using modGoogleTranslate::LocalizeMessage;
using modGoogleTranslate::PrepareRequest;
using modGoogleTranslate::replaceAll;
using modGoogleTranslate::ReplyFailureReason;

namespace {

const QString kSection = QStringLiteral("SETTINGS");
const QString kLineEnd = QStringLiteral("\r\n");
const QString kFailure = QStringLiteral("error");
const QString kChooseLanguage = QStringLiteral("You have to choise a language to translate to.");
const QString kNotTranslated = QStringLiteral("Could not translate the text, sorry");

const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);

// A check-box state as stored; anything but 0, 1 or 2 reads as 0.
int checkValue(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= 2 ? value : 0;
}

// The repairs every translation gets before it is shown or sent.
QString repaired(const QString& result)
{
    QString text = replaceAll(result, u" &lt;br&gt;", kLineEnd);
    return DecodeHtml(text);
}

// Quick answers should not make the pointer flicker; a wait this long shows.
constexpr int kBusyPointerDelayMs = 250;

// Chat texts that may wait for their translation; beyond it the oldest are shown untranslated.
constexpr qsizetype kMaxWaitingChatTexts = 200;

// A partner repeating the version probe gets one answer a minute, not a flood in the chat.
constexpr std::chrono::minutes kVersionAnswerInterval(1);

} // namespace

frmVerbolt::frmVerbolt(WindowServices services, QWidget* parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_versionAnswers(kVersionAnswerInterval, [this] { return m_services.steadyClock(); })
    , m_iniPath(ReadWriteIni::settingsPath())
{
    if (!m_services.now)
        m_services.now = [] { return QTime::currentTime(); };
    if (!m_services.today)
        m_services.today = [] { return QDate::currentDate(); };
    if (!m_services.steadyClock) {
        m_services.steadyClock = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
        };
    }
    createControls();
    m_engines = new EnginesOpener(this, [this]() -> std::unique_ptr<EngineService> {
        if (m_services.engineService)
            return m_services.engineService();
        return std::make_unique<ServiceEngineClient>(
            m_services.pageFetcher.get(), net::ServiceAddress::parse(m_serviceHost));
    });
    connect(Text1, &ConversationPane::enginesRequested, this,
        [this] { m_engines->open(comFrom->currentText(), comLan->currentText()); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(300);
    connect(Timer1, &QTimer::timeout, this, &frmVerbolt::Timer1_Timer);
    Timer1->start();

    m_busyPointer.setSingleShot(true);
    m_busyPointer.setInterval(kBusyPointerDelayMs);
    connect(&m_busyPointer, &QTimer::timeout, this, [this] { setCursor(Qt::BusyCursor); });
    connect(&m_flows, &FlowQueue::busyChanged, this, [this](bool busy) {
        if (busy) {
            m_busyPointer.start();
        } else {
            m_busyPointer.stop();
            unsetCursor();
        }
    });

    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

frmVerbolt::~frmVerbolt()
{
    // However the program ends, what is still on its way is kept.
    m_flows.stop(tr("the program ended"));
}

void frmVerbolt::createControls()
{
    setObjectName(QStringLiteral("frmVerbolt"));
    setFont(sans(8.25));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Fixed: enlarging it would bring the hidden controls into view.
    setFixedSize(twips(0, 0, 5685, 6585).size());

    auto place = [](QWidget* widget, const char* name, const QRect& geometry) {
        widget->setObjectName(QLatin1String(name));
        widget->setGeometry(geometry);
    };
    auto label = [&](const QString& text, QWidget* parent, const char* name, const QRect& geometry) {
        auto* created = new QLabel(text, parent);
        created->setTextFormat(Qt::PlainText);
        created->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(created, name, geometry);
        return created;
    };

    Frame2 = new QGroupBox(QStringLiteral("*** Texto Traducido v\u00eda Echolink ***          "), this);
    place(Frame2, "Frame2", twips(120, 120, 5415, 5175));
    setColour(Frame2, QPalette::WindowText, kNavy);

    Text1 = new ConversationPane(Frame2);
    place(Text1, "Text1", twips(120, 240, 5175, 4815));
    Text1->setToolTip(QStringLiteral("Text Message Screen"));
    Text1->setFont(sans(9.75));
    setColour(Text1, QPalette::Base, QColor(192, 192, 192));
    setColour(Text1, QPalette::Text, kNavy);

    // Made after Text1 so that it lies on top of the pane's lower edge.
    Command2 = new QPushButton(QStringLiteral("Borra"), Frame2);
    place(Command2, "Command2", twips(4080, 4920, 855, 255));
    Command2->setToolTip(QStringLiteral("Cleare the text screen"));
    connect(Command2, &QPushButton::clicked, this, &frmVerbolt::Command2_Click);

    Label1 = label(QStringLiteral("  N0CALL  "), Frame2, "Label1", twips(4560, 0, 735, 255));
    setColour(Label1, QPalette::WindowText, palette().color(QPalette::Shadow));

    lblFrom = label(QStringLiteral("Traducci\u00f3n de :"), this, "lblFrom", twips(0, 5400, 1260, 255));
    setColour(lblFrom, QPalette::WindowText, kNavy);

    auto combo = [&](const char* name, const QRect& geometry, const QString& toolTip) {
        auto* created = new LanguageCombo(this);
        place(created, name, geometry);
        created->setToolTip(toolTip);
        setColour(created, QPalette::Base, palette().color(QPalette::ToolTipBase));
        setColour(created, QPalette::Text, kBlue);
        return created;
    };
    comFrom = combo("comFrom", twips(1320, 5400, 1215, 315), QStringLiteral("Translate Text From"));

    lblTo = label(QStringLiteral("<<>>  Traducci\u00f3n a:"), this, "lblTo", twips(2670, 5400, 1530, 195));
    setColour(lblTo, QPalette::WindowText, kNavy);

    comLan = combo("comLan", twips(4320, 5400, 1215, 315), QStringLiteral("Translate Text To"));
    comLan->setSorted(true);

    lblLanFrom = label(QStringLiteral("* Mensaje\u00b4s "), this, "lblLanFrom", twips(120, 5880, 1575, 255));
    lblLanFrom->setFont(sans(9.75, true));
    setColour(lblLanFrom, QPalette::WindowText, kBlue);

    txtInput = new QLineEdit(this);
    place(txtInput, "txtInput", twips(1680, 5880, 3855, 285));
    txtInput->setToolTip(QStringLiteral("Enter text to be sent and press return"));
    setColour(txtInput, QPalette::Base, QColor(255, 255, 192));
    setColour(txtInput, QPalette::Text, kBlue);
    txtInput->installEventFilter(this);

    UseTr = new TriStateCheckBox(QStringLiteral("Mostrar ambos textos...       "), this);
    place(UseTr, "UseTr", twips(240, 6240, 2535, 195));
    UseTr->setToolTip(QStringLiteral("Show both Un-Translated / Translated text"));
    setColour(UseTr, QPalette::WindowText, kBlue);

    TimeStamp = new TriStateCheckBox(QStringLiteral("A\u00f1adir la Hora "), this);
    place(TimeStamp, "TimeStamp", twips(3000, 6240, 1335, 195));
    TimeStamp->setToolTip(QStringLiteral("Time Stamp Messages in and out"));
    setColour(TimeStamp, QPalette::WindowText, kBlue);

    Command1 = new QPushButton(QStringLiteral(" OK "), this);
    place(Command1, "Command1", twips(4680, 6240, 855, 255));
    Command1->setToolTip(QStringLiteral("Save changed data"));
    connect(Command1, &QPushButton::clicked, this, &frmVerbolt::Command1_Click);

    cmdTrans = new QPushButton(QStringLiteral("Translate"), this);
    place(cmdTrans, "cmdTrans", twips(3840, 7920, 1455, 255));
    connect(cmdTrans, &QPushButton::clicked, this, &frmVerbolt::cmdTrans_Click);

    for (QLabel* caption : {Label1, lblFrom, lblTo, lblLanFrom})
        fitCaption(caption, caption->text(), caption->width());
    fitCheckBox(UseTr);
    fitCheckBox(TimeStamp);
    for (QPushButton* button : {Command1, Command2, cmdTrans}) {
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        fitCaption(button, button->text(), button->width() - margin);
    }
    // The frame's caption runs along its top edge up to the callsign label.
    fitCaption(Frame2, Frame2->title(), Label1->x() - 2 * Frame2->style()->pixelMetric(QStyle::PM_LayoutLeftMargin));

    setTabOrder(txtInput, cmdTrans);
    setTabOrder(cmdTrans, comLan);
    setTabOrder(comLan, comFrom);
    setTabOrder(comFrom, TimeStamp);
    setTabOrder(TimeStamp, UseTr);
    setTabOrder(UseTr, Text1);
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, Command1);
}

QString frmVerbolt::titleFor(const QString& callsign)
{
    const VersionRecord version = VersionRecord::read();
    return version.productName + QStringLiteral("    ") + callsign + QStringLiteral("   v")
        + QString::number(version.major) + u'.' + QString::number(version.minor) + u'.'
        + QString::number(version.revision);
}

QString frmVerbolt::versionReply()
{
    const VersionRecord version = VersionRecord::read();
    return version.productName + QStringLiteral(" ") + QStringLiteral(" v") + QString::number(version.major) + u'.'
        + QString::number(version.minor);
}

bool frmVerbolt::load()
{
    QString why;
    EchoLink = m_services.createHost ? m_services.createHost(&why) : nullptr;
    if (!EchoLink)
        return attachFailed(why);
    connect(EchoLink.get(), &ChatHost::chatTextReceived, this, &frmVerbolt::EchoLink_ChatTextReceived);
    connect(EchoLink.get(), &ChatHost::closing, this, &frmVerbolt::EchoLink_Closing);
    connect(EchoLink.get(), &ChatHost::statusChanged, this, &frmVerbolt::EchoLink_StatusChanged);

    const std::optional<QString> station = EchoLink->callsign();
    if (!station)
        return attachFailed(EchoLink->errorString());
    setWindowTitle(titleFor(*station));

    TextFrom = readSetting(QStringLiteral("TextFrom"), QStringLiteral("English"));
    TextTo = readSetting(QStringLiteral("TextTo"), QStringLiteral("German"));
    UseTr->setValue(checkValue(readSetting(QStringLiteral("USETR"), QStringLiteral("0"))));
    TimeStamp->setValue(checkValue(readSetting(QStringLiteral("TimeStamp"), QStringLiteral("0"))));
    // Valid at once, so that a save before the first tick stores what was loaded.
    Timer1_Timer();
    // Unless the settings name another address, both are the user's own service, on its socket.
    const net::ServiceAddress service = net::ServiceAddress::parse(readSetting(QStringLiteral("ServiceHost"), {}));
    m_serviceHost = service.toString();
    m_statsHost = readSetting(QStringLiteral("StatsHost"), {}).trimmed();
    if (m_statsHost.isEmpty())
        m_statsHost = net::ServiceAddress::defaultSocketPath();
    // Kept unless turned off: the conversation outlives the pane.
    if (readSetting(QStringLiteral("Transcript"), QStringLiteral("1")) != u"0") {
        m_transcript = std::make_unique<Transcript>(Transcript::defaultFolder(), m_services.today);
        connect(Text1, &ConversationPane::appended, this, &frmVerbolt::keepInTranscript);
    }
    EchoLink->requestStatus(live([this](const QString& status) { EchoLink_StatusChanged(status); }));
    m_ops.isOnline = m_services.isOnline;
    m_ops.serviceBase = service.baseUrl() + QStringLiteral("/ajax/services/language/translate?");
    if (m_services.pageFetcher)
        m_services.pageFetcher->setUnixSocket(service.socketPath());

    FillLanguages(comFrom);
    comFrom->insertAtCaret(TextFrom);
    FillLanguages(comLan);
    comLan->insertAtCaret(TextTo);

    const std::optional<QString> again = EchoLink->callsign();
    if (!again)
        return attachFailed(EchoLink->errorString());
    Callsign = *again;
    Prog = VersionRecord::read().productName;
    Ver = VersionRecord::read().versionText();

    SaveUserData();
    if (hostClosed())
        return false;
    txtInput->setFocus();
    return true;
}

bool frmVerbolt::attachFailed(const QString& why)
{
    if (EchoLink)
        EchoLink->disconnect(this);
    EchoLink.reset();
    notice(why.isEmpty() ? tr("Verbolt could not attach to the chat host.")
                         : tr("Verbolt could not attach to the chat host: %1").arg(why));
    return false;
}

QString frmVerbolt::readSetting(const QString& key, const QString& defaultValue) const
{
    return ReadWriteIni::read(kSection, key, defaultValue, m_iniPath);
}

void frmVerbolt::FillLanguages(LanguageCombo* box)
{
    box->Clear();
    for (const QStringView name : modGoogleTranslate::LanguageNames)
        box->AddItem(name.toString());
}

void frmVerbolt::SaveData()
{
    TextFrom = comFrom->currentText();
    TextTo = comLan->currentText();
    QString why;
    const bool saved = ReadWriteIni::write(kSection,
        {{QStringLiteral("TextFrom"), TextFrom}, {QStringLiteral("TextTo"), TextTo}, {QStringLiteral("UseTr"), Text2},
            {QStringLiteral("TimeStamp"), Text3}},
        m_iniPath, &why);
    if (!saved)
        notice(tr("The settings could not be saved in %1: %2").arg(m_iniPath, why));
}

void frmVerbolt::SaveUserData()
{
    if (m_services.sendUsageReport)
        m_services.sendUsageReport(m_statsHost, Callsign, Prog, Ver);
}

void frmVerbolt::Timer1_Timer()
{
    Text2 = QString::number(UseTr->value());
    Text3 = QString::number(TimeStamp->value());
}

void frmVerbolt::Command1_Click()
{
    SaveData();
    txtInput->setFocus();
}

void frmVerbolt::Command2_Click()
{
    Text1->setText(QString());
    txtInput->setFocus();
}

void frmVerbolt::cmdTrans_Click()
{
    TranslateIt();
}

bool frmVerbolt::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtInput && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            TranslateIt();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmVerbolt::TranslateIt()
{
    if (txtInput->text().isEmpty())
        return;
    if (TimeStamp->value() == 1)
        txtInput->setText(stamp() + txtInput->text());
    // The line leaves the typing box at once, so that the operator can type the next one while it is on its way.
    const QString line = txtInput->text();
    txtInput->clear();
    m_flows.enqueue([this, line] { translateLine(line); },
        [this, line](const QString& why) { keepUnsent(Callsign + QStringLiteral(">>") + line + kLineEnd, why); });
}

void frmVerbolt::keepUnsent(const QString& shown, const QString& why)
{
    Text1->appendText(shown + PaneText::notSent(why));
}

void frmVerbolt::translateLine(const QString& line)
{
    if (UseTr->value() != 1)
        return translateTypedLine(line);
    EchoLink->requestCallsign(live([this, line](const std::optional<QString>& call) {
        Text1->appendText(call.value_or(QString()) + QStringLiteral(">>") + line + kLineEnd);
        m_flows.setRunningDrop([this](const QString& why) { keepUnsent({}, why); });
        translateTypedLine(line);
    }));
}

void frmVerbolt::translateTypedLine(const QString& line)
{
    if (comLan->currentText().isEmpty()) {
        notice(LocalizeMessage(kChooseLanguage, comFrom->currentText()));
        // The line goes back as it was, for the operator to choose a language and press Enter again.
        giveBack(line);
        return m_flows.finish();
    }
    translate(line, comFrom->currentText(), comLan->currentText(), live([this, line](const Translation& translation) {
        if (!judge(translation, line))
            return endLine(line, false);
        const QString result = repaired(translation.result);
        // Sent first: the pane shows a translation as sent only once the host has taken it.
        sendToHost(result, live([this, line, result](bool delivered) {
            if (!delivered)
                return endLine(line, false);
            // Gone into the chat, as the host actually sent it (to a radio mode's letters, say): only the pane's line
            // for it is still to come.
            const QString sent = EchoLink->changedText().value_or(result);
            m_flows.setRunningDrop([this, sent](const QString&) {
                Text1->appendText(Callsign + QStringLiteral(">< ") + sent + kLineEnd);
            });
            EchoLink->requestCallsign(live([this, line, sent](const std::optional<QString>& call) {
                Text1->appendText(call.value_or(QString()) + QStringLiteral(">< ") + sent + kLineEnd);
                endLine(line, true);
            }));
        }));
    }));
}

void frmVerbolt::endLine(const QString& line, bool sent)
{
    Text1->moveCaretToEnd();
    // What did not reach the chat goes back into the typing box, to be sent again: nothing typed is lost.
    if (!sent)
        giveBack(line);
    txtInput->setFocus();
    m_flows.finish();
}

void frmVerbolt::giveBack(const QString& line)
{
    // Whatever was typed meanwhile stays, after the line.
    const QString typed = txtInput->text();
    txtInput->setText(typed.isEmpty() ? line : line + u' ' + typed);
}

void frmVerbolt::EchoLink_ChatTextReceived(const QString& sText)
{
    EchoLink->applyCallSettings();
    // Control characters are shown escaped, in the pane and in what is translated alike.
    QString text = PaneText::escaped(sText);
    const bool probe = text.contains(QStringLiteral("/ver/"));
    text = replaceAll(text, u"\r", kLineEnd);
    text = replaceAll(text, u">", u"<<");
    if (TimeStamp->value() == 1)
        text.prepend(stamp());
    // Shown and translated after everything that arrived or was typed before it, never inside it; shown untranslated
    // when it cannot be.
    m_flows.enqueueSheddable([this, probe, text] { receiveChatText(probe, text); },
        [this, text](const QString& why) { Text1->appendText(text + kLineEnd + PaneText::notTranslated(why)); },
        kMaxWaitingChatTexts, tr("more than %1 chat texts were waiting for a translation").arg(kMaxWaitingChatTexts));
}

void frmVerbolt::receiveChatText(bool probe, const QString& shown)
{
    const auto show = [this, shown] {
        sText2 = shown;
        TranslateIt2();
    };
    if (!probe || !m_versionAnswers.take())
        return show();
    // Answered before the probe is shown, whether or not the host takes the answer.
    sendToHost(versionReply(), live([show](bool) { show(); }));
}

void frmVerbolt::TranslateIt2()
{
    Text1->appendText(sText2 + kLineEnd);
    m_flows.setRunningDrop([this](const QString& why) { Text1->appendText(PaneText::notTranslated(why)); });
    sText2 = replaceAll(sText2, u"<<", u"~");
    const QString sent = sText2;

    const QString own = comFrom->currentText();
    if (own.isEmpty()) {
        notice(LocalizeMessage(kChooseLanguage, own));
        return m_flows.finish();
    }
    translate(sent, comLan->currentText(), own, live([this, sent](const Translation& translation) {
        // A translation of a partner's text holds no '>' either: the lines that do are the program's own.
        if (judge(translation, sent)) {
            const QString shown = replaceAll(repaired(translation.result), u">", u"<<");
            Text1->appendText(replaceAll(shown, u"~", u"<< ") + kLineEnd);
        }
        Text1->moveCaretToEnd();
        m_flows.finish();
    }));
}

void frmVerbolt::keepInTranscript(const QString& shown)
{
    if (m_transcript->append(shown))
        return;
    // Said once a day, in the pane: the conversation goes on without its copy on disk. The line itself reaches here
    // again, and finds the day already told.
    const QDate today = m_services.today();
    if (std::exchange(m_transcriptToldOn, today) == today)
        return;
    Text1->appendText(PaneText::ownLine(tr("no transcript today: %1").arg(m_transcript->errorString())));
}

void frmVerbolt::translate(const QString& text, const QString& fromName, const QString& toName, TranslationDone done)
{
    const modGoogleTranslate::PreparedRequest request = PrepareRequest(text, fromName, toName, m_ops);
    if (request.url.isEmpty())
        return done({kFailure, request.reason, request.notice});
    if (!m_services.pageFetcher)
        return done({kFailure, tr("this program has no way to reach the translation service"), {}});
    m_services.pageFetcher->fetch(request.url, [this, done = std::move(done)](const PageResult& page) {
        if (page.failure != PageResult::Failure::None)
            return done({kFailure, fetchFailure(page), {}});
        const QString result = CutTranslation(page.body);
        if (const QString online = m_onlineNote.take(page.body); !online.isEmpty())
            Text1->appendText(online);
        QString reason;
        if (result == kFailure) {
            reason = ReplyFailureReason(page.body);
            if (reason.isEmpty())
                reason = tr("the translation service's answer holds no translation");
        }
        done({result, reason, {}});
    });
}

QString frmVerbolt::fetchFailure(const PageResult& page) const
{
    switch (page.failure) {
    case PageResult::Failure::None: break;
    case PageResult::Failure::Refused: return tr("the translation service at %1 is not running").arg(m_serviceHost);
    case PageResult::Failure::HostNotFound:
        return tr("the translation service's address %1 is not known").arg(m_serviceHost);
    case PageResult::Failure::TimedOut: return tr("no answer within %1 s").arg(page.seconds);
    case PageResult::Failure::TooLarge:
        return tr("the answer is larger than %1 MiB").arg(PageResult::maxBodyBytes / (1024 * 1024));
    case PageResult::Failure::Other:
        return tr("the translation service at %1 could not be reached: %2").arg(m_serviceHost, page.detail);
    }
    return {};
}

bool frmVerbolt::judge(const Translation& translation, const QString& sent)
{
    if (translation.result != sent && translation.result != kFailure) {
        m_lastFailure.clear();
        return true;
    }
    QString reason = translation.reason;
    if (reason.isEmpty()) {
        reason = translation.result == sent ? tr("the translation service gave the text back unchanged")
                                            : tr("the translation service answered \u201c%1\u201d").arg(kFailure);
    }
    Text1->appendText(PaneText::notTranslated(reason));
    // While the same cause keeps failing, the pane says so line by line; only a new cause opens a notice.
    if (reason == m_lastFailure)
        return false;
    m_lastFailure = reason;
    if (!translation.notice.isEmpty())
        notice(translation.notice);
    if (!m_flows.isStopped())
        m_engines->failureNotice(
            kNotTranslated + u'\n' + reason, reason, comFrom->currentText(), comLan->currentText());
    return false;
}

void frmVerbolt::sendToHost(const QString& text, ChatHost::SendDone done)
{
    if (text.size() > ChatHost::maxChatText) {
        hostRefused(tr("the text is %1 characters long, and the chat takes at most %2")
                        .arg(text.size())
                        .arg(ChatHost::maxChatText));
        return done(false);
    }
    EchoLink->sendChatText(text, live([this, done = std::move(done)](bool delivered) {
        if (!delivered)
            hostRefused(EchoLink->errorString());
        done(delivered);
    }));
}

void frmVerbolt::hostRefused(const QString& why)
{
    notice(why.isEmpty() ? tr("The text did not reach the chat host.")
                         : tr("The text did not reach the chat host: %1").arg(why));
}

void frmVerbolt::EchoLink_StatusChanged(const QString& status)
{
    // The answer asked for at start can come after a change it already holds.
    if (!status.isEmpty() && std::exchange(m_hostStatus, status) != status)
        Text1->appendText(PaneText::fromHost(status));
}

void frmVerbolt::EchoLink_Closing()
{
    // Ends at once; what waits is kept in the pane and the transcript as it came, and nothing is saved.
    m_flows.stop(tr("the chat host closed"));
    if (m_services.quit)
        m_services.quit();
    else
        QCoreApplication::exit(0);
}

void frmVerbolt::closeEvent(QCloseEvent* event)
{
    m_flows.stop(tr("the window was closed"));
    QWidget::closeEvent(event);
}

void frmVerbolt::changeEvent(QEvent* event)
{
    // A window manager or platform that maximises regardless of the fixed size is put back at once.
    if (event->type() == QEvent::WindowStateChange && (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen)); },
            Qt::QueuedConnection);
    }
    QWidget::changeEvent(event);
}

void frmVerbolt::notice(const QString& text)
{
    MessageBox::information(this, text);
}

QString frmVerbolt::stamp() const
{
    return u'(' + m_services.now().toString(QStringLiteral("HH:mm")) + QStringLiteral(") ");
}
