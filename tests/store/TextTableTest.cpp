#include "store/TextTable.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

TEST(TextTable, DeleteQuestionNamesTheRowByItsFirstFourColumns) {
    TextTable list;
    list.fill({"序号", "日期", "时间", "事件", "声音"}, {"1", "", "07:55", "预备铃", "a.mp3", //
                                                         "2", "6月7日", "08:00:30", "上课铃", "b.mp3"});
    list.appendRow({"3", "", "09:00"}); // shorter than the titles
    const struct {
        int row;
        const char* question;
        std::string expected;
    } cases[] = {
        {0, "\n\n是否删除?", "1  07:55 预备铃\n\n是否删除?"},
        {1, "\n\n是否删除?", "2 6月7日 08:00:30 上课铃\n\n是否删除?"},
        {2, "?", "3  09:00 ?"},
        {-1, "\n\n是否删除?\n\n 注:只删除,不保存!", "   \n\n是否删除?\n\n 注:只删除,不保存!"},
        {3, "?", "   ?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(deleteQuestion(list, c.row, c.question), c.expected) << c.row;
}

} // namespace
} // namespace halvix
