// The checks of names, sound names, shown texts and ids that arrive from the network or a file.
#include "common/TextChecks.h"
#include "common/IdText.h"

#include <gtest/gtest.h>

#include <string>

namespace halvix {

namespace {

struct Case {
    const char* what;
    std::string text;
    bool accepted;
};

// `count` parts of `size` bytes each, between slashes.
std::string pathOf(int count, std::size_t size) {
    std::string path;
    for (int i = 0; i < count; ++i)
        path += (i > 0 ? "/" : "") + std::string(size, 'a');
    return path;
}

} // namespace

TEST(TextChecks, DisplayNames) {
    const Case cases[] = {
        {"Chinese", "教学楼", true},
        {"markup is only text", "<b>x</b><img src=/etc/passwd>", true},
        {"64 bytes", std::string(64, 'x'), true},
        {"empty", "", false},
        {"65 bytes", std::string(65, 'x'), false},
        {"code page 936", "\xBD\xCC\xD1\xA7", false},
        {"line end", "教学\n楼", false},
        {"escape", "\x1b[2J", false},
        {"delete", "a\x7f", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(displayNameProblem(c.text).empty(), c.accepted) << c.what;
}

TEST(TextChecks, SoundNames) {
    const Case cases[] = {
        {"a file", "上课.mp3", true},
        {"a track of a folder", "课间操/01集合.mp3", true},
        {"a folder", "课间操", true},
        {"a part of 200 bytes", std::string(200, 'a'), true},
        {"empty", "", false},
        {"absolute", "/etc/passwd", false},
        {"up and out", "../上课.mp3", false},
        {"up inside", "课间操/../上课.mp3", false},
        {"this folder", "./上课.mp3", false},
        {"empty part", "课间操//1.mp3", false},
        {"ends in a slash", "课间操/", false},
        {"hidden", ".上课.mp3.part", false},
        {"backslash", "voic\\上课.mp3", false},
        {"drive", "C:上课.mp3", false},
        {"control character", "上\t课.mp3", false},
        {"not UTF-8", "\xC9\xCF.mp3", false},
        {"a part of 201 bytes", std::string(201, 'a'), false},
        {"1024 bytes in parts of 200", pathOf(5, 200) + "/" + std::string(19, 'b'), true},
        {"1025 bytes in parts of 200", pathOf(5, 200) + "/" + std::string(20, 'b'), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(soundNameProblem(c.text).empty(), c.accepted) << c.what;
}

TEST(TextChecks, ShownTexts) {
    const Case cases[] = {
        {"empty", "", true},
        {"lines", "上课\n下课", true},
        {"1024 bytes", std::string(1024, 'x'), true},
        {"1025 bytes", std::string(1025, 'x'), false},
        {"carriage return", "上课\r\n", false},
        {"escape", "\x1b]0;x\x07", false},
        {"cut off character", "\xE4\xB8", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isShownText(c.text), c.accepted) << c.what;
    EXPECT_TRUE(isShownText(std::string(10, 'x'), 10));
    EXPECT_FALSE(isShownText(std::string(11, 'x'), 10));
}

TEST(IdText, AsciiIdsThatTopicsAndBrokerUsersCanHold) {
    const Case cases[] = {
        {"letters", "jxl", true},
        {"digits first", "3building", true},
        {"dash and underscore", "lab-2_east", true},
        {"32 characters", std::string(32, 'a'), true},
        {"empty", "", false},
        {"33 characters", std::string(33, 'a'), false},
        {"dash first", "-lab", false},
        {"underscore first", "_lab", false},
        {"topic level", "lab/x", false},
        {"wildcard", "#", false},
        {"single-level wildcard", "lab+", false},
        {"space", "lab 2", false},
        {"Chinese", "教学楼", false},
        {"dot", "lab.x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isValidId(c.text), c.accepted) << c.what;
}

} // namespace halvix
