#include "engines/MyMemoryEngine.h"

#include "LanguageNames.h"

#include <QRegularExpression>

#include <memory>

namespace service {

namespace {

constexpr int kDailyQuotaRestMs = 60 * 60 * 1000;
constexpr qint64 kLongestRestMs = 24 * 60 * 60 * 1000;
constexpr qsizetype kMaxMessage = 200;

qsizetype utf8Size(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else {
            bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        }
    }
    return bytes;
}

// Cuts text after each match of boundary (the match stays with the part before it).
QStringList cutAfter(const QString& text, const QRegularExpression& boundary)
{
    QStringList parts;
    qsizetype from = 0;
    for (auto it = boundary.globalMatch(text); it.hasNext();) {
        const qsizetype end = it.next().capturedEnd();
        if (end > from && end < text.size()) {
            parts.append(text.mid(from, end - from));
            from = end;
        }
    }
    parts.append(text.mid(from));
    return parts;
}

// Packs parts into pieces of at most maxBytes; a part too long by itself is cut finer by finer().
QStringList pack(const QStringList& parts, qsizetype maxBytes, const std::function<QStringList(const QString&)>& finer)
{
    QStringList pieces;
    QString piece;
    for (const QString& part : parts) {
        if (utf8Size(piece) + utf8Size(part) <= maxBytes) {
            piece += part;
            continue;
        }
        if (!piece.isEmpty())
            pieces.append(std::exchange(piece, {}));
        if (utf8Size(part) <= maxBytes) {
            piece = part;
            continue;
        }
        const QStringList cut = finer(part);
        pieces.append(cut.mid(0, cut.size() - 1));
        piece = cut.last();
    }
    if (!piece.isEmpty() || pieces.isEmpty())
        pieces.append(piece);
    return pieces;
}

QStringList cutCharacters(const QString& text, qsizetype maxBytes)
{
    QStringList pieces;
    QString piece;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype width = QChar::isHighSurrogate(text[i].unicode()) && i + 1 < text.size() ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, width);
        if (utf8Size(piece) + utf8Size(character) > maxBytes && !piece.isEmpty())
            pieces.append(std::exchange(piece, {}));
        piece += character;
        i += width - 1;
    }
    pieces.append(piece);
    return pieces;
}

int responseStatus(const QJsonObject& json)
{
    // Documented as a number; some refusals send it as a string ("403").
    const QJsonValue value = json.value(QStringLiteral("responseStatus"));
    return value.isString() ? value.toString().toInt() : value.toInt();
}

QString shortened(QString text)
{
    text = text.simplified();
    if (text.size() > kMaxMessage)
        text = text.left(kMaxMessage - 1) + QChar(0x2026);
    return text;
}

// "... NEXT AVAILABLE IN  23 HOURS 59 MINUTES 59 SECONDS ..." -> ms; 0 when it does not say.
qint64 nextAvailableMs(const QString& message)
{
    static const QRegularExpression when(
        QStringLiteral("NEXT AVAILABLE IN\\s+(?:(\\d+) HOURS?)?\\s*(?:(\\d+) MINUTES?)?\\s*(?:(\\d+) SECONDS?)?"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = when.match(message);
    if (!match.hasMatch())
        return 0;
    const qint64 ms
        = ((match.captured(1).toLongLong() * 60 + match.captured(2).toLongLong()) * 60 + match.captured(3).toLongLong())
        * 1000;
    return std::min(ms, kLongestRestMs);
}

} // namespace

struct MyMemoryEngine::Job {
    QStringList pieces;
    qsizetype index = 0;
    QString source, target;
    QString translated;
    Callback done;
};

MyMemoryEngine::MyMemoryEngine(HttpEngineOptions options, QString email, QObject* parent)
    : HttpEngine(
        QStringLiteral("mymemory"), QStringLiteral("MyMemory"),
        [&] {
            if (options.baseUrl.isEmpty())
                options.baseUrl = QUrl(QStringLiteral("https://api.mymemory.translated.net"));
            return std::move(options);
        }(),
        parent)
    , m_email(std::move(email))
{ }

QStringList MyMemoryEngine::split(const QString& text, qsizetype maxBytes)
{
    if (utf8Size(text) <= maxBytes)
        return {text};
    // A sentence ends at . ! ? … (and closing quotes or brackets) before white space, or at a line break.
    static const QRegularExpression sentenceEnd(
        QStringLiteral("(?:[.!?\\x{2026}\\x{3002}\\x{FF01}\\x{FF1F}][\"'\\x{201D}\\x{2019})\\]]*\\s+|\\n+)"));
    static const QRegularExpression wordEnd(QStringLiteral("\\s+"));
    const auto words = [maxBytes](const QString& sentence) {
        return pack(cutAfter(sentence, wordEnd), maxBytes,
            [maxBytes](const QString& word) { return cutCharacters(word, maxBytes); });
    };
    return pack(cutAfter(text, sentenceEnd), maxBytes, words);
}

QStringList MyMemoryEngine::pairs() const
{
    QStringList result;
    for (const QString& from : LanguageNames::clientCodes()) {
        for (const QString& to : LanguageNames::clientCodes()) {
            if (from != to)
                result.append(from + u'|' + to);
        }
    }
    return result;
}

PairSupport MyMemoryEngine::supports(const QString& source, const QString& target) const
{
    // It has no detection of its own: a langpair of "auto|de" is refused.
    if (LanguageNames::isAuto(source))
        return PairSupport::No;
    const QStringList& codes = LanguageNames::clientCodes();
    return codes.contains(source, Qt::CaseInsensitive) && codes.contains(target, Qt::CaseInsensitive)
            && source.compare(target, Qt::CaseInsensitive) != 0
        ? PairSupport::Yes
        : PairSupport::No;
}

void MyMemoryEngine::request(const QString& text, const QString& source, const QString& target, Callback done)
{
    auto job = std::make_shared<Job>();
    job->pieces = split(text);
    job->source = source;
    job->target = target;
    job->done = std::move(done);
    next(job);
}

void MyMemoryEngine::next(const std::shared_ptr<Job>& job)
{
    // White space around a piece stays as it is; only the words go out.
    while (job->index < job->pieces.size() && job->pieces[job->index].trimmed().isEmpty())
        job->translated += job->pieces[job->index++];
    if (job->index == job->pieces.size())
        return job->done(TranslationResult::ok(job->translated));
    const QString& piece = job->pieces[job->index];
    qsizetype lead = 0;
    while (lead < piece.size() && piece[lead].isSpace())
        ++lead;
    const QString words = piece.trimmed();
    const QString before = piece.left(lead);
    const QString after = piece.mid(lead + words.size());

    QUrlQuery query;
    // Encoded here: QUrlQuery would send "+" and "&" in ways a server reads differently.
    query.addQueryItem(QStringLiteral("q"), QString::fromLatin1(QUrl::toPercentEncoding(words)));
    query.addQueryItem(QStringLiteral("langpair"),
        QString::fromLatin1(QUrl::toPercentEncoding(sourceCode(job->source) + u'|' + targetCode(job->target))));
    if (!m_email.isEmpty())
        query.addQueryItem(QStringLiteral("de"), QString::fromLatin1(QUrl::toPercentEncoding(m_email)));
    get(QStringLiteral("/get"), query, [this, job, before, after](const Answer& answer) {
        const QJsonObject json = answer.json.toObject();
        const QJsonValue text
            = json.value(QStringLiteral("responseData")).toObject().value(QStringLiteral("translatedText"));
        if (answer.status != 200 || responseStatus(json) != 200 || json.value(QStringLiteral("quotaFinished")).toBool())
            return job->done(failure(answer));
        if (!text.isString())
            return job->done(unexpected(QStringLiteral("no responseData.translatedText")));
        job->translated += before + text.toString() + after;
        ++job->index;
        next(job);
    });
}

TranslationResult MyMemoryEngine::failure(const Answer& answer) const
{
    using Status = TranslationResult::Status;
    const QJsonObject json = answer.json.toObject();
    if (answer.status == 0 || !answer.json.isObject())
        return refusal(answer, {});
    const int status = responseStatus(json) != 0 ? responseStatus(json) : answer.status;
    QString details = json.value(QStringLiteral("responseDetails")).toString();
    if (details.isEmpty())
        details
            = json.value(QStringLiteral("responseData")).toObject().value(QStringLiteral("translatedText")).toString();
    const QString message = shortened(scrub(details));
    const QString detail = message.isEmpty() ? QString() : QStringLiteral(": ") + message;
    if (json.value(QStringLiteral("quotaFinished")).toBool() || status == 429) {
        TranslationResult result = TranslationResult::refused(
            Status::Failed, QStringLiteral("MyMemory: quota exceeded (%1%2)").arg(QString::number(status), detail));
        const qint64 rest = nextAvailableMs(details);
        result.restMs = int(rest > 0 ? rest : answer.retryAfterMs > 0 ? answer.retryAfterMs : kDailyQuotaRestMs);
        return result;
    }
    if (details.contains(QLatin1String("QUERY LENGTH LIMIT"), Qt::CaseInsensitive))
        return TranslationResult::refused(Status::TooLong, QStringLiteral("MyMemory: text too long%1").arg(detail));
    if (details.contains(QLatin1String("LANGUAGE"), Qt::CaseInsensitive)
        && details.contains(QLatin1String("INVALID"), Qt::CaseInsensitive))
        return TranslationResult::refused(Status::UnknownPair, QStringLiteral("MyMemory%1").arg(detail));
    Answer asSent = answer;
    asSent.status = status;
    return refusal(asSent, details);
}

} // namespace service
