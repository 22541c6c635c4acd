#include "campus/SnapshotBuilder.h"

#include "calendar/CalendarStore.h"
#include "campus/Sha256.h"
#include "campus/SharedTables.h"
#include "common/MessageSink.h"
#include "common/PathText.h"
#include "common/TextChecks.h"
#include "common/TextFile.h"
#include "store/ScheduleDatabase.h"

#include <algorithm>
#include <system_error>

namespace halvix::campus {

namespace {

class FirstMessage final : public MessageSink {
public:
    void show(const UserMessage& message) override {
        if (m_text.empty())
            m_text = message.text;
    }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

std::string columnList(const TextList& columns) {
    std::string list;
    for (const std::string& column : columns)
        list += (list.empty() ? "\"" : ",\"") + column + "\"";
    return list;
}

std::string readTables(const std::filesystem::path& folder, std::vector<SnapshotTable>& tables) {
    FirstMessage sink;
    ScheduleDatabase db(folder, sink);
    db.open();
    if (!db.isOpen())
        return sink.text();
    for (const SharedTable& shared : sharedTables()) {
        TextList names;
        SnapshotTable table{shared.name, shared.columns, {}};
        if (shared.name == kCalendarTable) {
            // The calendar table is made on first use; without it the calendar is empty.
            TextList found;
            if (db.queryRows(names, found, "select name from sqlite_master where name = 'calendar'") ==
                ScheduleDatabase::ReadResult::NoRows) {
                tables.push_back(std::move(table));
                continue;
            }
        }
        names.clear();
        const auto read =
            db.queryRows(names, table.cells, "select " + columnList(shared.columns) + " from " + shared.name);
        if (read == ScheduleDatabase::ReadResult::Failed)
            return "无法读取表 " + shared.name + ": " + sink.text();
        tables.push_back(std::move(table));
    }
    return {};
}

std::string readWeek(const std::filesystem::path& folder, std::string& week) {
    const auto content = readFileContent(folder / "xqno.txt");
    if (!content)
        return "无法读取 xqno.txt";
    const std::size_t first = content->find_first_not_of(" \t\r\n");
    const std::size_t last = content->find_last_not_of(" \t\r\n");
    week = first == std::string::npos ? std::string() : content->substr(first, last - first + 1);
    if (week.empty() || week.size() > 9 || week.find_first_not_of("0123456789") != std::string::npos)
        return "xqno.txt 的内容不是上课日的数字: " + *content;
    return {};
}

// A link under voic/ that leads elsewhere (the database, a key) is never shared.
bool insideFolder(const std::filesystem::path& folder, const std::filesystem::path& file) {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::canonical(folder, error);
    const std::filesystem::path real = error ? base : std::filesystem::canonical(file, error);
    if (error)
        return false;
    return std::mismatch(base.begin(), base.end(), real.begin(), real.end()).first == base.end();
}

std::string readSounds(const std::filesystem::path& folder, const SnapshotLimits& limits,
                       std::vector<SnapshotSound>& sounds, std::vector<std::string>& skipped,
                       SoundHashCache* cache) {
    const std::filesystem::path voic = folder / "voic";
    std::error_code error;
    if (!std::filesystem::is_directory(voic, error))
        return {}; // no sounds to share
    std::filesystem::recursive_directory_iterator it(
        voic, std::filesystem::directory_options::skip_permission_denied, error);
    for (const std::filesystem::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error))
            continue;
        const std::u8string relative = it->path().lexically_relative(voic).generic_u8string();
        const std::string name(relative.begin(), relative.end());
        if (std::string problem = soundNameProblem(name); !problem.empty()) {
            skipped.push_back(name + ": " + problem);
            continue;
        }
        if (!insideFolder(voic, it->path())) {
            skipped.push_back(name + ": 链接指向 voic 文件夹之外");
            continue;
        }
        const std::uintmax_t size = it->file_size(error);
        if (error)
            return "无法读取声音 " + name;
        if (size > limits.maxSoundSize) {
            skipped.push_back(name + ": 文件过大");
            continue;
        }
        const auto hash = cache ? cache->hashOf(it->path(), size) : sha256OfFile(it->path());
        if (!hash)
            return "无法读取声音 " + name;
        sounds.push_back({name, *hash, size});
    }
    if (error)
        return "无法列出 voic 文件夹: " + error.message();
    if (sounds.size() > limits.maxSounds)
        return "voic 中的声音过多 (最多 " + std::to_string(limits.maxSounds) + " 个)";
    std::sort(sounds.begin(), sounds.end(),
              [](const SnapshotSound& a, const SnapshotSound& b) { return a.name < b.name; });
    return {};
}

} // namespace

std::optional<std::string> SoundHashCache::hashOf(const std::filesystem::path& file, std::uintmax_t size) {
    std::error_code error;
    const auto modified = std::filesystem::last_write_time(file, error);
    if (error)
        return std::nullopt;
    const auto known = m_known.find(file);
    if (known != m_known.end() && known->second.size == size && known->second.modified == modified)
        return known->second.sha256;
    auto hash = sha256OfFile(file);
    if (hash)
        m_known[file] = {size, modified, *hash};
    return hash;
}

std::string contentFingerprint(Snapshot snapshot) {
    snapshot.revision = 0;
    return sha256Hex(writeSnapshot(snapshot));
}

SnapshotBuild buildSnapshot(const std::filesystem::path& folder, std::uint64_t revision,
                            const SnapshotLimits& limits, SoundHashCache* cache) {
    SnapshotBuild build;
    build.snapshot.revision = revision;
    build.problem = readTables(folder, build.snapshot.tables);
    if (build.problem.empty())
        build.problem = readWeek(folder, build.snapshot.week);
    if (build.problem.empty())
        build.problem = readSounds(folder, limits, build.snapshot.sounds, build.skipped, cache);
    if (!build.ok())
        build.snapshot = {};
    return build;
}

} // namespace halvix::campus
