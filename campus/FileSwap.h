#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace halvix::campus {

// Beside a file while a snapshot is applied: its new content, and its old one kept to be put back.
inline constexpr const char* kStagedSuffix = ".halvix-new";
inline constexpr const char* kKeptSuffix = ".halvix-old";

// ".NAME" followed by `suffix`, beside `target`.
std::filesystem::path besideWith(const std::filesystem::path& target, const char* suffix);

// Files written beside their place and swapped in; everything is put back unless kept.
class FileSwap {
public:
    explicit FileSwap(std::filesystem::path voic) : m_voic(std::move(voic)) {}
    ~FileSwap();
    FileSwap(const FileSwap&) = delete;
    FileSwap& operator=(const FileSwap&) = delete;

    // Writes `bytes` beside `target` and flushes them to the disk. A sound's folders are made as
    // needed and must lie inside voic/. Empty when it worked, else the reason.
    std::string stage(const std::filesystem::path& target, const std::string& bytes, const std::string& shown,
                      bool sound);
    // Writes `note` with the revision being applied first, keeps the old files, then renames the
    // new ones over them. Each step is on the disk before the next begins, and the renames before
    // the caller commits the revision: after a power cut the note and the kept files can always
    // put back what the database does not yet name. Empty when it worked, else the reason.
    std::string swapIn(const std::filesystem::path& note, std::uint64_t revision);

    void keep() { m_kept = true; }
    // Renames every staged file in at once, keeping nothing of the files it replaces (a damaged
    // copy is worth nothing); a file renamed stays even when a later one fails.
    std::string putInPlace();

private:
    struct Entry {
        std::filesystem::path target;
        std::filesystem::path staged;
        std::filesystem::path kept;
        bool hadOld;
        bool swapped;
    };

    static std::string keepOld(Entry& entry);
    std::string flushFolders(const std::filesystem::path& also) const;
    std::string makeFolders(const std::filesystem::path& folder);
    bool insideVoic(const std::filesystem::path& folder) const;
    void undo();

    std::filesystem::path m_voic;
    std::vector<Entry> m_entries;
    std::vector<std::filesystem::path> m_madeFolders;
    std::filesystem::path m_note;
    bool m_kept = false;
};

} // namespace halvix::campus
