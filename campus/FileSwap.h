#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// Beside a file while it is replaced: the new content before its rename, and the old one kept
// until the replacement is committed. A start after a power loss finds and clears them
// (removeApplyLeftovers).
inline constexpr const char* kStagedSuffix = ".halvix-new";
inline constexpr const char* kKeptSuffix = ".halvix-old";

// "voic/上课.mp3" with `suffix`: "voic/.上课.mp3.halvix-new".
std::filesystem::path besideWith(const std::filesystem::path& target, const char* suffix);

// Files of voic/ (and xqno.txt) written beside their place, flushed to the disk and renamed in;
// everything is put back unless kept.
class FileSwap {
public:
    explicit FileSwap(std::filesystem::path voic) : m_voic(std::move(voic)) {}
    ~FileSwap();
    FileSwap(const FileSwap&) = delete;
    FileSwap& operator=(const FileSwap&) = delete;

    // Writes `bytes` beside `target`; empty when done, else why not (`shown` names the file). A
    // sound's folders are made as needed and must lie inside voic/.
    std::string stage(const std::filesystem::path& target, std::string_view bytes, const std::string& shown,
                      bool sound);
    // Writes `note` with the revision being applied first (a start after a kill reads it), keeps
    // each replaced file as a second link, then renames every staged file in.
    std::string swapIn(const std::filesystem::path& note, std::uint64_t revision);
    // Keeps what was swapped in: nothing is put back.
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
