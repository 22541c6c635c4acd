#include "common/TextChecks.h"

#include "common/Utf8Text.h"

namespace halvix {

namespace {

constexpr std::size_t kMaxNameBytes = 64;
constexpr std::size_t kMaxSoundPart = 200;
constexpr std::size_t kMaxSoundName = 1024;

bool hasControl(std::string_view text) {
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return true;
    }
    return false;
}

} // namespace

std::string displayNameProblem(std::string_view name) {
    if (name.empty())
        return "名称为空";
    if (name.size() > kMaxNameBytes)
        return "名称过长 (最多 " + std::to_string(kMaxNameBytes) + " 字节)";
    if (!isValidUtf8(name))
        return "名称不是有效的 UTF-8 文字";
    if (hasControl(name))
        return "名称含有控制字符";
    return {};
}

std::string soundNameProblem(std::string_view name) {
    if (name.empty())
        return "声音文件名为空";
    if (name.size() > kMaxSoundName)
        return "声音文件名过长";
    if (!isValidUtf8(name))
        return "声音文件名不是有效的 UTF-8 文字";
    if (hasControl(name))
        return "声音文件名含有控制字符";
    if (name.front() == '/')
        return "声音文件名不能是绝对路径";
    if (name.find('\\') != std::string_view::npos || name.find(':') != std::string_view::npos)
        return "声音文件名不能含有 \\ 或 :";
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = name.find('/', start);
        const std::string_view part =
            name.substr(start, slash == std::string_view::npos ? name.npos : slash - start);
        if (part.empty())
            return "声音文件名含有空的路径部分";
        if (part == "." || part == "..")
            return "声音文件名不能含有 . 或 .. 部分, 声音只能在 voic 文件夹内";
        if (part.front() == '.')
            return "声音文件名的部分不能以 . 开头";
        if (part.size() > kMaxSoundPart)
            return "声音文件名的一部分过长";
        if (slash == std::string_view::npos)
            return {};
        start = slash + 1;
    }
}

bool isShownText(std::string_view text, std::size_t maxBytes) {
    if (text.size() > maxBytes || !isValidUtf8(text))
        return false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n') || byte == 0x7f)
            return false;
    }
    return true;
}

} // namespace halvix
