#include "phrasebook/TmxReader.h"

#include "LanguageNames.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace service {

namespace {

// The client's code for a TMX xml:lang ("de-DE" is German, "zh-cn" and "zh-Hans" Chinese, "nb" Norwegian).
QString clientLanguage(const QString& tmxLang)
{
    const QString lang = tmxLang.trimmed();
    for (const QString& code : LanguageNames::clientCodes()) {
        if (lang.compare(code, Qt::CaseInsensitive) == 0)
            return code;
    }
    const QString base = lang.section(u'-', 0, 0).section(u'_', 0, 0).toLower();
    if (base == u"zh")
        return QStringLiteral("zh-CN");
    if (base == u"nb" || base == u"nn")
        return QStringLiteral("no");
    for (const QString& code : LanguageNames::clientCodes()) {
        if (base == code)
            return code;
    }
    return {};
}

// The kind of a placeholder: type="x-name" is "name"; without a type, the text "{name}" it holds.
QString placeholderKind(const QString& type, const QString& content)
{
    if (type.startsWith(QLatin1String("x-")))
        return type.mid(2);
    QString inner = content.trimmed();
    if (inner.startsWith(u'{') && inner.endsWith(u'}'))
        return inner.mid(1, inner.size() - 2);
    return type;
}

void appendText(PhraseSegment& segment, const QString& text)
{
    if (text.isEmpty())
        return;
    if (!segment.parts.isEmpty() && segment.parts.last().x == 0)
        segment.parts.last().text += text;
    else
        segment.parts.append({text, 0, {}});
}

// Reads a <seg> up to its end tag: text, <ph> placeholders, and the text of inline markup (<hi>); the codes of
// <bpt>, <ept>, <it> are formatting, not text.
PhraseSegment readSegment(QXmlStreamReader& xml)
{
    PhraseSegment segment;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::Characters) {
            appendText(segment, xml.text().toString());
        } else if (token == QXmlStreamReader::StartElement) {
            const auto name = xml.name();
            if (name == u"ph") {
                const QString x = xml.attributes().value(QStringLiteral("x")).toString();
                const QString type = xml.attributes().value(QStringLiteral("type")).toString();
                const QString content = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                bool ok = false;
                const int number = x.toInt(&ok);
                segment.parts.append(
                    {{}, ok && number > 0 ? number : int(segment.parts.size()) + 1, placeholderKind(type, content)});
            } else if (name == u"bpt" || name == u"ept" || name == u"it" || name == u"ut") {
                xml.skipCurrentElement();
            } else {
                ++depth;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return segment;
}

} // namespace

std::optional<QList<PhraseUnit>> TmxReader::read(const QString& path, QString* error)
{
    const auto fail = [error](const QString& why) -> std::optional<QList<PhraseUnit>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // Without blocking: a FIFO with no writer would hold the service before it listens.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    QByteArray data;
    QString problem;
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        problem = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        problem = QStringLiteral("not a regular file");
    } else if (info.st_size > kMaxFileBytes) {
        problem = QStringLiteral("larger than %1 MiB").arg(kMaxFileBytes / (1024 * 1024));
    } else {
        // Read to the cap and one byte past it: the file may grow after fstat.
        data.resize(qsizetype(info.st_size) + 1);
        qsizetype filled = 0;
        while (problem.isEmpty()) {
            if (filled == data.size()) {
                if (filled > kMaxFileBytes) {
                    problem = QStringLiteral("larger than %1 MiB").arg(kMaxFileBytes / (1024 * 1024));
                    break;
                }
                data.resize(std::min<qsizetype>(kMaxFileBytes + 1, data.size() * 2));
            }
            const ssize_t got = ::read(fd, data.data() + filled, size_t(data.size() - filled));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                problem = QString::fromLocal8Bit(std::strerror(errno));
            else if (got == 0)
                break;
            else
                filled += got;
        }
        data.truncate(filled);
    }
    ::close(fd);
    if (!problem.isEmpty())
        return fail(problem);
    return parse(data, error);
}

std::optional<QList<PhraseUnit>> TmxReader::parse(const QByteArray& data, QString* error)
{
    QList<PhraseUnit> units;
    QXmlStreamReader xml(data);
    bool sawTmx = false;
    PhraseUnit unit;
    bool inUnit = false;
    QString lang;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const auto name = xml.name();
            if (!sawTmx) {
                if (name != u"tmx") {
                    if (error)
                        *error = QStringLiteral("not a TMX file (its root is <%1>)").arg(name.toString());
                    return std::nullopt;
                }
                sawTmx = true;
            } else if (name == u"tu") {
                unit = PhraseUnit{xml.attributes().value(QStringLiteral("tuid")).toString(), {}};
                inUnit = true;
            } else if (name == u"tuv" && inUnit) {
                // TMX 1.4 says xml:lang, 1.1 said lang.
                lang = xml.attributes()
                           .value(QStringLiteral("http://www.w3.org/XML/1998/namespace"), QStringLiteral("lang"))
                           .toString();
                if (lang.isEmpty())
                    lang = xml.attributes().value(QStringLiteral("lang")).toString();
            } else if (name == u"seg" && inUnit) {
                const QString code = clientLanguage(lang);
                PhraseSegment segment = readSegment(xml);
                // Each <tuv> of a language is one more wording of it, in the file's order.
                if (!code.isEmpty() && !segment.parts.isEmpty())
                    unit.segments[code].append(std::move(segment));
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == u"tu" && inUnit) {
            inUnit = false;
            if (unit.id.isEmpty())
                unit.id = QStringLiteral("#%1").arg(units.size() + 1);
            if (!unit.segments.isEmpty())
                units.append(std::move(unit));
        }
    }
    if (xml.hasError() || !sawTmx) {
        if (error) {
            *error = xml.hasError() ? QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString())
                                    : QStringLiteral("not a TMX file");
        }
        return std::nullopt;
    }
    return units;
}

} // namespace service
