#include "editing/CsvFile.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <string>

namespace halvix {

using test::TempFolder;

TEST(CsvFile, SplitsAtEveryComma) {
    struct Case {
        std::string line;
        TextList cells;
    } cases[] = {
        {"a,b,c", {"a", "b", "c"}},
        {"a,,b", {"a", "", "b"}},
        {"a,b,", {"a", "b", ""}},
        {"abc", {"abc"}},
        {",", {"", ""}},
        {"", {}},
        {" a , \"b,c\"", {" a ", " \"b", "c\""}}, // a quote after a blank is an ordinary character
        {"\"b,c\",d", {"b,c", "d"}},
        {"\"say \"\"hi\"\"\",", {"say \"hi\"", ""}},
        {"\"\",x", {"", "x"}},
        {"\"open,x", {"\"open", "x"}}, // never closed: ordinary characters
        {"\"a\"b,c", {"\"a\"b", "c"}}, // text after the closing quote: ordinary characters
        {"a\"b\",c", {"a\"b\"", "c"}},
    };
    TextList cells{"left over"};
    for (const auto& c : cases) {
        EXPECT_EQ(CsvFile::splitLine(c.line, cells), static_cast<int>(c.cells.size())) << c.line;
        EXPECT_EQ(cells, c.cells) << c.line;
    }
}

TEST(CsvFile, WritesEveryCellFollowedByACommaInCodePage936) {
    TempFolder folder;
    const CsvFile csv;
    const auto file = folder / "out.csv";

    ASSERT_TRUE(csv.writeFile(file, 7, {"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_EQ(test::readFile(file), "a,b,c,d,e,f,g,\r\n");

    ASSERT_TRUE(csv.writeFile(file, 3, {"时间", "星期一", "", "1", "待完", "x"}));
    EXPECT_EQ(test::readFile(file),
              "\xCA\xB1\xBC\xE4,\xD0\xC7\xC6\xDA\xD2\xBB,,\r\n1,\xB4\xFD\xCD\xEA,x,\r\n");

    ASSERT_TRUE(csv.writeFile(file, 7, {}));
    EXPECT_EQ(test::readFile(file), "");

    // A cell that would not read back as itself is quoted, and reads back as itself.
    const TextList awkward = {"第一节,上课", "say \"hi\"", "plain", "two\nlines"};
    ASSERT_TRUE(csv.writeFile(file, 4, awkward));
    EXPECT_EQ(test::readFile(file),
              "\"\xB5\xDA\xD2\xBB\xBD\xDA,\xC9\xCF\xBF\xCE\",\"say \"\"hi\"\"\",plain,\"two\nlines\",\r\n");
    ASSERT_TRUE(csv.writeFile(file, 3, {awkward[0], awkward[1], awkward[2]}));
    std::vector<TextList> lines;
    ASSERT_TRUE(csv.readLines(file, lines));
    EXPECT_EQ(lines, (std::vector<TextList>{{awkward[0], awkward[1], awkward[2], ""}}));
}

TEST(CsvFile, ReportsAFileItCannotWrite) {
    TempFolder folder;
    const CsvFile csv;
    EXPECT_FALSE(csv.writeFile(folder / "missing/out.csv", 7, {"a"}));
    EXPECT_FALSE(csv.writeFile(folder.path(), 7, {"a"}));
}

TEST(CsvFile, EveryLineIsOneRowAndOnlyTheTitlesAreATitleLine) {
    const TextList titles = {"日期", "时间"};
    struct Case {
        const char* what;
        std::string bytes;
        bool titled;
        std::vector<CsvRow> rows;
    } cases[] = {
        {"code page 936, CR LF",
         "\xC8\xD5\xC6\xDA,\xCA\xB1\xBC\xE4\r\n1,\xB4\xFD\xCD\xEA\r\n",
         true,
         {{2, {"1", "待完"}}}},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF日期,时间,\r\n1,待完\r\n", true, {{2, {"1", "待完"}}}},
        {"UTF-8 without byte-order mark, LF, blanks around titles",
         " 日期 ,时间\n1,待完\n",
         true,
         {{2, {"1", "待完"}}}},
        {"blank lines skipped, short and long lines kept with their numbers",
         "\n日期,时间\n\n1,2\n \t,\nlonely\n3,4,5,6\n",
         true,
         {{4, {"1", "2"}}, {6, {"lonely"}}, {7, {"3", "4", "5", "6"}}}},
        {"a first line that is not the titles is a row",
         "2027.10.01,08:00\r\n1,2\r\n",
         false,
         {{1, {"2027.10.01", "08:00"}}, {2, {"1", "2"}}}},
        {"other titles are a row", "日期,时刻\n", false, {{1, {"日期", "时刻"}}}},
        {"titles further down are a row",
         "1,2\n日期,时间\n",
         false,
         {{1, {"1", "2"}}, {2, {"日期", "时间"}}}},
        {"last line without a line end keeps its last character", "日期,时间\n1,2", true, {{2, {"1", "2"}}}},
        {"a title line alone", "日期,时间,\r\n", true, {}},
        {"blank lines only", "\r\n  \r\n\n", false, {}},
        {"empty file", "", false, {}},
        {"broken bytes keep their row and its separators",
         "\xC8\xD5\xC6\xDA,\xCA\xB1\xBC\xE4\r\n\x81,\xB4\xFD\xCD\xEA\xFF\r\n",
         true,
         {{2, {"\xEF\xBF\xBD", "待完\xEF\xBF\xBD"}}}},
        {"a lone CR stays in its cell", "x\ry,z\r\n", false, {{1, {"x\ry", "z"}}}},
    };
    TempFolder folder;
    const CsvFile csv;
    for (const auto& c : cases) {
        const auto table = csv.readTable(folder.write("in.csv", c.bytes), titles);
        ASSERT_TRUE(table) << c.what;
        EXPECT_EQ(table->titled, c.titled) << c.what;
        EXPECT_EQ(table->rows, c.rows) << c.what;
    }
    EXPECT_FALSE(csv.readTable(folder / "absent.csv", titles));
}

TEST(CsvFile, ReadsLongLinesWhole) {
    TempFolder folder;
    const std::string longCell(10'000, 'x');
    const std::string longChinese = [] {
        std::string s;
        for (int i = 0; i < 5'000; ++i)
            s += "\xB4\xFD"; // 待
        return s;
    }();
    std::vector<TextList> lines;
    ASSERT_TRUE(CsvFile().readLines(
        folder.write("long.csv", "a,b\r\n" + longCell + ",y\r\n1," + longChinese + "\r\n"), lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], (TextList{longCell, "y"}));
    EXPECT_EQ(lines[2][1].size(), 15'000u); // 5,000 characters of three UTF-8 bytes
}

TEST(CsvFile, LeavesTheLinesAloneWhenTheFileCannotBeRead) {
    TempFolder folder;
    std::vector<TextList> lines{{"kept"}};
    EXPECT_FALSE(CsvFile().readLines(folder / "absent.csv", lines));
    EXPECT_EQ(lines, std::vector<TextList>{{"kept"}});
}

} // namespace halvix
