#include "campus/Snapshot.h"

#include "campus/Sha256.h"
#include "campus/SharedTables.h"
#include "common/JsonInput.h"
#include "common/TextChecks.h"

#include <nlohmann/json.hpp>

#include <set>

namespace halvix::campus {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxDepth = 8;
constexpr std::size_t kMaxWeekDigits = 9;

std::string tableProblem(const json& item, const SnapshotLimits& limits, std::set<std::string>& seen,
                         SnapshotTable& table) {
    if (!item.is_object())
        return "表的描述不是 JSON 对象";
    const auto name = textField(item, "name");
    if (!name)
        return "表缺少名称";
    const SharedTable* shared = findSharedTable(*name);
    if (!shared)
        return "表 \"" + *name + "\" 不是共享的表";
    if (!seen.insert(*name).second)
        return "表 " + *name + " 出现了两次";
    const auto columns = item.find("columns");
    if (columns == item.end() || !columns->is_array() || *columns != json(shared->columns))
        return "表 " + *name + " 的列不对, 应为 " + json(shared->columns).dump();
    const auto rows = item.find("rows");
    if (rows == item.end() || !rows->is_array())
        return "表 " + *name + " 缺少行";
    if (rows->size() > limits.maxRows)
        return "表 " + *name + " 的行数过多 (最多 " + std::to_string(limits.maxRows) + " 行)";
    table.name = *name;
    table.columns = shared->columns;
    table.cells.reserve(rows->size() * shared->columns.size());
    std::size_t rowNumber = 0;
    for (const json& row : *rows) {
        ++rowNumber;
        const std::string where = "表 " + *name + " 第" + std::to_string(rowNumber) + "行";
        if (!row.is_array() || row.size() != shared->columns.size())
            return where + "应有 " + std::to_string(shared->columns.size()) + " 个单元格";
        for (const json& cell : row) {
            if (!cell.is_string())
                return where + "的单元格不是文字";
            const auto& text = cell.get_ref<const std::string&>();
            if (text.size() > limits.maxCell)
                return where + "的单元格过长";
            if (text.find('\0') != std::string::npos)
                return where + "的单元格含有空字符";
            table.cells.push_back(text);
        }
    }
    return {};
}

std::string soundProblem(const json& item, const SnapshotLimits& limits, SnapshotSound& sound) {
    if (!item.is_object())
        return "声音的描述不是 JSON 对象";
    const auto name = textField(item, "name");
    if (!name)
        return "声音缺少名称";
    if (std::string problem = soundNameProblem(*name); !problem.empty())
        return problem + ": " + json(*name).dump();
    const auto hash = textField(item, "sha256");
    if (!hash || !isSha256Hex(*hash))
        return "声音 " + *name + " 的 SHA-256 不是 64 位小写十六进制数";
    const auto size = unsignedField(item, "size");
    if (!size)
        return "声音 " + *name + " 缺少大小";
    if (*size > limits.maxSoundSize)
        return "声音 " + *name + " 过大 (" + std::to_string(*size) + " 字节)";
    sound = {*name, *hash, *size};
    return {};
}

// "a" and "a/b" cannot both be files: the first would have to be a folder.
std::string nameClash(const std::vector<SnapshotSound>& sounds) {
    std::set<std::string> names;
    for (const SnapshotSound& sound : sounds)
        if (!names.insert(sound.name).second)
            return "声音 " + sound.name + " 出现了两次";
    for (const SnapshotSound& sound : sounds)
        for (std::size_t slash = sound.name.find('/'); slash != std::string::npos;
             slash = sound.name.find('/', slash + 1))
            if (names.count(sound.name.substr(0, slash)))
                return "声音 " + sound.name.substr(0, slash) + " 同时是文件和文件夹";
    return {};
}

std::string snapshotProblem(const json& root, const SnapshotLimits& limits, Snapshot& snapshot) {
    const auto format = unsignedField(root, "format");
    if (!format)
        return "缺少格式号";
    if (*format != kSnapshotFormat)
        return "快照格式 " + std::to_string(*format) + " 不受支持, 请升级本机的程序";
    const auto revision = unsignedField(root, "revision");
    if (!revision || *revision == 0)
        return "版本号缺少或无效";
    snapshot.revision = *revision;

    const auto week = textField(root, "week");
    if (!week || week->empty() || week->size() > kMaxWeekDigits ||
        week->find_first_not_of("0123456789") != std::string::npos)
        return "上课日 (xqno.txt) 应为 1 到 9 位数字";
    snapshot.week = *week;

    const auto tables = root.find("tables");
    if (tables == root.end() || !tables->is_array())
        return "缺少表";
    std::set<std::string> seen;
    for (const json& item : *tables) {
        SnapshotTable table;
        if (std::string problem = tableProblem(item, limits, seen, table); !problem.empty())
            return problem;
        snapshot.tables.push_back(std::move(table));
    }
    for (const SharedTable& shared : sharedTables())
        if (!seen.count(shared.name))
            return "缺少表 " + shared.name;

    const auto sounds = root.find("sounds");
    if (sounds == root.end() || !sounds->is_array())
        return "缺少声音列表";
    if (sounds->size() > limits.maxSounds)
        return "声音过多 (最多 " + std::to_string(limits.maxSounds) + " 个)";
    std::uint64_t total = 0;
    for (const json& item : *sounds) {
        SnapshotSound sound;
        if (std::string problem = soundProblem(item, limits, sound); !problem.empty())
            return problem;
        total += sound.size; // each at most maxSoundSize, so the sum of a bounded count cannot wrap
        snapshot.sounds.push_back(std::move(sound));
    }
    if (total > limits.maxTotalSoundSize)
        return "声音总大小超过 " + std::to_string(limits.maxTotalSoundSize >> 20) + " MB";
    return nameClash(snapshot.sounds);
}

} // namespace

std::string writeSnapshot(const Snapshot& snapshot) {
    json tables = json::array();
    for (const SnapshotTable& table : snapshot.tables) {
        json rows = json::array();
        const std::size_t width = table.columns.empty() ? 1 : table.columns.size();
        for (std::size_t start = 0; start < table.cells.size(); start += width)
            rows.push_back(TextList(table.cells.begin() + static_cast<std::ptrdiff_t>(start),
                                    table.cells.begin() + static_cast<std::ptrdiff_t>(
                                                              std::min(start + width, table.cells.size()))));
        tables.push_back({{"name", table.name}, {"columns", table.columns}, {"rows", std::move(rows)}});
    }
    json sounds = json::array();
    for (const SnapshotSound& sound : snapshot.sounds)
        sounds.push_back({{"name", sound.name}, {"sha256", sound.sha256}, {"size", sound.size}});
    const json root = {{"format", kSnapshotFormat},
                       {"revision", snapshot.revision},
                       {"week", snapshot.week},
                       {"tables", std::move(tables)},
                       {"sounds", std::move(sounds)}};
    // Texts read from the database may hold broken UTF-8; replace it rather than fail the push.
    return root.dump(-1, ' ', false, json::error_handler_t::replace);
}

SnapshotRead readSnapshot(std::string_view payload, const SnapshotLimits& limits) {
    SnapshotRead read;
    const auto root = readJsonObject(payload, limits.maxPayload, kMaxDepth, read.problem);
    if (!root)
        return read;
    read.problem = snapshotProblem(*root, limits, read.snapshot);
    if (!read.ok())
        read.snapshot = {};
    return read;
}

RevisionStep revisionStep(std::uint64_t offered, std::uint64_t applied) {
    if (offered > applied)
        return RevisionStep::Newer;
    return offered == applied ? RevisionStep::Same : RevisionStep::Older;
}

} // namespace halvix::campus
