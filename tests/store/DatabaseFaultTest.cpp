// The database file goes wrong under the program: read-only, locked by another process for longer
// than the busy timeout, deleted, replaced by garbage, or out of room. Every read and write must
// fail with a Chinese message saying why (never an exception), and what is stored must stay
// exactly as it was.
#include "bell/DayPlanSelector.h"
#include "store/ScheduleDatabase.h"
#include "store/TextTable.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace halvix {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

// Wednesday 12 March 2025; with the school-week file "0" a Wednesday uses zccjtime.
const LocalTime kWednesday{2025, 3, 12, 7, 30, 0, 3};

const Rows kStoredPlan = {{"1", "星期三", "08:00", "上课", "上课.mp3", "待完", ""},
                          {"2", "星期三", "08:45", "下课", "下课.mp3", "待完", ""}};

bool hasText(const test::RecordingSink& sink, const std::string& part) {
    for (const auto& text : sink.texts())
        if (text.find(part) != std::string::npos)
            return true;
    return false;
}

std::string allTexts(const test::RecordingSink& sink) {
    std::string out;
    for (const auto& text : sink.texts())
        out += "[" + text + "] ";
    return out;
}

// Read-only for everyone: the mode for a plain user and, since root ignores the mode, the
// immutable flag as well when the tests run as root.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(fs::path file) : m_file(std::move(file)) {
        fs::permissions(m_file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        if (::geteuid() == 0)
            m_immutable = setImmutable(true);
    }
    // False for the superuser on a file system without the immutable flag: nothing stops writes.
    bool holds() const { return ::geteuid() != 0 || m_immutable; }
    ~ReadOnlyFile() {
        if (m_immutable)
            setImmutable(false);
        fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

private:
    bool setImmutable(bool on) const {
        const int fd = ::open(m_file.c_str(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    fs::path m_file;
    bool m_immutable = false;
};

// Another process that holds an exclusive transaction on the database until released (or until
// `holdMs` has passed, when given).
class LockingProcess {
public:
    explicit LockingProcess(const fs::path& database, int holdMs = -1) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            sqlite3* db = nullptr;
            sqlite3_open(database.c_str(), &db);
            const bool locked = sqlite3_exec(db, "begin exclusive", nullptr, nullptr, nullptr) == SQLITE_OK;
            const char byte = locked ? '1' : '0';
            [[maybe_unused]] auto written = ::write(ready[1], &byte, 1);
            if (holdMs >= 0) {
                ::usleep(static_cast<useconds_t>(holdMs) * 1000);
            } else {
                char ignored;
                [[maybe_unused]] auto got = ::read(release[0], &ignored, 1); // returns when released
            }
            sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char byte = '0';
        m_locked = ::read(ready[0], &byte, 1) == 1 && byte == '1';
        ::close(ready[0]);
    }
    ~LockingProcess() { release(); }
    LockingProcess(const LockingProcess&) = delete;
    LockingProcess& operator=(const LockingProcess&) = delete;

    bool locked() const { return m_locked; }
    void release() {
        if (m_release >= 0)
            ::close(m_release);
        m_release = -1;
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

enum class Fault { ReadOnly, Locked, Deleted, Garbage };

struct FaultCase {
    const char* name;
    Fault fault;
    int dayTypeRead;         // what readDayType returns (the stored value is 2)
    bool readQuietly;        // reading the day type shows nothing
    bool planLoads;          // loadDayPlan still reads today's plan
    const char* explanation; // part of the Chinese message of a failed write
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class DatabaseFault : public testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        fx.writeWeekFile("0");
        fx.run("delete from lxtime; insert into lxtime values ('2');");
        fx.insertPlan("zccjtime", kStoredPlan);
        stored = test::readFile(fx.database());
    }

    // Injects the fault for the lifetime of the returned guard (if any).
    std::shared_ptr<void> inject(Fault fault) {
        switch (fault) {
        case Fault::ReadOnly: {
            auto readOnly = std::make_shared<ReadOnlyFile>(fx.database());
            injected = readOnly->holds();
            return readOnly;
        }
        case Fault::Locked: {
            auto lock = std::make_shared<LockingProcess>(fx.database());
            EXPECT_TRUE(lock->locked());
            return lock;
        }
        case Fault::Deleted:
            fs::remove(fx.database());
            return nullptr;
        case Fault::Garbage:
            fx.temp().write("jbase.mdb", garbage());
            return nullptr;
        }
        return nullptr;
    }

    static std::string garbage() {
        std::string bytes;
        while (bytes.size() < 16384)
            bytes += "这不是一个数据库文件, 只是一些文字。0123456789\n";
        return bytes;
    }

    test::ScheduleFixture fx;
    std::string stored;
    bool injected = true;
};

TEST_P(DatabaseFault, EveryOperationFailsWithAChineseReasonAndNothingStoredChanges) {
    const FaultCase& c = GetParam();
    const std::string before = c.fault == Fault::Garbage ? garbage() : stored;
    {
        const auto guard = inject(c.fault);
        if (!injected)
            GTEST_SKIP() << "cannot make the file read-only for the superuser here";

        test::RecordingSink readSink;
        EXPECT_EQ(readDayType(fx.folder(), readSink), c.dayTypeRead);
        EXPECT_EQ(readSink.messages.empty(), c.readQuietly) << allTexts(readSink);

        test::RecordingSink writeSink;
        EXPECT_FALSE(writeDayType(fx.folder(), 1, writeSink));
        EXPECT_TRUE(hasText(writeSink, c.explanation)) << allTexts(writeSink);
        EXPECT_TRUE(writeSink.saw("数据保存失败!")) << allTexts(writeSink);

        // The plan the bell has is kept when today's cannot be read.
        TextTable plan;
        plan.fill({"序号", "日期", "时间", "事件", "声音", "状态", "备注"},
                  {"1", "昨天", "09:00", "旧的", "旧.mp3", "待完", ""});
        test::RecordingSink loadSink;
        EXPECT_EQ(loadDayPlan(fx.folder(), kDailyDay, kSpring, kWednesday, plan, loadSink), c.planLoads)
            << allTexts(loadSink);
        EXPECT_EQ(plan.cell(0, 3), c.planLoads ? "上课" : "旧的");
        if (!c.planLoads) {
            EXPECT_FALSE(loadSink.messages.empty()) << "a plan that cannot be read is reported";
        }

        test::RecordingSink saveSink;
        ScheduleDatabase db(fx.folder(), saveSink);
        db.open();
        EXPECT_FALSE(db.replaceRows("zccjtime", 7, {"1", "", "09:00", "新的", "新.mp3", "待完", ""}));
        db.close();
        EXPECT_TRUE(saveSink.saw("数据保存失败!")) << allTexts(saveSink);

        if (c.fault == Fault::Deleted) {
            EXPECT_FALSE(fs::exists(fx.database())) << "a deleted database is never made anew, empty";
            return;
        }
    }
    EXPECT_EQ(test::readFile(fx.database()), before) << "the file is byte for byte as it was";
    if (c.fault != Fault::Garbage) {
        EXPECT_EQ(fx.rows("select * from zccjtime"), kStoredPlan);
        EXPECT_EQ(fx.rows("select * from lxtime"), (Rows{{"2"}}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DatabaseFault,
    testing::Values(FaultCase{"ReadOnly", Fault::ReadOnly, 2, true, true, "只读"},
                    FaultCase{"LockedByAnotherProcess", Fault::Locked, 1, false, false, "占用"},
                    FaultCase{"Deleted", Fault::Deleted, 1, true, false, "找不到"},
                    FaultCase{"ReplacedByGarbage", Fault::Garbage, 1, false, false, "不是数据库"}),
    [](const testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

TEST(DatabaseLock, AShortLockIsWaitedFor) {
    test::ScheduleFixture fx;
    LockingProcess lock(fx.database(), 1000);
    ASSERT_TRUE(lock.locked());
    test::RecordingSink sink;
    EXPECT_TRUE(writeDayType(fx.folder(), 2, sink)) << allTexts(sink);
    EXPECT_TRUE(sink.messages.empty());
    lock.release();
    EXPECT_EQ(fx.rows("select * from lxtime"), (Rows{{"2"}}));
}

TEST(DatabaseFull, ARewriteThatDoesNotFitKeepsTheOldRows) {
    test::ScheduleFixture fx;
    fx.insertPlan("cjtime", kStoredPlan);
    TextList many;
    for (int i = 0; i < 5000; ++i)
        for (const std::string& cell : {std::to_string(i + 1), std::string("星期一"), std::string("08:00"),
                                        std::string("一段很长的事件说明, 让每一行都占不少地方"),
                                        std::string("上课.mp3"), std::string("待完"), std::string("")})
            many.push_back(cell);

    test::RecordingSink sink;
    ScheduleDatabase db(fx.folder(), sink);
    db.open();
    // The file may not grow: the disk is full as far as this connection can tell.
    const auto pages = fx.rows("pragma page_count");
    ASSERT_TRUE(db.execute("pragma max_page_count = " + pages.at(0).at(0)));
    EXPECT_FALSE(db.replaceRows("cjtime", 7, many));
    db.close();

    EXPECT_TRUE(hasText(sink, "磁盘已满")) << allTexts(sink);
    EXPECT_TRUE(sink.saw("数据保存失败!"));
    EXPECT_EQ(fx.rows("pragma integrity_check"), (Rows{{"ok"}}));
    EXPECT_EQ(fx.rows("select * from cjtime"), kStoredPlan);
}

} // namespace
} // namespace halvix
