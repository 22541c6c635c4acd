#include "common/ProgramFolder.h"

#include "common/TextFile.h"

#include <fstream>
#include <system_error>

namespace halvix {

namespace fs = std::filesystem;

namespace {

// Asking the file system beats reading permission bits: a read-only mount, an ACL or another
// owner all show up as a refused create.
bool canWriteIn(const fs::path& folder) {
    const fs::path probe = folder / ".halvix-write-probe";
    bool written = false;
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        written = static_cast<bool>(out << 'x');
    }
    std::error_code ignored;
    fs::remove(probe, ignored);
    return written;
}

std::string pathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Copies `source` to `target` under a temporary name, flushed to the disk before its rename and
// its folder after it: a power cut never leaves a half or empty file under the real name, which
// no later start would replace. Empty when it worked.
std::string copyWhole(const fs::path& source, const fs::path& target) {
    fs::path partial = target;
    partial += ".part";
    std::error_code error;
    std::string problem;
    fs::create_directories(target.parent_path(), error);
    if (!error)
        fs::copy_file(source, partial, fs::copy_options::overwrite_existing, error);
    if (!error && flushToDisk(partial, problem))
        fs::rename(partial, target, error);
    if (error)
        problem = error.message();
    if (problem.empty() && flushToDisk(target.parent_path(), problem))
        return {};
    fs::remove(partial, error);
    return problem;
}

// Copies FROM/name (a file, or every file below a folder) into TO where TO lacks it.
bool copyMissing(const fs::path& from, const fs::path& to, const fs::path& name,
                 std::vector<std::string>& added, std::string& problem) {
    std::error_code error;
    std::vector<fs::path> files;
    if (fs::is_directory(from / name, error)) {
        for (fs::recursive_directory_iterator it(from / name, error), end; !error && it != end;
             it.increment(error))
            if (it->is_regular_file(error))
                files.push_back(fs::relative(it->path(), from, error));
    } else {
        files.push_back(name);
    }
    for (const fs::path& file : files) {
        const fs::path target = to / file;
        if (fs::exists(fs::symlink_status(target, error)))
            continue;
        if (const std::string failed = copyWhole(from / file, target); !failed.empty()) {
            problem =
                "无法把默认文件 " + pathText(from / file) + " 复制到 " + pathText(target) + "：" + failed;
            return false;
        }
        added.push_back(file.generic_string());
    }
    return true;
}

} // namespace

bool isPortableFolder(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / "jbase.mdb", error) && canWriteIn(folder);
}

ProgramFolderChoice chooseProgramFolder(const FolderPlaces& places) {
    ProgramFolderChoice choice;
    if (isPortableFolder(places.executableFolder)) {
        choice.folder = places.executableFolder;
        choice.portable = true;
        return choice;
    }
    choice.folder = places.userFolder;
    std::error_code error;
    fs::create_directories(places.userFolder, error);
    if (error) {
        choice.problem = "无法建立数据文件夹 " + pathText(places.userFolder) + "：" + error.message();
        return choice;
    }
    const fs::path* defaults = nullptr;
    for (const fs::path& candidate : places.defaultsFolders)
        if (fs::is_regular_file(candidate / "jbase.mdb", error)) {
            defaults = &candidate;
            break;
        }
    if (!defaults) {
        // A folder that already has everything runs without the defaults.
        bool whole = true;
        for (const std::string& entry : kProgramFolderEntries)
            whole = whole && fs::exists(places.userFolder / entry, error);
        if (!whole) {
            std::string searched;
            for (const fs::path& candidate : places.defaultsFolders)
                searched += (searched.empty() ? "" : "、") + pathText(candidate);
            choice.problem = "找不到程序的默认数据（" + searched + "），数据文件夹 " +
                             pathText(places.userFolder) + " 不完整";
        }
        return choice;
    }
    for (const std::string& entry : kProgramFolderEntries) {
        if (!fs::exists(*defaults / entry, error))
            continue;
        if (!copyMissing(*defaults, places.userFolder, entry, choice.added, choice.problem))
            break;
    }
    return choice;
}

} // namespace halvix
