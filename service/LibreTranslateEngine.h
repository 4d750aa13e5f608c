#pragma once

#include "Engine.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

namespace service {

/// Forwards texts to a LibreTranslate server (its POST /translate JSON API), for a neural engine on a bigger
/// machine.
class LibreTranslateEngine : public QObject, public Engine
{
    Q_OBJECT
public:
    /// baseUrl: where the server's API lives, e.g. http://127.0.0.1:5000 (the "/translate" is added).
    LibreTranslateEngine(QUrl baseUrl, QString apiKey, int timeoutMs = 30000, QObject* parent = nullptr);

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override;
    QStringList pairs() const override { return {}; }

    /// LibreTranslate's code for a client code ("zh-CN" -> "zh", "no" -> "nb").
    static QString libreCode(const QString& clientCode);

private:
    QUrl m_endpoint;
    QString m_apiKey;
    int m_timeoutMs;
    QNetworkAccessManager m_network;
};

} // namespace service
