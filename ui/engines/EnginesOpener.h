#pragma once

#include "EngineService.h"
#include "EnginesDialog.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class PageFetcher;
class QWidget;

/// Where the window opens the engines dialog: from the pane's menu, and from a failure notice when no engine
/// serves the pair. One dialog at a time, beside the window, which goes on translating meanwhile.
class EnginesOpener : public QObject
{
    Q_OBJECT
public:
    using MakeService = std::function<std::unique_ptr<EngineService>()>;

    /// The button the failure notice offers when no engine serves the pair.
    static QString setUpButton();
    /// True for a reason that means no engine here serves the pair.
    static bool noEngineServes(const QString& reason);

    /// window: the dialog's parent; makeService: the service's settings paths, made on first opening.
    EnginesOpener(QWidget* window, MakeService makeService);
    ~EnginesOpener() override;

    /// Opens the dialog, or brings the open one to the front; from and to are the languages' display names.
    void open(const QString& from, const QString& to);
    /// The notice of a failed translation, with the set-up button when reason calls for it; opens the dialog
    /// when it is pressed.
    void failureNotice(const QString& text, const QString& reason, const QString& from, const QString& to);

    EnginesDialog* dialog() const { return m_dialog; }

    /// verbolt --engines: the dialog alone, without a chat host, on the service the settings name; returns the
    /// exit status when it is closed.
    static int runAlone(PageFetcher* fetcher);

private:
    QWidget* m_window;
    MakeService m_makeService;
    std::unique_ptr<EngineService> m_service;
    QPointer<EnginesDialog> m_dialog;
};
