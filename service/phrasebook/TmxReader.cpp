#include "phrasebook/TmxReader.h"

#include "LanguageNames.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
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

// The client's codes of the xml:lang values of a file, each looked up once.
class LanguageCodes
{
public:
    QString of(const QString& tmxLang)
    {
        auto it = m_codes.constFind(tmxLang);
        if (it == m_codes.constEnd())
            it = m_codes.insert(tmxLang, clientLanguage(tmxLang));
        return *it;
    }

private:
    QHash<QString, QString> m_codes;
};

// Reads the TMX that this program and most tools write - UTF-8 without a DOCTYPE, CDATA or carriage returns - in a
// fraction of the time of a general XML reader: the phrasebook is read before the service answers. Whatever it
// does not cover, or finds malformed, it leaves to the general reader (failed()), which reads all of XML and says
// what is wrong.
class FastTmx
{
public:
    explicit FastTmx(const QByteArray& data)
        : m_p(data.constData())
        , m_end(data.constData() + data.size())
    { }

    std::optional<QList<PhraseUnit>> read()
    {
        if (!QByteArrayView(m_p, m_end).isValidUtf8())
            return std::nullopt;
        for (const char* c = m_p; c < m_end; ++c) {
            if (uchar(*c) < 0x20 && *c != '\t' && *c != '\n')
                return std::nullopt;
        }
        if (m_end - m_p >= 3 && QByteArrayView(m_p, 3) == "\xEF\xBB\xBF")
            m_p += 3;
        QList<PhraseUnit> units;
        LanguageCodes codes;
        PhraseUnit unit;
        bool inUnit = false;
        bool sawTmx = false;
        QString lang;
        for (Token token = next(); token.kind != Token::Done; token = next()) {
            if (token.kind == Token::Bad)
                return std::nullopt;
            if (token.kind == Token::Text) {
                // Only whitespace outside the root.
                if (m_stack.isEmpty() && !isBlank(token.text))
                    return std::nullopt;
                continue;
            }
            if (token.kind == Token::End) {
                if (token.name == "tu" && inUnit) {
                    inUnit = false;
                    if (unit.id.isEmpty())
                        unit.id = QStringLiteral("#%1").arg(units.size() + 1);
                    if (!unit.segments.isEmpty())
                        units.append(std::move(unit));
                }
                continue;
            }
            if (!sawTmx) {
                if (token.name != "tmx")
                    return std::nullopt;
                sawTmx = true;
            } else if (token.name == "tu") {
                unit = PhraseUnit{attribute(token, "tuid"), {}};
                inUnit = true;
                if (token.empty)
                    inUnit = false;
            } else if (token.name == "tuv" && inUnit) {
                lang = attribute(token, "xml:lang");
                if (lang.isEmpty())
                    lang = attribute(token, "lang");
            } else if (token.name == "seg" && inUnit && !token.empty) {
                PhraseSegment segment;
                if (!readSegment(segment))
                    return std::nullopt;
                const QString code = codes.of(lang);
                if (!code.isEmpty() && !segment.parts.isEmpty())
                    unit.segments[code].append(std::move(segment));
            }
        }
        if (!sawTmx || !m_stack.isEmpty())
            return std::nullopt;
        return units;
    }

private:
    struct Token {
        enum Kind { Text, Start, End, Done, Bad } kind = Done;
        QByteArrayView name;
        QByteArrayView text; ///< of Text: raw; of Start: the attributes, raw
        bool empty = false; ///< <name/>
    };

    static Token bad()
    {
        Token token;
        token.kind = Token::Bad;
        return token;
    }
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n'; }
    static bool isBlank(QByteArrayView text)
    {
        return std::all_of(text.begin(), text.end(), [](char c) { return isSpace(c); });
    }
    static bool isNameChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
            || c == '.' || c == ':' || uchar(c) >= 0x80;
    }

    QByteArrayView name()
    {
        const char* start = m_p;
        while (m_p < m_end && isNameChar(*m_p))
            ++m_p;
        return QByteArrayView(start, m_p);
    }

    const char* find(QByteArrayView what) const
    {
        const qsizetype at = QByteArrayView(m_p, m_end).indexOf(what);
        return at < 0 ? nullptr : m_p + at;
    }

    Token next()
    {
        for (;;) {
            if (m_p >= m_end)
                return {};
            if (*m_p != '<') {
                const char* lt = static_cast<const char*>(std::memchr(m_p, '<', size_t(m_end - m_p)));
                const char* stop = lt ? lt : m_end;
                Token text{Token::Text, {}, QByteArrayView(m_p, stop), false};
                m_p = stop;
                return text;
            }
            const QByteArrayView rest(m_p, m_end);
            if (rest.startsWith("<!--") || rest.startsWith("<?")) {
                const bool comment = rest.startsWith("<!--");
                const char* close = find(comment ? "-->" : "?>");
                if (!close)
                    return bad();
                const QByteArrayView inner(m_p, close);
                // Only UTF-8 is read here.
                if (!comment && inner.startsWith("<?xml") && inner.contains("encoding")
                    && !QByteArray(inner.data(), inner.size()).toLower().contains("utf-8"))
                    return bad();
                m_p = close + (comment ? 3 : 2);
                continue;
            }
            if (rest.startsWith("<!"))
                return bad(); // DOCTYPE, CDATA
            if (rest.startsWith("</")) {
                m_p += 2;
                const QByteArrayView tag = name();
                while (m_p < m_end && isSpace(*m_p))
                    ++m_p;
                if (tag.isEmpty() || m_p >= m_end || *m_p != '>' || m_stack.isEmpty() || m_stack.last() != tag)
                    return bad();
                ++m_p;
                m_stack.removeLast();
                return {Token::End, tag, {}, false};
            }
            ++m_p;
            const QByteArrayView tag = name();
            // Prefixed elements belong to a namespace: the general reader resolves them.
            if (tag.isEmpty() || tag.contains(':')
                || (uchar(tag.front()) < 0x80 && !std::isalpha(uchar(tag.front())) && tag.front() != '_'))
                return bad();
            const char* attributes = m_p;
            // Attributes: name="value" or name='value', no "<" in a value.
            for (;;) {
                while (m_p < m_end && isSpace(*m_p))
                    ++m_p;
                if (m_p >= m_end)
                    return bad();
                if (*m_p == '>' || (*m_p == '/' && m_p + 1 < m_end && m_p[1] == '>'))
                    break;
                if (attributes == m_p || !isSpace(m_p[-1]) || name().isEmpty())
                    return bad();
                while (m_p < m_end && isSpace(*m_p))
                    ++m_p;
                if (m_p >= m_end || *m_p != '=')
                    return bad();
                ++m_p;
                while (m_p < m_end && isSpace(*m_p))
                    ++m_p;
                if (m_p >= m_end || (*m_p != '"' && *m_p != '\''))
                    return bad();
                const char quote = *m_p++;
                const char* close = static_cast<const char*>(std::memchr(m_p, quote, size_t(m_end - m_p)));
                if (!close || std::memchr(m_p, '<', size_t(close - m_p)))
                    return bad();
                m_p = close + 1;
            }
            Token start{Token::Start, tag, QByteArrayView(attributes, m_p), *m_p == '/'};
            m_p += start.empty ? 2 : 1;
            if (!start.empty)
                m_stack.append(tag);
            return start;
        }
    }

    // Text with its references resolved; nothing when one is unknown or not a character XML allows.
    static std::optional<QString> decode(QByteArrayView raw, bool attribute)
    {
        QString out;
        const char* p = raw.begin();
        while (p < raw.end()) {
            const char* amp = static_cast<const char*>(std::memchr(p, '&', size_t(raw.end() - p)));
            const char* stop = amp ? amp : raw.end();
            QString piece = QString::fromUtf8(p, stop - p);
            if (attribute) {
                piece.replace(u'\t', u' ');
                piece.replace(u'\n', u' ');
            }
            out += piece;
            if (!amp)
                break;
            const char* semicolon = static_cast<const char*>(std::memchr(amp, ';', size_t(raw.end() - amp)));
            if (!semicolon || semicolon - amp > 12)
                return std::nullopt;
            const QByteArrayView entity(amp + 1, semicolon);
            if (entity == "lt") {
                out += u'<';
            } else if (entity == "gt") {
                out += u'>';
            } else if (entity == "amp") {
                out += u'&';
            } else if (entity == "quot") {
                out += u'"';
            } else if (entity == "apos") {
                out += u'\'';
            } else if (entity.startsWith('#')) {
                bool ok = false;
                const bool hex = entity.size() > 1 && entity[1] == 'x';
                const uint code = QByteArray(entity.data() + (hex ? 2 : 1), entity.size() - (hex ? 2 : 1))
                                      .toUInt(&ok, hex ? 16 : 10);
                const bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code < 0xD800)
                    || (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
                if (!ok || !allowed)
                    return std::nullopt;
                out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
            } else {
                return std::nullopt;
            }
            p = semicolon + 1;
        }
        return out;
    }

    QString attribute(const Token& token, QByteArrayView wanted)
    {
        const char* p = token.text.begin();
        const char* end = token.text.end();
        while (p < end) {
            while (p < end && isSpace(*p))
                ++p;
            const char* start = p;
            while (p < end && isNameChar(*p))
                ++p;
            const QByteArrayView attributeName(start, p);
            while (p < end && *p != '"' && *p != '\'')
                ++p;
            if (p >= end)
                break;
            const char quote = *p++;
            const char* close = static_cast<const char*>(std::memchr(p, quote, size_t(end - p)));
            if (!close)
                break;
            if (attributeName == wanted) {
                const auto value = decode(QByteArrayView(p, close), true);
                if (!value)
                    m_bad = true;
                return value.value_or(QString());
            }
            p = close + 1;
        }
        return {};
    }

    // The <seg> just opened, up to its end: as readSegment.
    bool readSegment(PhraseSegment& segment)
    {
        const qsizetype depth = m_stack.size();
        while (m_stack.size() >= depth) {
            const Token token = next();
            if (token.kind == Token::Bad || token.kind == Token::Done || m_bad)
                return false;
            if (token.kind == Token::Text) {
                const auto text = decode(token.text, false);
                if (!text)
                    return false;
                appendText(segment, *text);
            } else if (token.kind == Token::Start && token.name == "ph") {
                const QString x = attribute(token, "x");
                const QString type = attribute(token, "type");
                QString content;
                if (!token.empty && !readText(content, false))
                    return false;
                bool ok = false;
                const int number = x.toInt(&ok);
                segment.parts.append(
                    {{}, ok && number > 0 ? number : int(segment.parts.size()) + 1, placeholderKind(type, content)});
            } else if (token.kind == Token::Start && !token.empty
                && (token.name == "bpt" || token.name == "ept" || token.name == "it" || token.name == "ut")) {
                QString skipped;
                if (!readText(skipped, true))
                    return false;
            }
        }
        return !m_bad;
    }

    // The text of the element just opened, its children's included, up to its end.
    bool readText(QString& text, bool skip)
    {
        const qsizetype depth = m_stack.size();
        while (m_stack.size() >= depth) {
            const Token token = next();
            if (token.kind == Token::Bad || token.kind == Token::Done)
                return false;
            if (token.kind == Token::Text && !skip) {
                const auto piece = decode(token.text, false);
                if (!piece)
                    return false;
                text += *piece;
            }
        }
        return true;
    }

    const char* m_p;
    const char* m_end;
    QList<QByteArrayView> m_stack; ///< the elements open
    bool m_bad = false; ///< an attribute that could not be read
};

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
    if (auto units = FastTmx(data).read())
        return units;
    return parseGeneral(data, error);
}

std::optional<QList<PhraseUnit>> TmxReader::parseGeneral(const QByteArray& data, QString* error)
{
    QList<PhraseUnit> units;
    QXmlStreamReader xml(data);
    LanguageCodes codes;
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
                const QString code = codes.of(lang);
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
