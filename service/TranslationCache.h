#pragma once

#include "Engine.h"

#include <QHash>
#include <QString>

#include <list>
#include <optional>

namespace service {

/// Recent translations, keyed by engine, pair and text, bounded in bytes: the least recently used go first.
class TranslationCache
{
public:
    /// maxBytes: what keys and texts may take together (0 keeps nothing).
    explicit TranslationCache(qsizetype maxBytes);

    std::optional<TranslationResult> find(
        const QString& engine, const QString& source, const QString& target, const QString& text);
    void insert(const QString& engine, const QString& source, const QString& target, const QString& text,
        const TranslationResult& result);

    qsizetype bytes() const { return m_bytes; }
    qsizetype maxBytes() const { return m_maxBytes; }
    qsizetype size() const { return m_entries.size(); }
    qint64 hits() const { return m_hits; }
    qint64 misses() const { return m_misses; }

private:
    struct Entry {
        QString key;
        QString text;
        QString detectedSource;
        qsizetype bytes;
    };
    static QString keyOf(const QString& engine, const QString& source, const QString& target, const QString& text);

    qsizetype m_maxBytes;
    qsizetype m_bytes = 0;
    qint64 m_hits = 0;
    qint64 m_misses = 0;
    /// Most recently used first.
    std::list<Entry> m_entries;
    QHash<QString, std::list<Entry>::iterator> m_index;
};

} // namespace service
