#include "common/SoundPath.h"

#include "common/PathText.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace halvix {

namespace fs = std::filesystem;

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// The components of a text, split at either separator; empty ones and "." are left out.
std::vector<std::string_view> componentsOf(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end =
            std::find_if(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(), isSeparator);
        const auto stop = static_cast<std::size_t>(end - text.begin());
        const std::string_view part = text.substr(start, stop - start);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        start = stop + 1;
    }
    return parts;
}

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool isAbsolute(std::string_view text) {
    const bool drive = text.size() >= 2 && text[1] == ':' &&
                       ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    return drive || (!text.empty() && isSeparator(text.front()));
}

// `target` is `root` or lies below it; both already free of links and dots.
bool within(const fs::path& root, const fs::path& target) {
    return std::mismatch(root.begin(), root.end(), target.begin(), target.end()).first == root.end();
}

std::string linkProblem(const std::string& what) {
    return what + " 是指向 voic 之外或不存在之处的链接";
}

ResolvedSound problem(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

} // namespace

bool namesSingleFile(std::string_view sound) {
    const std::string_view tail = sound.size() > 4 ? sound.substr(sound.size() - 4) : sound;
    return !tail.empty() && tail.front() == '.';
}

bool isTrackName(std::string_view fileName) {
    if (fileName.size() < 3)
        return false;
    const std::string_view tail = fileName.substr(fileName.size() - 3);
    return tail == "mp3" || tail == "MP3" || tail == "wav" || tail == "wma";
}

std::optional<std::string> soundTextRefusal(std::string_view sound) {
    // Not echoed: the text could carry terminal controls into a console or the log.
    if (std::any_of(sound.begin(), sound.end(), isControl))
        return "声音名含有控制字符";
    const std::string shown(sound);
    if (isAbsolute(sound))
        return "声音 \"" + shown + "\" 是绝对路径, 只能是 voic 中的文件或文件夹";
    const auto parts = componentsOf(sound);
    if (std::find(parts.begin(), parts.end(), "..") != parts.end())
        return "声音 \"" + shown + "\" 含有 \"..\", 只能是 voic 中的文件或文件夹";
    if (!sound.empty() && !namesSingleFile(sound) && (parts.empty() || parts.front() != kSoundFolderName))
        return "文件夹 \"" + shown + "\" 不在 voic 中";
    return std::nullopt;
}

SoundResolver::SoundResolver(fs::path programFolder) : m_programFolder(std::move(programFolder)) {}

ResolvedSound SoundResolver::resolve(std::string_view sound) const {
    if (sound.empty())
        return problem("没有指定声音");
    if (auto refusal = soundTextRefusal(sound))
        return problem(std::move(*refusal));
    return namesSingleFile(sound) ? resolveFile(sound) : resolveFolder(sound);
}

ResolvedSound SoundResolver::resolveFile(std::string_view name) const {
    // The listing decides, not the file system's own lookup: the name matches byte for byte even
    // where the file system ignores letter case, and a name with a separator matches nothing.
    const std::string shown(name);
    std::error_code error;
    fs::directory_iterator entries(soundFolder(), error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        if (pathToUtf8(entries->path().filename()) != name)
            continue;
        std::error_code kindError;
        if (entries->is_symlink(kindError) && !leadsInside(entries->path()))
            return problem(linkProblem("voic/" + shown));
        if (entries->is_directory(kindError))
            return problem("voic/" + shown + " 是文件夹, 不是声音文件");
        return {SoundLocation{false, entries->path()}, {}};
    }
    return problem("voic 中没有文件 " + shown);
}

ResolvedSound SoundResolver::resolveFolder(std::string_view text) const {
    // Links on the way are followed only when they stay in voic. One answer for a link that leads
    // out and one that leads nowhere: the reply does not tell what exists outside.
    const std::string shown(text);
    fs::path folder = m_programFolder;
    bool onDisk = true; // every step so far exists
    std::error_code error;
    for (const std::string_view part : componentsOf(text)) {
        folder /= pathFromUtf8(part);
        if (!onDisk)
            continue;
        const fs::file_status status = fs::symlink_status(folder, error);
        onDisk = fs::exists(status);
        if (fs::is_symlink(status) && !leadsInside(folder))
            return problem(linkProblem("文件夹 " + shown));
    }
    if (!fs::is_directory(folder, error) || !leadsInside(folder))
        return problem("没有文件夹 " + shown);
    return {SoundLocation{true, std::move(folder)}, {}};
}

bool SoundResolver::leadsInside(const fs::path& path) const {
    std::error_code error;
    const fs::path root = fs::canonical(soundFolder(), error);
    if (error)
        return false;
    const fs::path target = fs::canonical(path, error);
    return !error && within(root, target);
}

std::vector<fs::path> SoundResolver::tracks(const fs::path& folder) const {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        std::error_code kindError;
        std::string name = pathToUtf8(entries->path().filename());
        if (!isTrackName(name) || entries->is_directory(kindError))
            continue;
        // Only links are looked up: a plain file of a folder inside voic is inside.
        if (entries->is_symlink(kindError) && !leadsInside(entries->path()))
            continue;
        names.push_back(std::move(name));
    }
    // Listing order differs between systems; name order (by bytes) does not.
    std::sort(names.begin(), names.end());
    std::vector<fs::path> tracks;
    tracks.reserve(names.size());
    for (const auto& name : names)
        tracks.push_back(folder / pathFromUtf8(name));
    return tracks;
}

} // namespace halvix
