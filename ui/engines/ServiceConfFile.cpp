#include "ServiceConfFile.h"

#include "XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

namespace {

bool isComment(QStringView trimmed)
{
    return trimmed.startsWith(u';') || trimmed.startsWith(u'#');
}

// The section a header line opens, or nothing when the line is no header.
std::optional<QString> header(QStringView trimmed)
{
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype end = trimmed.indexOf(u']');
    if (end < 0)
        return std::nullopt;
    return trimmed.mid(1, end - 1).trimmed().toString();
}

// Where the value of a "key=value ; comment" line ends: at the first ";" outside quotes, spaces before it left out.
qsizetype valueEnd(const QString& line, qsizetype start)
{
    bool quoted = false;
    qsizetype end = line.size();
    for (qsizetype i = start; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'\\') {
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u';' && !quoted) {
            end = i;
            break;
        }
    }
    while (end > start && line.at(end - 1).isSpace())
        --end;
    return end;
}

} // namespace

QString ServiceConfFile::defaultPath()
{
    return XdgPaths::configHome() + QStringLiteral("/verbolt-service.conf");
}

bool ServiceConfFile::load(const QString& path, QString* error)
{
    m_path = path;
    m_lines.clear();
    m_lineEnd = QStringLiteral("\n");
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    if (text.contains(QStringLiteral("\r\n")))
        m_lineEnd = QStringLiteral("\r\n");
    m_lines = text.split(u'\n');
    // The last line end closes the last line; it opens no empty one.
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    for (QString& line : m_lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return true;
}

ServiceConfFile::Found ServiceConfFile::find(const QString& section, const QString& key) const
{
    // The last line of a key wins, as it does for the service.
    Found found;
    QString current;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString& line = m_lines.at(i);
        const QStringView trimmed = QStringView(line).trimmed();
        if (trimmed.isEmpty() || isComment(trimmed))
            continue;
        if (const std::optional<QString> name = header(trimmed)) {
            current = *name;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (current != section || equals < 0 || QStringView(line).left(equals).trimmed() != key)
            continue;
        qsizetype start = equals + 1;
        while (start < line.size() && line.at(start).isSpace())
            ++start;
        found = {i, start, valueEnd(line, start)};
    }
    return found;
}

QString ServiceConfFile::value(const QString& section, const QString& key) const
{
    const Found found = find(section, key);
    if (found.line < 0)
        return {};
    const QString& line = m_lines.at(found.line);
    return unquoted(line.mid(found.valueStart, found.valueEnd - found.valueStart));
}

bool ServiceConfFile::contains(const QString& section, const QString& key) const
{
    return find(section, key).line >= 0;
}

void ServiceConfFile::setValue(const QString& section, const QString& key, const QString& value)
{
    const QString written = quoted(value);
    const Found found = find(section, key);
    if (found.line >= 0) {
        QString& line = m_lines[found.line];
        line = line.left(found.valueStart) + written + line.mid(found.valueEnd);
        return;
    }
    // After the last line of the section that is not blank; a new section at the end.
    qsizetype insertAt = -1;
    QString current;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QStringView trimmed = QStringView(m_lines.at(i)).trimmed();
        if (const std::optional<QString> name = header(trimmed)) {
            current = *name;
            if (current == section)
                insertAt = i + 1;
        } else if (current == section && !trimmed.isEmpty() && !isComment(trimmed)) {
            insertAt = i + 1;
        }
    }
    const QString line = key + u'=' + written;
    if (insertAt >= 0) {
        m_lines.insert(insertAt, line);
        return;
    }
    if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
        m_lines.append(QString());
    m_lines.append(u'[' + section + u']');
    m_lines.append(line);
}

QString ServiceConfFile::text() const
{
    QString text;
    for (const QString& line : m_lines)
        text += line + m_lineEnd;
    return text;
}

bool ServiceConfFile::save(QString* error) const
{
    const auto failed = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        return failed(QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    // Before the first byte: the file holds keys.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed(file.errorString());
    const QByteArray bytes = text().toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return failed(file.errorString());
    return true;
}

QString ServiceConfFile::quoted(const QString& value)
{
    // A leading "@" marks a typed value for the service's reader; doubled, it stands for itself.
    const QString plain = value.startsWith(u'@') ? u'@' + value : value;
    const bool needsQuotes = plain.contains(u';') || plain.contains(u',') || plain.contains(u'"')
        || plain.contains(u'\\') || plain.contains(u'\n') || plain.contains(u'\r') || plain.contains(u'\t')
        || (!plain.isEmpty() && (plain.front().isSpace() || plain.back().isSpace()));
    if (!needsQuotes)
        return plain;
    QString written = QStringLiteral("\"");
    for (const QChar c : plain) {
        switch (c.unicode()) {
        case u'\\': written += QStringLiteral("\\\\"); break;
        case u'"': written += QStringLiteral("\\\""); break;
        case u'\n': written += QStringLiteral("\\n"); break;
        case u'\r': written += QStringLiteral("\\r"); break;
        case u'\t': written += QStringLiteral("\\t"); break;
        default: written += c;
        }
    }
    return written + u'"';
}

QString ServiceConfFile::unquoted(const QString& rightHandSide)
{
    // Unquoted commas make a list, whose items the service joins again with ","; spaces around them go.
    QStringList items;
    QString item;
    bool quoted = false;
    bool sawQuote = false;
    const auto endItem = [&] {
        items.append(sawQuote ? item : item.trimmed());
        item.clear();
        sawQuote = false;
    };
    for (qsizetype i = 0; i < rightHandSide.size(); ++i) {
        const QChar c = rightHandSide.at(i);
        if (c == u'\\' && i + 1 < rightHandSide.size()) {
            const QChar next = rightHandSide.at(++i);
            item += next == u'n' ? u'\n' : next == u'r' ? u'\r' : next == u't' ? u'\t' : next;
        } else if (c == u'"') {
            if (!quoted && !sawQuote)
                item = item.trimmed();
            quoted = !quoted;
            sawQuote = true;
        } else if (c == u',' && !quoted) {
            endItem();
        } else if (c == u';' && !quoted) {
            break;
        } else {
            item += c;
        }
    }
    endItem();
    QString value = items.join(u',');
    if (value.startsWith(QStringLiteral("@@")))
        value.remove(0, 1);
    return value;
}
