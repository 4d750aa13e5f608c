#include "TranslationCache.h"

namespace service {

namespace {

// What an entry costs besides its strings' characters: list node, hash node, string headers.
constexpr qsizetype kEntryOverhead = 160;

} // namespace

TranslationCache::TranslationCache(qsizetype maxBytes)
    : m_maxBytes(maxBytes)
{ }

QString TranslationCache::keyOf(
    const QString& engine, const QString& source, const QString& target, const QString& text)
{
    // Engine and codes never hold U+001F.
    return engine + u'\x1f' + source.toLower() + u'|' + target.toLower() + u'\x1f' + text;
}

std::optional<TranslationResult> TranslationCache::find(
    const QString& engine, const QString& source, const QString& target, const QString& text)
{
    const auto it = m_index.constFind(keyOf(engine, source, target, text));
    if (it == m_index.constEnd()) {
        ++m_misses;
        return std::nullopt;
    }
    ++m_hits;
    m_entries.splice(m_entries.begin(), m_entries, *it);
    TranslationResult result = TranslationResult::ok((*it)->text);
    result.detectedSource = (*it)->detectedSource;
    return result;
}

void TranslationCache::insert(const QString& engine, const QString& source, const QString& target, const QString& text,
    const TranslationResult& result)
{
    QString key = keyOf(engine, source, target, text);
    const qsizetype cost
        = (key.size() + result.text.size() + result.detectedSource.size()) * qsizetype(sizeof(QChar)) + kEntryOverhead;
    if (cost > m_maxBytes)
        return;
    if (const auto it = m_index.constFind(key); it != m_index.constEnd()) {
        m_bytes -= (*it)->bytes;
        m_entries.erase(*it);
        m_index.erase(it);
    }
    while (m_bytes + cost > m_maxBytes && !m_entries.empty()) {
        m_bytes -= m_entries.back().bytes;
        m_index.remove(m_entries.back().key);
        m_entries.pop_back();
    }
    m_entries.push_front({key, result.text, result.detectedSource, cost});
    m_index.insert(std::move(key), m_entries.begin());
    m_bytes += cost;
}

} // namespace service
