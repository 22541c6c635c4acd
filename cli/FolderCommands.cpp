#include "cli/FolderCommands.h"

#include "cli/DayReport.h"
#include "cli/TableTransfer.h"
#include "common/PathText.h"
#include "editing/CsvFile.h"
#include "editing/TextCodec.h"
#include "emergency/EmergencyFile.h"
#include "ringlog/RingLog.h"
#include "ringlog/SoundCheck.h"
#include "store/DatabaseFailure.h"
#include "store/ScheduleDatabase.h"
#include "store/TableCatalogue.h"

#include <ostream>

namespace halvix {

namespace {

// Failures the store reports, as lines on the error stream.
class StreamSink final : public MessageSink {
public:
    explicit StreamSink(std::ostream& err) : m_err(err) {}
    void show(const UserMessage& message) override { m_err << message.text << '\n'; }

private:
    std::ostream& m_err;
};

bool databaseThere(const std::filesystem::path& folder, std::ostream& err) {
    SilentSink quiet;
    if (!ScheduleDatabase(folder, quiet).databaseMissing())
        return true;
    err << missingDatabaseText(folder, MissingDatabase::NotFound) << '\n';
    return false;
}

// The date's report; false (with the reasons on `err`) when the plan cannot be read.
bool loadReport(const std::filesystem::path& folder, const CivilDate& date, DayReport& report,
                std::ostream& err) {
    if (!databaseThere(folder, err))
        return false;
    report = reportDay(folder, date);
    if (report.result != LoadResult::Failed)
        return true;
    for (const UserMessage& notice : report.notices)
        err << notice.text << '\n';
    return false;
}

int plan(const std::filesystem::path& folder, const CivilDate& date, std::ostream& out, std::ostream& err) {
    DayReport report;
    if (!loadReport(folder, date, report, err))
        return kExitBadUsage;
    out << report.decisionLine() << '\n';
    for (const std::string& line : report.rowLines())
        out << line << '\n';
    return kExitOk;
}

// The line of `check` that says no sound can come out; false when it can.
bool noSoundOutput(const SoundOutputCheck& soundOutput, std::ostream& out) {
    const std::string problem = soundOutput ? soundOutput() : std::string();
    if (!problem.empty())
        out << "声音输出: " << problem << '\n';
    return !problem.empty();
}

int check(const std::filesystem::path& folder, const CivilDate& date, const SoundOutputCheck& soundOutput,
          std::ostream& out, std::ostream& err) {
    DayReport report;
    if (!loadReport(folder, date, report, err))
        return kExitBadUsage;
    if (report.decision.silent) {
        out << report.decisionLine() << ": 不响铃, 无需检查\n";
        return noSoundOutput(soundOutput, out) ? kExitProblems : kExitOk;
    }
    int problems = 0;
    for (int row = 0; row < report.plan.size(); ++row) {
        const std::string& sound = report.plan[row].sound;
        if (const auto problem = checkSound(folder, sound)) {
            out << report.plan[row].time << '\t' << report.plan[row].event << '\t' << sound << '\t'
                << problem->result << ": " << problem->reason << '\n';
            ++problems;
        }
    }
    if (noSoundOutput(soundOutput, out))
        ++problems;
    if (problems > 0)
        return kExitProblems;
    out << "声音检查通过: " << (report.result == LoadResult::Loaded ? report.plan.size() : 0) << "项\n";
    return kExitOk;
}

int log(const std::filesystem::path& folder, const Command& command, std::ostream& out, std::ostream& err) {
    const auto file = folder / kRingLogFile;
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        err << "没有响铃记录: " << pathToUtf8(file) << " 不存在\n";
        return kExitBadUsage;
    }
    RingLog log(file);
    const auto rows = log.open()
                          ? log.rowsSince(command.date ? dateText(*command.date) : std::string("0000-00-00"))
                          : std::nullopt;
    if (!rows) {
        err << "响铃记录无法读取: " << log.lastError() << '\n';
        return kExitBadUsage;
    }
    // Tab-separated rows for scripts; with --csv the columns of the 导出 file, titles first, a
    // cell with a comma or a quote quoted so that spreadsheets keep it whole, in the spreadsheet's
    // code page as every CSV file of the program.
    std::string text;
    const auto line = [&](const TextList& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0)
                text += command.csv ? ',' : '\t';
            text += command.csv ? CsvFile::quoteCell(cells[c]) : cells[c];
        }
        text += '\n';
    };
    if (command.csv)
        line(ringLogColumns());
    for (const RingRow& row : *rows)
        if (command.node.empty() || row.node == command.node)
            line(ringRowCells(row));
    out << (command.csv ? spreadsheetText(text) : text);
    return kExitOk;
}

int transfer(const Command& command, const std::filesystem::path& folder, std::ostream& out,
             std::ostream& err) {
    if (!isTransferTable(command.table)) {
        err << "未知的表: \"" << command.table << "\"; 可用的表:";
        for (const std::string& name : transferTableNames())
            err << ' ' << name;
        err << '\n';
        return kExitBadUsage;
    }
    StreamSink sink(err);
    std::string error;
    const auto file = pathFromUtf8(command.file);
    if (command.kind == CommandKind::Export) {
        if (!exportTable(folder, command.table, file, sink, error)) {
            err << error << '\n';
            return kExitBadUsage;
        }
        out << "已导出 " << command.table << " 到 " << command.file << '\n';
        return kExitOk;
    }
    int rows = 0;
    const ImportRows allowed = command.emptyAllowed ? ImportRows::MayBeNone : ImportRows::AtLeastOne;
    if (!importTable(folder, command.table, file, allowed, sink, error, rows)) {
        err << error << "\n表 " << command.table << " 未改变\n";
        return kExitBadUsage;
    }
    out << "已导入 " << command.table << ": " << rows << "行\n";
    return kExitOk;
}

} // namespace

int runEmergencyCommand(const Command& command, const std::filesystem::path& folder, std::int64_t nowMs,
                        std::ostream& out, std::ostream& err) {
    std::string problem;
    const EmergencyState stored = loadEmergency(folder, problem);
    if (!problem.empty() && (command.sound.empty() && !command.clear)) {
        err << problem << "\n";
        return kExitBadUsage;
    }
    if (command.sound.empty() && !command.clear) {
        out << emergencyLine(stored) << "\n";
        return kExitOk;
    }
    if (command.clear && !stored.active) {
        out << "没有紧急广播\n";
        return kExitOk;
    }
    if (!command.clear) {
        if (const auto missing = checkSound(folder, command.sound)) {
            err << command.sound << ": " << missing->reason << "\n";
            return kExitBadUsage;
        }
    }
    const EmergencyState wanted =
        command.clear ? EmergencyState{false, {}, {}, nowMs, kCommandLineEmergencyBy}
                      : EmergencyState{true, command.sound, command.zones, nowMs, kCommandLineEmergencyBy};
    if (!saveEmergency(folder, wanted, problem)) {
        err << problem << "\n";
        return kExitBadUsage;
    }
    out << (command.clear ? std::string("已解除紧急广播")
                          : emergencyLine(wanted) + "\n程序未运行: 它启动时即开始紧急广播")
        << "\n";
    return kExitOk;
}

int runFolderCommand(const Command& command, const std::filesystem::path& folder, const CivilDate& today,
                     std::ostream& out, std::ostream& err, const SoundOutputCheck& soundOutput) {
    switch (command.kind) {
    case CommandKind::Plan:
        return plan(folder, command.date.value_or(today), out, err);
    case CommandKind::Check:
        return check(folder, command.date.value_or(today), soundOutput, out, err);
    case CommandKind::Log:
        return log(folder, command, out, err);
    case CommandKind::Export:
    case CommandKind::Import:
        return transfer(command, folder, out, err);
    default:
        err << "此命令需要运行中的程序\n";
        return kExitBadUsage;
    }
}

} // namespace halvix
