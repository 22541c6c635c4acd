#pragma once

#include "support/TempFolder.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace halvix::test {

// Every file and folder below `folder` by its relative path, a file with its bytes ("<dir>" for a
// folder): two equal results mean nothing below was added, removed or changed.
inline std::map<std::string, std::string> folderContent(const std::filesystem::path& folder) {
    std::map<std::string, std::string> content;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().lexically_relative(folder).generic_string();
        content[name] = entry.is_directory() ? std::string("<dir>") : readFile(entry.path());
    }
    return content;
}

// The names whose content differs between two folderContent results, or that only one holds.
inline std::vector<std::string> changedEntries(const std::map<std::string, std::string>& before,
                                               const std::map<std::string, std::string>& after) {
    std::vector<std::string> changed;
    for (const auto& [name, content] : before) {
        const auto found = after.find(name);
        if (found == after.end() || found->second != content)
            changed.push_back(name);
    }
    for (const auto& [name, content] : after)
        if (!before.count(name))
            changed.push_back(name);
    return changed;
}

} // namespace halvix::test
