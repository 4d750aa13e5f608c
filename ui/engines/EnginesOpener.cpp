#include "EnginesOpener.h"

#include "EnginesDialog.h"
#include "MessageBox.h"
#include "PageFetcher.h"
#include "ReadWriteIni.h"
#include "ServiceAddress.h"
#include "ServiceConfFile.h"
#include "ServiceEngineClient.h"
#include "modGoogleTranslate.h"

#include <QWidget>

#include <utility>

namespace {

// How the service's refusal begins when no engine here serves a pair.
const QString kNoEngine = QStringLiteral("no engine here translates");

// A language the service cannot name (typed by hand) still shows the dialog, with English in its place.
QString codeOf(const QString& name)
{
    const QString code = modGoogleTranslate::LanguageCode(name);
    return code == u"auto" ? QStringLiteral("en") : code;
}

} // namespace

QString EnginesOpener::setUpButton()
{
    return tr("Set up an engine\u2026");
}

bool EnginesOpener::noEngineServes(const QString& reason)
{
    return reason.contains(kNoEngine, Qt::CaseInsensitive);
}

EnginesOpener::EnginesOpener(QWidget* window, MakeService makeService)
    : QObject(window)
    , m_window(window)
    , m_makeService(std::move(makeService))
{ }

EnginesOpener::~EnginesOpener()
{
    // The dialog goes before the service it asks.
    delete m_dialog;
}

void EnginesOpener::open(const QString& from, const QString& to)
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    if (!m_service)
        m_service = m_makeService();
    m_dialog = new EnginesDialog(m_service.get(), ServiceConfFile::defaultPath(), codeOf(from), codeOf(to), m_window);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->show();
}

void EnginesOpener::failureNotice(const QString& text, const QString& reason, const QString& from, const QString& to)
{
    if (!noEngineServes(reason)) {
        MessageBox::information(m_window, text);
        return;
    }
    if (MessageBox::ask(m_window, text, {setUpButton()}) == setUpButton())
        open(from, to);
}

int EnginesOpener::runAlone(PageFetcher* fetcher)
{
    const QString ini = ReadWriteIni::settingsPath();
    const auto setting = [&ini](const QString& key, const QString& fallback) {
        const QString value = ReadWriteIni::read(QStringLiteral("SETTINGS"), key, fallback, ini);
        return value.isEmpty() ? fallback : value;
    };
    // The window's own defaults, so that both reach the same service.
    const net::ServiceAddress address = net::ServiceAddress::parse(
        ReadWriteIni::read(QStringLiteral("SETTINGS"), QStringLiteral("ServiceHost"), {}, ini));
    fetcher->setUnixSocket(address.socketPath());
    ServiceEngineClient service(fetcher, address);
    EnginesDialog dialog(&service, ServiceConfFile::defaultPath(),
        codeOf(setting(QStringLiteral("TextFrom"), QStringLiteral("English"))),
        codeOf(setting(QStringLiteral("TextTo"), QStringLiteral("German"))));
    dialog.exec();
    return 0;
}
