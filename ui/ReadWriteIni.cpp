#include "ReadWriteIni.h"

#include "Codec.h"
#include "XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace ReadWriteIni {

namespace {

// The file as lines without their ends, and the line end it uses.
struct Lines {
    QStringList lines;
    QString lineEnd = QStringLiteral("\n");
};

Lines splitLines(const QString& text)
{
    Lines result;
    const qsizetype firstLf = text.indexOf(u'\n');
    if (firstLf > 0 && text.at(firstLf - 1) == u'\r')
        result.lineEnd = QStringLiteral("\r\n");
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        result.lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        result.lines.append(text.mid(start));
    return result;
}

QString readText(QFile& file)
{
    QString text = Codec::decode(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// The section name of a line such as "[SETTINGS]", or a null string when the line starts no section.
QString sectionName(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'['))
        return {};
    const qsizetype close = trimmed.indexOf(u']');
    const QString name = close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1);
    return name.trimmed().isNull() ? QStringLiteral("") : name.trimmed();
}

// The key of a line such as "Key = value", or a null string when the line holds no key.
QString keyName(const QString& line)
{
    const QString trimmed = line.trimmed();
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0 || trimmed.startsWith(u';'))
        return {};
    const QString key = trimmed.left(equals).trimmed();
    return key.isNull() ? QStringLiteral("") : key;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the line that starts section, or -1.
qsizetype findSection(const QStringList& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = sectionName(lines.at(i));
        if (!name.isNull() && sameName(name, section))
            return i;
    }
    return -1;
}

// Index one past the last line of the section that starts at sectionLine.
qsizetype sectionEnd(const QStringList& lines, qsizetype sectionLine)
{
    qsizetype i = sectionLine + 1;
    while (i < lines.size() && sectionName(lines.at(i)).isNull())
        ++i;
    return i;
}

QString unquoted(const QString& value)
{
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == u'"' || value.front() == u'\''))
        return value.mid(1, value.size() - 2);
    return value;
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

QString read(const QString& section, const QString& key, const QString& defaultValue, const QString& path)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QStringList lines = splitLines(readText(file)).lines;
    const qsizetype first = findSection(lines, section);
    if (first < 0)
        return defaultValue;
    const qsizetype end = sectionEnd(lines, first);
    for (qsizetype i = first + 1; i < end; ++i) {
        const QString name = keyName(lines.at(i));
        if (name.isNull() || !sameName(name, key))
            continue;
        const QString& line = lines.at(i);
        return unquoted(line.mid(line.indexOf(u'=') + 1).trimmed()).left(maxValueLength);
    }
    return defaultValue;
}

bool write(const QString& section, const QString& key, const QString& value, const QString& path, QString* error)
{
    return write(section, {{key, value}}, path, error);
}

bool write(const QString& section, const QList<QPair<QString, QString>>& entries, const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        setError(error, QStringLiteral("%1 is a folder").arg(path));
        return false;
    }

    Lines file;
    if (info.exists()) {
        QFile old(path);
        if (!old.open(QIODevice::ReadOnly)) {
            setError(error, old.errorString());
            return false;
        }
        file = splitLines(readText(old));
    }

    QStringList& lines = file.lines;
    qsizetype first = findSection(lines, section);
    if (first < 0) {
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        first = lines.size() - 1;
    }
    for (const auto& [key, rawValue] : entries) {
        // A line break would end the value early and turn the rest into a line of its own.
        QString value = rawValue;
        value.replace(u'\r', u' ').replace(u'\n', u' ');
        const qsizetype end = sectionEnd(lines, first);
        bool replaced = false;
        for (qsizetype i = first + 1; i < end && !replaced; ++i) {
            const QString name = keyName(lines.at(i));
            if (!name.isNull() && sameName(name, key)) {
                lines[i] = name + QLatin1Char('=') + value;
                replaced = true;
            }
        }
        if (replaced)
            continue;
        // After the section's last non-blank line, so the blank line before the next section stays where it is.
        qsizetype at = end;
        while (at > first + 1 && lines.at(at - 1).trimmed().isEmpty())
            --at;
        lines.insert(at, key + QLatin1Char('=') + value);
    }

    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder)) {
        setError(error, QStringLiteral("cannot create the folder %1").arg(folder));
        return false;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        setError(error, out.errorString());
        return false;
    }
    const QByteArray bytes = Codec::encode(lines.join(file.lineEnd) + file.lineEnd);
    if (out.write(bytes) != bytes.size() || !out.commit()) {
        setError(error, out.errorString());
        return false;
    }
    return true;
}

QString settingsPath()
{
    return XdgPaths::configHome() + QStringLiteral("/Verbolt.ini");
}

} // namespace ReadWriteIni
