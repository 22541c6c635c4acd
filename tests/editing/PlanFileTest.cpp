// Plan rows from a file's lines: each line one row of seven cells, checked before anything is taken.
#include "editing/PlanFile.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

TEST(PlanFile, EveryRowIsCheckedAndTheFirstBadOneIsNamedByItsLine) {
    const std::string form = "应有7列 (序号,日期,时间,事件,声音,状态,备注), 此行有";
    const struct {
        std::vector<CsvRow> rows;
        std::string error; // empty: the rows read
        TextList cells;
    } cases[] = {
        {{}, "", {}},
        // numbers renewed; the empty cell after a final comma is no column
        {{{2, {"9", "", "08:00", "上课", "上课.mp3", "待完", "", ""}},
          {5, {"3", "", "23:59:30", "x", "y.mp3", "完成", "n"}}},
         "",
         {"1", "", "08:00", "上课", "上课.mp3", "待完", "", "2", "", "23:59:30", "x", "y.mp3", "完成", "n"}},
        // a comma in 事件 or 备注 would shift the later cells: the line is refused, not guessed at
        {{{1, {"1", "", "08:00", "第一节", "上课", "上课.mp3", "待完", "", ""}}},
         "第1行: " + form + "9列",
         {}},
        {{{3, {"1", "", "08:00", "操", "voic\\课间操", "待完", "广播体操", "播放文件夹"}}},
         "第3行: " + form + "8列",
         {}},
        {{{2, {"1", "", "08:00", "上课", "上课.mp3", "待完"}}}, "第2行: " + form + "6列", {}},
        {{{7, {"只有一格"}}}, "第7行: " + form + "1列", {}},
        // a spreadsheet's one-digit hour is stored with its leading zero, so the day's order holds
        {{{2, {"1", "", "8:45", "a", "b.mp3", "待完", ""}},
          {4, {"1", "", "8:45:00", "a", "b.mp3", "待完", ""}},
          {5, {"1", "", "10:00", "a", "b.mp3", "待完", ""}}},
         "",
         {"1",     "",     "08:45", "a", "b.mp3", "待完",  "",  "2",     "",     "08:45:00", "a",
          "b.mp3", "待完", "",      "3", "",      "10:00", "a", "b.mp3", "待完", ""}},
        {{{2, {"1", "", "08:00", "a", "b.mp3", "待完", ""}}, {4, {"1", "", "8:5", "a", "b.mp3", "待完", ""}}},
         "第4行: 时间无效: \"8:5\" (应为 HH:MM 或 HH:MM:SS)",
         {}},
        {{{3, {"1", "", "8:60", "a", "b.mp3", "待完", ""}}}, "第3行: 时间无效: \"8:60\"", {}},
        {{{3, {"1", "", "25:00", "a", "b.mp3", "待完", ""}}}, "第3行: 时间无效: \"25:00\"", {}},
        {{{6, {"1", "", "", "a", "b.mp3", "待完", ""}}}, "第6行: 时间无效: \"\"", {}},
        {{{1, {"序号", "日期", "时间", "事件", "声音", "状态", "备注"}}},
         "第1行: 时间无效: \"时间\" (应为 HH:MM 或 HH:MM:SS)",
         {}},
        // a sound that leads out of voic is refused, not stored to ring nothing
        {{{2, {"1", "", "08:00", "a", "b.mp3", "待完", ""}},
          {3, {"2", "", "09:00", "a", "../outside", "待完", ""}}},
         "第3行: 声音 \"../outside\" 含有 \"..\", 只能是 voic 中的文件或文件夹",
         {}},
        {{{2, {"1", "", "08:00", "a", "/tmp/x.mp3", "待完", ""}}},
         "第2行: 声音 \"/tmp/x.mp3\" 是绝对路径, 只能是 voic 中的文件或文件夹",
         {}},
        {{{2, {"1", "", "08:00", "a", "午休", "待完", ""}}}, "第2行: 文件夹 \"午休\" 不在 voic 中", {}},
    };
    for (const auto& c : cases) {
        TextList cells{"untouched"};
        std::string error;
        const bool read = readPlanRows(c.rows, cells, error);
        EXPECT_EQ(read, c.error.empty()) << error;
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(cells, read ? c.cells : TextList{"untouched"});
    }
}

} // namespace
} // namespace halvix
