#pragma once

#include "PageFetcher.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// The translation service's pages, answered by a function after a turn of the event loop; with hold, not until
// release(), as a slow service.
class FakePageFetcher : public QObject, public PageFetcher
{
public:
    std::function<PageResult(const QString& url)> answer;
    bool hold = false;

    void fetch(const QString& url, Done done) override
    {
        m_held.append([this, url, done] { done(answer(url)); });
        if (!hold)
            QTimer::singleShot(0, this, [this] { release(); });
    }

    /// Posts are answered by answer as well, with the form after a "#".
    void post(const QString& url, const QByteArray& form, Done done) override
    {
        fetch(url + u'#' + QString::fromUtf8(form), std::move(done));
    }

    qsizetype held() const { return m_held.size(); }
    void release()
    {
        const auto held = std::exchange(m_held, {});
        for (const auto& answerOne : held)
            answerOne();
    }

private:
    QList<std::function<void()>> m_held;
};
