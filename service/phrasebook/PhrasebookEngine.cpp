#include "phrasebook/PhrasebookEngine.h"

#include "LanguageNames.h"
#include "phrasebook/Phrasebook.h"
#include "text/Sentences.h"

#include <QRegularExpression>

namespace service {

namespace {

bool endsSentence(const QString& text)
{
    static const QRegularExpression end(QStringLiteral("[.!?…。！？।][\"')»”’」]*$"));
    return end.match(text).hasMatch();
}

QString withoutFullStop(QString text)
{
    static const QRegularExpression stop(QStringLiteral("[.。।]+$"));
    return text.remove(stop);
}

QString withoutEndPunctuation(QString text)
{
    static const QRegularExpression end(QStringLiteral("[.!?…。！？।]+$"));
    return text.remove(end);
}

QString comma(const QString& language)
{
    if (language == u"ja")
        return QStringLiteral("、");
    if (language == u"zh-CN")
        return QStringLiteral("，");
    if (language == u"ar")
        return QStringLiteral("، ");
    return QStringLiteral(", ");
}

// What the window puts before the words of a line: its time stamp "(HH:MM) ", and for a partner's line the calls
// the chat wrote with ">", which reach the service as "CALL~". Kept as they stand, so the sentences after them can
// still be phrases.
qsizetype chatMarkLength(const QString& line)
{
    static const QRegularExpression mark(QStringLiteral("^(?:\\(\\d{2}:\\d{2}\\) )?(?:[^\\s~]+~)*"));
    return mark.match(line).capturedLength();
}

bool isOnline(const QString& id)
{
    return !id.isEmpty() && id != u"phrasebook" && id != u"apertium";
}

} // namespace

PhrasebookEngine::PhrasebookEngine(std::shared_ptr<const Phrasebook> phrasebook, Engine* rest, QObject* parent)
    : QObject(parent)
    , m_phrasebook(std::move(phrasebook))
    , m_rest(rest)
{ }

PhrasebookEngine::~PhrasebookEngine() = default;

QString PhrasebookEngine::phrase(
    const QString& sentence, const QString& source, const QString& target, QString* detected) const
{
    if (!m_phrasebook)
        return {};
    if (const auto match = m_phrasebook->match(sentence, source, target)) {
        const QString& text = match->text;
        if (detected)
            *detected = match->language;
        // No full stop the writer left out.
        return endsSentence(sentence) ? text : withoutFullStop(text);
    }
    // Clause by clause, when every one is a phrase.
    const QStringList clauses = Sentences::clauses(sentence);
    if (clauses.size() < 2)
        return {};
    QString language = source;
    QString text;
    for (qsizetype i = 0; i < clauses.size(); ++i) {
        const auto match = m_phrasebook->match(clauses[i], language, target);
        if (!match)
            return {};
        language = match->language;
        QString part = match->text;
        if (i + 1 < clauses.size())
            part = withoutEndPunctuation(part);
        else if (!endsSentence(sentence))
            part = withoutFullStop(part);
        if (i > 0) {
            // A clause after a comma goes on in lower case, unless its first word keeps a capital (I, nouns) or
            // is a filled-in word ("Hans here").
            static const QRegularExpression word(
                QStringLiteral("^[\\p{L}'’-]+"), QRegularExpression::UseUnicodePropertiesOption);
            const QString first = word.match(part).captured(0);
            const bool filled = std::any_of(match->values.begin(), match->values.end(),
                [&](const QString& value) { return part.startsWith(value); });
            if (!first.isEmpty() && !filled && !m_phrasebook->keepsCapital(first, target))
                part[0] = part[0].toLower();
            text += comma(target);
        }
        text += part;
    }
    if (detected)
        *detected = language;
    return text;
}

void PhrasebookEngine::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    const qsizetype markLength = chatMarkLength(text);
    const Sentences sentences = Sentences::split(text.mid(markLength));
    struct Piece {
        QString text; ///< the translation, or the source text while it is with the engines
        QString separator;
        bool fromEngines = false;
        TranslationResult result;
    };
    QList<Piece> pieces;
    QString detected;
    bool anyPhrase = false;
    for (const Sentences::Part& part : sentences.parts) {
        QString language;
        const QString known = LanguageNames::isAuto(target) ? QString() : phrase(part.text, source, target, &language);
        if (!known.isEmpty()) {
            pieces.append({known, part.separator, false, {}});
            anyPhrase = true;
            if (detected.isEmpty())
                detected = language;
            continue;
        }
        // Sentences the phrasebook does not know go to the engines together, as they stand.
        if (!pieces.isEmpty() && pieces.last().fromEngines) {
            pieces.last().text += pieces.last().separator + part.text;
            pieces.last().separator = part.separator;
        } else {
            pieces.append({part.text, part.separator, true, {}});
        }
    }

    if (!anyPhrase) {
        if (!m_rest) {
            return (void)QMetaObject::invokeMethod(
                this,
                [done = std::move(done)] {
                    done(TranslationResult::refused(
                        TranslationResult::Status::UnknownPair, QStringLiteral("no phrase of the phrasebook")));
                },
                Qt::QueuedConnection);
        }
        return m_rest->translate(text, source, target, std::move(done));
    }

    struct Line {
        QString lead;
        QList<Piece> pieces;
        int waiting = 0;
        QString detected;
        Callback done;
        bool failed = false;
    };
    auto line = std::make_shared<Line>();
    line->lead = text.left(markLength) + sentences.lead;
    line->pieces = pieces;
    line->detected = LanguageNames::isAuto(source) ? detected : QString();
    line->done = std::move(done);
    const auto finish = [line] {
        if (line->failed || line->waiting > 0)
            return;
        QString joined = line->lead;
        QString online;
        QString other;
        for (const Piece& piece : std::as_const(line->pieces)) {
            joined += piece.text + piece.separator;
            if (!piece.fromEngines)
                continue;
            if (online.isEmpty() && isOnline(piece.result.engine))
                online = piece.result.engine;
            if (!piece.result.engine.isEmpty())
                other = piece.result.engine;
        }
        TranslationResult result = TranslationResult::ok(joined);
        result.engine = !online.isEmpty() ? online : !other.isEmpty() ? other : QStringLiteral("phrasebook");
        result.detectedSource = line->detected;
        line->done(result);
    };
    for (qsizetype i = 0; i < line->pieces.size(); ++i) {
        if (line->pieces[i].fromEngines)
            ++line->waiting;
    }
    if (line->waiting == 0)
        return (void)QMetaObject::invokeMethod(this, finish, Qt::QueuedConnection);
    if (!m_rest) {
        return (void)QMetaObject::invokeMethod(
            this,
            [line] {
                line->done(TranslationResult::refused(TranslationResult::Status::UnknownPair,
                    QStringLiteral("no engine for the sentences the phrasebook does not know")));
            },
            Qt::QueuedConnection);
    }
    for (qsizetype i = 0; i < line->pieces.size(); ++i) {
        if (!line->pieces[i].fromEngines)
            continue;
        // A phrase found tells the engines the line's language.
        const QString from = LanguageNames::isAuto(source) && !detected.isEmpty() ? detected : source;
        m_rest->translate(line->pieces[i].text, from, target, [line, i, finish](const TranslationResult& result) {
            if (line->failed)
                return;
            if (result.status != TranslationResult::Status::Ok) {
                line->failed = true;
                return line->done(result);
            }
            line->pieces[i].text = result.text;
            line->pieces[i].result = result;
            --line->waiting;
            finish();
        });
    }
}

QStringList PhrasebookEngine::pairs() const
{
    return m_rest ? m_rest->pairs() : QStringList();
}

PairSupport PhrasebookEngine::supports(const QString& source, const QString& target) const
{
    if (m_phrasebook && m_phrasebook->serves(source, target))
        return PairSupport::Yes;
    return m_rest ? m_rest->supports(source, target) : PairSupport::No;
}

void PhrasebookEngine::queryLanguages(std::function<void()> done)
{
    if (m_rest)
        return m_rest->queryLanguages(std::move(done));
    if (done)
        done();
}

} // namespace service
