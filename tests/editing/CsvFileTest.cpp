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
        {" a , \"b,c\"", {" a ", " \"b", "c\""}}, // no quoting: blanks and quotes stay
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
}

TEST(CsvFile, ReportsAFileItCannotWrite) {
    TempFolder folder;
    const CsvFile csv;
    EXPECT_FALSE(csv.writeFile(folder / "missing/out.csv", 7, {"a"}));
    EXPECT_FALSE(csv.writeFile(folder.path(), 7, {"a"}));
}

TEST(CsvFile, ReadsTitlesAndRowsInAnyEncodingItAccepts) {
    struct Case {
        const char* what;
        std::string bytes;
        TextList titles;
        TextList cells;
    } cases[] = {
        {"code page 936, CR LF",
         "\xC8\xD5\xC6\xDA,\xCA\xB1\xBC\xE4\r\n1,\xB4\xFD\xCD\xEA\r\n",
         {"日期", "时间"},
         {"1", "待完"}},
        {"UTF-8 with byte-order mark",
         "\xEF\xBB\xBF日期,时间\r\n1,待完\r\n",
         {"日期", "时间"},
         {"1", "待完"}},
        {"UTF-8 without byte-order mark, LF", "日期,时间\n1,待完\n", {"日期", "时间"}, {"1", "待完"}},
        {"lines with fewer than two cells skipped",
         "a,b\n\n1,2\nlonely\n3,\n",
         {"a", "b"},
         {"1", "2", "3", ""}},
        {"last line without a line end keeps its last character", "a,b\n1,2", {"a", "b"}, {"1", "2"}},
        {"a title line alone", "a,b,\r\n", {"a", "b", ""}, {}},
        {"an empty first line gives no titles", "\r\n1,2\r\n", {}, {"1", "2"}},
        {"a single title", "only\n1,2\n", {"only"}, {"1", "2"}},
        {"broken bytes keep their row and its separators",
         "a,b\r\n\x81,\xB4\xFD\xCD\xEA\xFF\r\n",
         {"a", "b"},
         {"\xEF\xBF\xBD", "待完\xEF\xBF\xBD"}},
        {"a lone CR stays in its cell", "a,b\r\nx\ry,z\r\n", {"a", "b"}, {"x\ry", "z"}},
        {"empty file", "", {}, {}},
    };
    TempFolder folder;
    const CsvFile csv;
    for (const auto& c : cases) {
        TextList titles;
        TextList cells;
        ASSERT_TRUE(csv.readFile(folder.write("in.csv", c.bytes), titles, cells)) << c.what;
        EXPECT_EQ(titles, c.titles) << c.what;
        EXPECT_EQ(cells, c.cells) << c.what;
    }
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
    TextList titles;
    TextList cells;
    ASSERT_TRUE(CsvFile().readFile(
        folder.write("long.csv", "a,b\r\n" + longCell + ",y\r\n1," + longChinese + "\r\n"), titles, cells));
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[0], longCell);
    EXPECT_EQ(cells[1], "y");
    EXPECT_EQ(cells[3].size(), 15'000u); // 5,000 characters of three UTF-8 bytes
}

TEST(CsvFile, LeavesTheListsAloneWhenTheFileCannotBeRead) {
    TempFolder folder;
    TextList titles{"kept"};
    TextList cells{"kept"};
    EXPECT_FALSE(CsvFile().readFile(folder / "absent.csv", titles, cells));
    EXPECT_EQ(titles, TextList{"kept"});
    EXPECT_EQ(cells, TextList{"kept"});
}

} // namespace halvix
