#pragma once

#include "audio/DecodedSound.h"

#include <QDateTime>
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

namespace halvix {

// A file as it was when its sound was decoded: a file replaced since is decoded again.
struct FileStamp {
    qint64 size = -1;
    QDateTime modified;
    bool operator==(const FileStamp&) const = default;
};

// The decoded sounds a player keeps, by path: the latest prepared ones and the one a playback
// waits for. It neither reads files nor decodes: the player hands in each file's stamp, starts the
// decoding under the job number the cache gives, and stores its result here.
class SoundCache {
public:
    // Sounds kept decoded beyond the playing one: the armed entry's, and the one armed before it,
    // which the bell arms its successor ahead of playing.
    static constexpr std::size_t kPreparedKept = 2;

    enum class State { Decoding, Ready, Unplayable, TooLong };
    struct Entry {
        QString path;
        FileStamp stamp;
        State state = State::Decoding;
        quint64 job = 0;
        QByteArray pcm;
        bool mono = false; // see DecodedSound
        qint64 lengthMs = 0;
        quint64 preparedAt = 0; // order of the latest prepare; 0 when never prepared
    };

    // Called for each dropped entry whose decoding is still under way.
    using CancelDecoding = std::function<void(quint64 job)>;
    explicit SoundCache(CancelDecoding cancel);

    // The entry of `path` when it was made from the file as `stamp` describes it. The entry of an
    // older version of the file is dropped. Valid until the next call that changes the cache.
    const Entry* find(const QString& path, const FileStamp& stamp);
    // A new entry that waits for its decoding; returns the job number to decode it under.
    quint64 add(const QString& path, const FileStamp& stamp);
    // `path` is the latest prepared sound; false when the cache holds no entry of it.
    bool markPrepared(const QString& path);
    // The result of decoding `job`; the entry it completes, or null when that was dropped meanwhile.
    const Entry* store(quint64 job, const DecodedSound& decoded);
    // Drops every entry but the `preparedKept` latest prepared ones and that of `awaited` (empty
    // when no playback waits).
    void trim(const QString& awaited, std::size_t preparedKept = kPreparedKept);

    // Bytes of decoded sound held.
    qsizetype bytes() const;
    // True when `pcm` shares its bytes with an entry's.
    bool holds(const QByteArray& pcm) const;
    std::size_t size() const { return m_entries.size(); }

private:
    void drop(const Entry& entry);

    std::vector<Entry> m_entries;
    CancelDecoding m_cancel;
    quint64 m_nextJob = 0;
    quint64 m_prepareCount = 0;
};

} // namespace halvix
