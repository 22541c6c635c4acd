#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace halvix {

// What the program keeps in its folder; the per-user folder is filled with these from the defaults.
inline const std::vector<std::string> kProgramFolderEntries = {"jbase.mdb", "voic", "tovk", "xqno.txt"};

struct FolderPlaces {
    std::filesystem::path executableFolder;
    // The per-user data folder, used when the executable's folder is not a portable program folder.
    std::filesystem::path userFolder;
    // Where the installed defaults may be; the first that holds the database is used.
    std::vector<std::filesystem::path> defaultsFolders;
};

struct ProgramFolderChoice {
    std::filesystem::path folder;
    bool portable = false;
    // Files copied from the defaults into the per-user folder, relative to it.
    std::vector<std::string> added;
    // Why the per-user folder could not be made whole (empty when it could).
    std::string problem;
};

// A folder beside the executable that holds jbase.mdb and may be written is a portable program
// folder: copied from machine to machine, it runs wherever it lands.
bool isPortableFolder(const std::filesystem::path& folder);

// The portable folder when the executable sits in one; otherwise the per-user folder, created and
// given every default file it lacks. A file that is there is never replaced: it is the user's data.
ProgramFolderChoice chooseProgramFolder(const FolderPlaces& places);

} // namespace halvix
