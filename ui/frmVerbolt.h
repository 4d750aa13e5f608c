#pragma once

#include "ConversationPane.h"
#include "FlowQueue.h"
#include "LanguageCombo.h"
#include "OnlineNote.h"
#include "RateLimit.h"
#include "Transcript.h"
#include "TriStateCheckBox.h"
#include "WindowServices.h"
#include "modGoogleTranslate.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <memory>

class EnginesOpener;

/// The one window of the program: the conversation with the chat host's partner, the typing line, the two
/// language choosers and the settings. Controls and shared state carry the names the rest of the program and
/// its tests use for them.
class frmVerbolt : public QWidget
{
    Q_OBJECT
public:
    explicit frmVerbolt(WindowServices services, QWidget* parent = nullptr);
    ~frmVerbolt() override;

    /// The start-up sequence: attaches the chat host, titles the window, loads the settings, fills the language
    /// lists and sends the usage report. Returns false when the program must end without showing the window (the
    /// host could not be attached, which a notice has reported, or the host closed meanwhile).
    bool load();

    /// True once the chat host has announced that it is closing (or the window has closed).
    bool hostClosed() const { return m_flows.isStopped(); }

    /// True while a chat text or a typed line is being handled or waits to be.
    bool isBusy() const { return m_flows.isBusy(); }

    /// Refills a language list with every display name and leaves its text field empty.
    void FillLanguages(LanguageCombo* box);
    /// Stores the two languages and the two check-box states in the settings file.
    void SaveData();
    /// Sends the start-up usage report.
    void SaveUserData();
    /// Takes the typed line out of the typing box, to be translated into the partner's language, shown and sent into
    /// the chat once the chat texts and lines before it are done.
    void TranslateIt();
    /// Shows the received line held in sText2 and its translation into the operator's language.
    void TranslateIt2();

    /// The start-up window title for a callsign.
    static QString titleFor(const QString& callsign);
    /// The answer to a "/ver/" probe.
    static QString versionReply();

    // Visible controls.
    QGroupBox* Frame2 = nullptr;
    ConversationPane* Text1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblFrom = nullptr;
    LanguageCombo* comFrom = nullptr;
    QLabel* lblTo = nullptr;
    LanguageCombo* comLan = nullptr;
    QLabel* lblLanFrom = nullptr;
    QLineEdit* txtInput = nullptr;
    TriStateCheckBox* UseTr = nullptr;
    TriStateCheckBox* TimeStamp = nullptr;
    QPushButton* Command1 = nullptr;
    // Below the client area: never seen, but second in the Tab order.
    QPushButton* cmdTrans = nullptr;
    QTimer* Timer1 = nullptr;

    // State the procedures share.
    QString TextFrom;
    QString TextTo;
    QString Text2 = QStringLiteral("0");
    QString Text3 = QStringLiteral("0");
    QString Callsign;
    QString Prog;
    QString Ver;
    QString sText2;

    std::unique_ptr<ChatHost> EchoLink;

public slots:
    /// Mirrors the two check boxes into Text2 and Text3.
    void Timer1_Timer();
    void Command1_Click();
    void Command2_Click();
    void cmdTrans_Click();
    void EchoLink_ChatTextReceived(const QString& sText);
    void EchoLink_Closing();
    /// Shows what the chat host says about itself as the program's own line.
    void EchoLink_StatusChanged(const QString& status);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    /// What one request to the translation service came to.
    struct Translation {
        /// The translated text, or "error" when nothing usable came back.
        QString result;
        /// Why nothing usable came back, and the notice the request itself gave, if any.
        QString reason;
        QString notice;
    };
    using TranslationDone = std::function<void(const Translation&)>;

    void createControls();
    void notice(const QString& text);
    bool attachFailed(const QString& why);
    QString stamp() const;
    QString readSetting(const QString& key, const QString& defaultValue) const;

    // The steps of the two flows; each ends the running flow or hands over to the next.
    void translateLine(const QString& line);
    void translateTypedLine(const QString& line);
    void endLine(const QString& line, bool sent);
    void giveBack(const QString& line);
    void keepUnsent(const QString& shown, const QString& why);
    void receiveChatText(bool probe, const QString& shown);

    void keepInTranscript(const QString& shown);

    void translate(const QString& text, const QString& fromName, const QString& toName, TranslationDone done);
    QString fetchFailure(const PageResult& page) const;
    bool judge(const Translation& translation, const QString& sent);
    void sendToHost(const QString& text, ChatHost::SendDone done);
    void hostRefused(const QString& why);

    /// Wraps a flow's continuation so that it does nothing once the program is ending.
    template <typename Step>
    auto live(Step step)
    {
        return [this, step = std::move(step)](const auto&... args) {
            if (!m_flows.isStopped())
                step(args...);
        };
    }

    WindowServices m_services;
    modGoogleTranslate::TranslateOps m_ops;
    FlowQueue m_flows;
    RateLimit m_versionAnswers;
    QTimer m_busyPointer;
    QString m_iniPath;
    QString m_serviceHost;
    QString m_statsHost;
    /// Why the last translation failed, until one succeeds: the same cause again opens no new notice.
    QString m_lastFailure;
    /// What the chat host last said about itself, shown once.
    QString m_hostStatus;
    std::unique_ptr<Transcript> m_transcript;
    EnginesOpener* m_engines = nullptr;
    OnlineNote m_onlineNote;
    // The day the pane last said the transcript could not be kept.
    QDate m_transcriptToldOn;
};
