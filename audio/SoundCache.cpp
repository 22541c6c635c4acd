#include "audio/SoundCache.h"

#include <algorithm>
#include <utility>

namespace halvix {

SoundCache::SoundCache(CancelDecoding cancel) : m_cancel(std::move(cancel)) {}

void SoundCache::drop(const Entry& entry) {
    if (entry.state == State::Decoding && m_cancel)
        m_cancel(entry.job);
}

const SoundCache::Entry* SoundCache::find(const QString& path, const FileStamp& stamp) {
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&path](const Entry& entry) { return entry.path == path; });
    if (it == m_entries.end())
        return nullptr;
    if (it->stamp == stamp)
        return &*it;
    drop(*it);
    m_entries.erase(it);
    return nullptr;
}

quint64 SoundCache::add(const QString& path, const FileStamp& stamp) {
    Entry entry;
    entry.path = path;
    entry.stamp = stamp;
    entry.job = ++m_nextJob;
    m_entries.push_back(std::move(entry));
    return m_nextJob;
}

bool SoundCache::markPrepared(const QString& path) {
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&path](const Entry& entry) { return entry.path == path; });
    if (it == m_entries.end())
        return false;
    it->preparedAt = ++m_prepareCount;
    return true;
}

const SoundCache::Entry* SoundCache::store(quint64 job, const DecodedSound& decoded) {
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [job](const Entry& entry) { return entry.job == job; });
    if (it == m_entries.end())
        return nullptr;
    it->state = decoded.outcome == DecodedSound::Outcome::Decoded   ? State::Ready
                : decoded.outcome == DecodedSound::Outcome::TooLong ? State::TooLong
                                                                    : State::Unplayable;
    it->pcm = decoded.pcm;
    it->mono = decoded.mono;
    it->lengthMs = decoded.lengthMs;
    return &*it;
}

void SoundCache::trim(const QString& awaited, std::size_t preparedKept) {
    std::vector<quint64> prepared;
    for (const Entry& entry : m_entries)
        if (entry.preparedAt > 0)
            prepared.push_back(entry.preparedAt);
    std::sort(prepared.rbegin(), prepared.rend());
    const quint64 oldestKept =
        prepared.size() > preparedKept ? prepared[std::max<std::size_t>(preparedKept, 1) - 1] : 1;
    std::erase_if(m_entries, [&](const Entry& entry) {
        const bool needed = entry.preparedAt >= oldestKept || (!awaited.isEmpty() && entry.path == awaited);
        if (!needed)
            drop(entry);
        return !needed;
    });
}

qsizetype SoundCache::bytes() const {
    qsizetype total = 0;
    for (const Entry& entry : m_entries)
        total += entry.pcm.size();
    return total;
}

bool SoundCache::holds(const QByteArray& pcm) const {
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&pcm](const Entry& entry) { return entry.pcm.constData() == pcm.constData(); });
}

} // namespace halvix
