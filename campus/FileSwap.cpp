#include "campus/FileSwap.h"

#include "common/PathText.h"
#include "common/TextFile.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <system_error>

namespace halvix::campus {

namespace fs = std::filesystem;

fs::path besideWith(const fs::path& target, const char* suffix) {
    fs::path name = target.filename();
    return target.parent_path() / ("." + pathToUtf8(name) + suffix);
}

FileSwap::~FileSwap() {
    if (!m_kept)
        undo();
    for (const Entry& entry : m_entries) {
        std::error_code ignored;
        fs::remove(entry.staged, ignored);
        fs::remove(entry.kept, ignored);
    }
    for (auto it = m_madeFolders.rbegin(); it != m_madeFolders.rend(); ++it) {
        std::error_code ignored;
        if (!m_kept)
            fs::remove(*it, ignored); // only when empty
    }
    // Last: until it goes, a start after a kill finishes what is left undone here.
    std::error_code ignored;
    if (!m_note.empty())
        fs::remove(m_note, ignored);
}

std::string FileSwap::stage(const fs::path& target, const std::string& bytes, const std::string& shown,
                            bool sound) {
    std::error_code error;
    if (sound) {
        if (std::string problem = makeFolders(target.parent_path()); !problem.empty())
            return "声音 " + shown + problem;
    }
    if (fs::is_directory(fs::symlink_status(target, error)))
        return shown + " 是一个文件夹, 无法写入";
    Entry entry{target, besideWith(target, kStagedSuffix), besideWith(target, kKeptSuffix), false, false};
    m_entries.push_back(entry);
    std::ofstream out(entry.staged, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    // On the disk before its rename: a power cut must not leave an empty sound in its place.
    if (std::string problem; !out || !flushToDisk(entry.staged, problem))
        return "无法写入 " + shown + (problem.empty() ? "" : ": " + problem);
    return {};
}

std::string FileSwap::swapIn(const fs::path& note, std::uint64_t revision) {
    // Written in place: cut short, it holds a smaller number or none, and nothing is swapped yet.
    std::ofstream out(note, std::ios::binary | std::ios::trunc);
    out << revision;
    out.close();
    std::string problem;
    if (!out || !flushToDisk(note, problem))
        return "无法写入 " + pathToUtf8(note.filename()) + (problem.empty() ? "" : ": " + problem);
    m_note = note;
    for (Entry& entry : m_entries)
        if (std::string kept = keepOld(entry); !kept.empty())
            return kept;
    if (problem = flushFolders(note.parent_path()); !problem.empty())
        return problem;
    for (Entry& entry : m_entries) {
        std::error_code error;
        fs::rename(entry.staged, entry.target, error);
        if (error)
            return "无法替换 " + pathToUtf8(entry.target.filename()) + ": " + error.message();
        entry.swapped = true;
    }
    return flushFolders(note.parent_path());
}

// A second link to the file `entry` replaces, or a flushed copy where links cannot be made.
std::string FileSwap::keepOld(Entry& entry) {
    std::error_code error;
    fs::remove(entry.kept, error);
    if (!fs::exists(fs::symlink_status(entry.target, error)))
        return {};
    fs::create_hard_link(entry.target, entry.kept, error);
    std::string problem;
    if (error && fs::copy_file(entry.target, entry.kept, fs::copy_options::overwrite_existing, error))
        flushToDisk(entry.kept, problem);
    if (error || !problem.empty())
        return "无法保留旧文件 " + pathToUtf8(entry.target.filename());
    entry.hadOld = true;
    return {};
}

std::string FileSwap::putInPlace() {
    m_kept = true;
    for (const Entry& entry : m_entries) {
        std::error_code error;
        fs::rename(entry.staged, entry.target, error);
        if (error)
            return "无法替换 " + pathToUtf8(entry.target.filename()) + ": " + error.message();
    }
    return flushFolders(m_voic);
}

// Flushes `also` and every folder a file is swapped into or a folder was made in.
std::string FileSwap::flushFolders(const fs::path& also) const {
    std::set<fs::path> folders{also};
    for (const Entry& entry : m_entries)
        folders.insert(entry.target.parent_path());
    for (const fs::path& made : m_madeFolders)
        folders.insert(made.parent_path());
    std::string problem;
    for (const fs::path& folder : folders)
        if (!flushToDisk(folder, problem))
            return problem;
    return {};
}

// Each folder is checked to lie inside voic/ before a folder is made in it, so that a link in
// voic/ never gets a folder made elsewhere. Empty when the folder is there.
std::string FileSwap::makeFolders(const fs::path& folder) {
    std::error_code error;
    if (folder.empty() || folder == folder.parent_path())
        return " 的文件夹无法建立";
    if (fs::is_directory(folder, error))
        return insideVoic(folder) ? std::string() : " 的文件夹不在 voic 内";
    if (std::string problem = makeFolders(folder.parent_path()); !problem.empty())
        return problem;
    if (!fs::create_directory(folder, error) || error)
        return " 的文件夹无法建立";
    m_madeFolders.push_back(folder);
    return {};
}

// A folder of voic/ that is a link to elsewhere must not carry the central's files out of it.
bool FileSwap::insideVoic(const fs::path& folder) const {
    std::error_code error;
    const fs::path base = fs::canonical(m_voic, error);
    if (error)
        return false;
    const fs::path real = fs::canonical(folder, error);
    if (error)
        return false;
    const auto mismatch = std::mismatch(base.begin(), base.end(), real.begin(), real.end());
    return mismatch.first == base.end();
}

void FileSwap::undo() {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (!it->swapped)
            continue;
        std::error_code ignored;
        if (it->hadOld)
            fs::rename(it->kept, it->target, ignored);
        else
            fs::remove(it->target, ignored);
    }
}

} // namespace halvix::campus
