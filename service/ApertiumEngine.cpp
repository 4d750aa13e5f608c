#include "ApertiumEngine.h"

#include "ApertiumFormat.h"
#include "ApertiumPipeline.h"

#include <QDir>
#include <QRegularExpression>

#include <memory>

namespace service {

namespace {

struct CodePair {
    const char* client;
    const char* apertium;
};

// Client (ISO 639-1) codes and Apertium's ISO 639-3 codes. The first row for a 639-3 code is the one the client
// gets back: Norwegian is "no" in the client's table and Bokmål in Apertium.
constexpr CodePair kCodes[] = {
    {"en", "eng"},
    {"es", "spa"},
    {"pt", "por"},
    {"fr", "fra"},
    {"ro", "ron"},
    {"it", "ita"},
    {"da", "dan"},
    {"no", "nob"},
    {"nb", "nob"},
    {"nn", "nno"},
    {"sv", "swe"},
    {"ca", "cat"},
    {"gl", "glg"},
    {"oc", "oci"},
    {"eu", "eus"},
    {"de", "deu"},
    {"nl", "nld"},
    {"af", "afr"},
    {"is", "isl"},
    {"fo", "fao"},
    {"ar", "ara"},
    {"bg", "bul"},
    {"cs", "ces"},
    {"fi", "fin"},
    {"el", "ell"},
    {"hi", "hin"},
    {"ga", "gle"},
    {"ja", "jpn"},
    {"zh", "zho"},
    {"zh-cn", "zho"},
    {"ko", "kor"},
    {"mt", "mlt"},
    {"pl", "pol"},
    {"ru", "rus"},
    {"cy", "cym"},
    {"br", "bre"},
    {"eo", "epo"},
    {"sl", "slv"},
    {"mk", "mkd"},
    {"uk", "ukr"},
    {"be", "bel"},
    {"kk", "kaz"},
    {"tt", "tat"},
    {"sq", "sqi"},
    {"sk", "slk"},
    {"hr", "hbs"},
    {"sr", "hbs"},
    {"bs", "hbs"},
    {"an", "arg"},
    {"sc", "srd"},
    {"ur", "urd"},
    {"id", "ind"},
    {"ms", "msa"},
    {"se", "sme"},
    {"lt", "lit"},
    {"lv", "lav"},
};

template <typename T>
void later(QObject* context, std::function<void(const T&)> done, T value)
{
    QMetaObject::invokeMethod(
        context, [done = std::move(done), value = std::move(value)] { done(value); }, Qt::QueuedConnection);
}

} // namespace

QString ApertiumEngine::apertiumCode(const QString& clientCode)
{
    const QString code = clientCode.trimmed().toLower();
    for (const CodePair& pair : kCodes) {
        if (code == QLatin1String(pair.client) || code == QLatin1String(pair.apertium))
            return QLatin1String(pair.apertium);
    }
    static const QRegularExpression threeLetters(QStringLiteral("^[a-z]{3}$"));
    return threeLetters.match(code).hasMatch() ? code : QString();
}

QString ApertiumEngine::clientCode(const QString& apertiumCode)
{
    for (const CodePair& pair : kCodes) {
        if (apertiumCode == QLatin1String(pair.apertium))
            return QLatin1String(pair.client);
    }
    return apertiumCode;
}

ApertiumEngine::ApertiumEngine(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    // Plain "xx-yy" modes only: variants ("es-pt_BR") and prefixed ones ("eco-es-fr") are not pairs.
    static const QRegularExpression modeName(QStringLiteral("^([a-z]{2,3})-([a-z]{2,3})\\.mode$"));
    const QDir dir(m_options.modesDirectory);
    for (const QFileInfo& file : dir.entryInfoList({QStringLiteral("*.mode")}, QDir::Files, QDir::Name)) {
        const auto match = modeName.match(file.fileName());
        if (!match.hasMatch())
            continue;
        const QString from = apertiumCode(match.captured(1));
        const QString to = apertiumCode(match.captured(2));
        const QString key = from + u'-' + to;
        if (!from.isEmpty() && !to.isEmpty() && !m_modeFiles.contains(key))
            m_modeFiles.insert(key, file.absoluteFilePath());
    }
}

ApertiumEngine::~ApertiumEngine() = default;

QStringList ApertiumEngine::pairs() const
{
    QSet<QString> languages;
    for (const QString& key : m_modeFiles.keys()) {
        languages.insert(key.section(u'-', 0, 0));
        languages.insert(key.section(u'-', 1, 1));
    }
    QStringList result;
    for (const QString& from : languages) {
        for (const QString& to : languages) {
            if (!route(from, to).isEmpty())
                result.append(clientCode(from) + u'|' + clientCode(to));
        }
    }
    result.sort();
    return result;
}

QStringList ApertiumEngine::route(const QString& source, const QString& target) const
{
    if (source.isEmpty() || target.isEmpty() || source == target)
        return {};
    const QString direct = source + u'-' + target;
    if (m_modeFiles.contains(direct))
        return {direct};
    const QString first = source + u'-' + m_options.pivot;
    const QString second = m_options.pivot + u'-' + target;
    if (m_modeFiles.contains(first) && m_modeFiles.contains(second))
        return {first, second};
    return {};
}

bool ApertiumEngine::preload(const QString& source, const QString& target)
{
    const QStringList modes = route(apertiumCode(source), apertiumCode(target));
    for (const QString& mode : modes) {
        ApertiumPipeline* p = pipeline(mode);
        if (!p)
            return false;
        p->start();
        if (!p->isRunning())
            return false;
    }
    return !modes.isEmpty();
}

ApertiumPipeline* ApertiumEngine::pipeline(const QString& mode)
{
    if (ApertiumPipeline* p = m_pipelines.value(mode))
        return p;
    const auto stages = ApertiumPipeline::parseModeFile(m_modeFiles.value(mode), QStringLiteral("-n"));
    if (!stages || stages->isEmpty())
        return nullptr;
    auto* p = new ApertiumPipeline(mode, *stages, m_options.timeoutMs, this);
    m_pipelines.insert(mode, p);
    return p;
}

ApertiumPipeline* ApertiumEngine::analyser(const QString& mode)
{
    if (ApertiumPipeline* p = m_analysers.value(mode))
        return p;
    const auto stages = ApertiumPipeline::parseModeFile(m_modeFiles.value(mode), QStringLiteral("-n"));
    if (!stages || stages->isEmpty())
        return nullptr;
    // The mode's first stage is its morphological analyser.
    auto* p = new ApertiumPipeline(mode + QStringLiteral(" analyser"), {stages->first()}, m_options.timeoutMs, this);
    m_analysers.insert(mode, p);
    return p;
}

void ApertiumEngine::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    const QString to = apertiumCode(target);
    const auto refuse = [&](const QString& why) {
        later<TranslationResult>(this, done, TranslationResult::refused(TranslationResult::Status::UnknownPair, why));
    };
    if (to.isEmpty())
        return refuse(QStringLiteral("Unsupported target language: %1").arg(target));

    if (source.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        if (text.trimmed().isEmpty())
            return later<TranslationResult>(this, done, TranslationResult::ok(text));
        detectSource(text, to, [this, text, to, source, target, done](const QString& from) {
            if (from.isEmpty()) {
                done(TranslationResult::refused(TranslationResult::Status::UnknownPair,
                    QStringLiteral("No installed language translates into %1").arg(target)));
                return;
            }
            runRoute(text, route(from, to), [done, from](const TranslationResult& result) {
                TranslationResult detected = result;
                detected.detectedSource = clientCode(from);
                done(detected);
            });
        });
        return;
    }

    const QStringList modes = route(apertiumCode(source), to);
    if (modes.isEmpty())
        return refuse(QStringLiteral("Unsupported language pair: %1|%2").arg(source, target));
    if (text.trimmed().isEmpty())
        return later<TranslationResult>(this, done, TranslationResult::ok(text));
    runRoute(text, modes, std::move(done));
}

void ApertiumEngine::runRoute(const QString& text, QStringList modes, Callback done)
{
    const QString mode = modes.takeFirst();
    ApertiumPipeline* p = pipeline(mode);
    if (!p) {
        return later<TranslationResult>(this, done,
            TranslationResult::refused(
                TranslationResult::Status::Failed, QStringLiteral("The Apertium mode %1 cannot be read").arg(mode)));
    }
    p->submit(
        ApertiumFormat::deformat(text), [this, modes, done](bool ok, const QByteArray& output, const QString& error) {
            if (!ok) {
                done(TranslationResult::refused(
                    TranslationResult::Status::Failed, QStringLiteral("Translation engine failed (%1)").arg(error)));
                return;
            }
            const QString translated = ApertiumFormat::reformat(output);
            if (modes.isEmpty())
                done(TranslationResult::ok(translated));
            else
                runRoute(translated, modes, done);
        });
}

void ApertiumEngine::detectSource(const QString& text, const QString& target, std::function<void(const QString&)> done)
{
    struct Candidate {
        QString language;
        int hops = 0;
        int unknown = -1; // -1: no answer
    };
    struct Vote {
        QList<Candidate> candidates;
        int waiting = 0;
        std::function<void(const QString&)> done;
    };
    auto vote = std::make_shared<Vote>();
    vote->done = std::move(done);
    QSet<QString> languages;
    for (const QString& key : m_modeFiles.keys())
        languages.insert(key.section(u'-', 0, 0));
    QStringList sorted(languages.begin(), languages.end());
    sorted.sort();
    for (const QString& language : std::as_const(sorted)) {
        const QStringList modes = route(language, target);
        if (!modes.isEmpty())
            vote->candidates.append({language, int(modes.size()), -1});
    }
    if (vote->candidates.isEmpty())
        return later<QString>(this, vote->done, QString());

    const QByteArray stream = ApertiumFormat::deformat(text);
    vote->waiting = int(vote->candidates.size());
    for (qsizetype i = 0; i < vote->candidates.size(); ++i) {
        const auto finish = [vote, i](bool ok, const QByteArray& analysis) {
            if (ok)
                vote->candidates[i].unknown = ApertiumFormat::countUnknownWords(analysis);
            if (--vote->waiting > 0)
                return;
            // Fewest unknown words; on a tie a direct pair before a pivot, then the order of the codes.
            const Candidate* best = nullptr;
            for (const Candidate& c : std::as_const(vote->candidates)) {
                if (c.unknown < 0)
                    continue;
                if (!best || c.unknown < best->unknown || (c.unknown == best->unknown && c.hops < best->hops))
                    best = &c;
            }
            vote->done(best ? best->language : QString());
        };
        ApertiumPipeline* p = analyser(route(vote->candidates[i].language, target).first());
        if (!p) {
            QMetaObject::invokeMethod(
                this, [finish] { finish(false, {}); }, Qt::QueuedConnection);
            continue;
        }
        p->submit(stream, [finish](bool ok, const QByteArray& output, const QString&) { finish(ok, output); });
    }
}

} // namespace service
