#include "campus/SnapshotReceiver.h"

#include "campus/Sha256.h"

#include <algorithm>

namespace halvix::campus {

SnapshotReceiver::Result SnapshotReceiver::offerSnapshot(std::string_view payload) {
    SnapshotRead read = readSnapshot(payload, m_limits);
    if (!read.ok())
        return refuse("快照被拒绝: " + read.problem);
    const auto applied = storedRevision(m_folder);
    if (!applied)
        return refuse("快照被拒绝: 无法读取本机数据库");
    m_revision = read.snapshot.revision;
    m_repaired.clear();
    const RevisionStep step = revisionStep(read.snapshot.revision, *applied);
    if (step != RevisionStep::Same)
        m_repair.clear(); // a newer snapshot fetches what is lacking itself
    switch (step) {
    case RevisionStep::Same:
        // The retained snapshot again after a reconnect; a snapshot that was waiting is outdated.
        m_waiting.reset();
        m_lacking.clear();
        m_bytes.clear();
        return checkHeldSounds(read.snapshot);
    case RevisionStep::Older:
        return refuse("快照被拒绝: 版本 " + std::to_string(read.snapshot.revision) + " 旧于已应用的版本 " +
                      std::to_string(*applied));
    case RevisionStep::Newer:
        break;
    }
    m_lacking = missingSounds(m_folder, read.snapshot);
    // Bytes already held for a snapshot this one replaces are kept only where still lacking.
    for (auto it = m_bytes.begin(); it != m_bytes.end();)
        it = std::find(m_lacking.begin(), m_lacking.end(), it->first) == m_lacking.end() ? m_bytes.erase(it)
                                                                                         : std::next(it);
    m_waiting = std::move(read.snapshot);
    return applyWhenComplete();
}

SnapshotReceiver::Result SnapshotReceiver::checkHeldSounds(const Snapshot& applied) {
    m_repair.check(applied, &m_stop);
    return m_repair.wanted().empty() ? Result::Nothing : Result::Waiting;
}

SnapshotReceiver::Result SnapshotReceiver::offerSound(const std::string& sha256, std::string bytes) {
    m_repaired.clear();
    if (!m_waiting) {
        const std::vector<std::string> wanted = m_repair.wanted();
        if (std::find(wanted.begin(), wanted.end(), sha256) == wanted.end())
            return Result::Nothing;
        m_repaired = m_repair.offer(sha256, bytes);
        return Result::Repaired;
    }
    if (m_bytes.count(sha256) || std::find(m_lacking.begin(), m_lacking.end(), sha256) == m_lacking.end())
        return Result::Nothing;
    if (sha256Hex(bytes) != sha256)
        return refuse("快照被拒绝: 一个声音的内容与其 SHA-256 不符 (" + sha256.substr(0, 12) + "...)");
    m_bytes.emplace(sha256, std::move(bytes));
    return applyWhenComplete();
}

std::vector<std::string> SnapshotReceiver::wanted() const {
    if (!m_waiting)
        return m_repair.wanted();
    std::vector<std::string> wanted;
    for (const std::string& hash : m_lacking)
        if (!m_bytes.count(hash))
            wanted.push_back(hash);
    return wanted;
}

SnapshotReceiver::Result SnapshotReceiver::refuse(std::string problem) {
    m_waiting.reset();
    m_lacking.clear();
    m_bytes.clear();
    m_problem = std::move(problem);
    return Result::Refused;
}

SnapshotReceiver::Result SnapshotReceiver::applyWhenComplete() {
    if (!wanted().empty())
        return Result::Waiting;
    std::string problem = applySnapshot(m_folder, *m_waiting, m_bytes);
    if (!problem.empty())
        return refuse("快照未能应用: " + problem);
    m_waiting.reset();
    m_lacking.clear();
    m_bytes.clear();
    m_problem.clear();
    return Result::Applied;
}

} // namespace halvix::campus
