#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvix {

// Sound texts, as plan rows and requests name them, and where they lead. Every sound the program
// plays, prepares, checks or imports is found here, and only inside the program folder's "voic":
//   - a text whose fourth byte from the end (the first byte of a shorter text) is "." names a
//     file that "voic" lists under exactly that name;
//   - any other text names a folder relative to the program folder, "\" and "/" both separating,
//     which must be "voic" or lie below it ("voic\课间操");
//   - control characters, absolute paths, ".." and symbolic links that lead out of "voic" name
//     nothing: the sound is missing, with the reason.

inline constexpr const char* kSoundFolderName = "voic";

bool namesSingleFile(std::string_view sound);
// A folder's track: its last three bytes are exactly "mp3", "MP3", "wav" or "wma".
bool isTrackName(std::string_view fileName);

// Why `sound` can never name a sound in "voic", judged from the text alone, without the disk: so
// the answer is the same whether or not the place it points at exists. Nothing when the text may
// name one (an empty text included: it names no sound, but it is no harm to store).
std::optional<std::string> soundTextRefusal(std::string_view sound);

// A sound the text leads to: a file or a folder of "voic".
struct SoundLocation {
    bool folder = false;
    std::filesystem::path path;
};

// Where a sound text leads, or in words why it leads to no sound (the ring log's 缺少声音).
struct ResolvedSound {
    std::optional<SoundLocation> location;
    std::string problem;
};

class SoundResolver {
public:
    explicit SoundResolver(std::filesystem::path programFolder);

    ResolvedSound resolve(std::string_view sound) const;
    // The tracks of a folder `resolve` gave, by full path in name (byte) order; symbolic links
    // that lead out of "voic" are left out.
    std::vector<std::filesystem::path> tracks(const std::filesystem::path& folder) const;
    // True when `path`, with every symbolic link followed, lies in "voic" (or is it).
    bool leadsInside(const std::filesystem::path& path) const;

    std::filesystem::path soundFolder() const { return m_programFolder / kSoundFolderName; }

private:
    ResolvedSound resolveFile(std::string_view name) const;
    ResolvedSound resolveFolder(std::string_view text) const;

    std::filesystem::path m_programFolder;
};

} // namespace halvix
