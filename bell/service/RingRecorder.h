#pragma once

#include "bell/RingOutcome.h"
#include "ringlog/RingLog.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>

namespace halvix {

class BellEngine;
class Clock;
struct LocalTime;

// Keeps what became of every entry and action in the ring log, as the bell tells it: each outcome
// is a row, stamped when it happened. Whoever follows the bell (the list, the tray, the campus, the
// service's output) follows the rows it announces.
class RingRecorder final : public QObject, public OutcomeObserver {
    Q_OBJECT

public:
    RingRecorder(std::filesystem::path programFolder, const Clock& clock, QObject* parent = nullptr);
    ~RingRecorder() override;

    // What the log holds for today counts as dealt with: a start the same day (after a crash, say)
    // must not ring again what a run before rang or silenced. Read once, before the bell rings.
    void tellDealtWith(BellEngine& engine, const LocalTime& now);
    // Rows older than the log keeps go, once a date.
    void removeOldRows(const LocalTime& now);
    // The reason the log could not be written, once after a success; empty otherwise.
    std::string takeFailure() { return m_log->takeFailure(); }
    std::filesystem::path file() const { return m_log->file(); }
    RingLogWriter& log() { return *m_log; }

    // OutcomeObserver
    void outcome(const RingOutcome& outcome) override;
    void passedBeforeStart(const std::string& date, const std::vector<RingOutcome>& entries) override;

signals:
    // What became of an entry or an action, as the ring log holds it. Every row the bell logs passes
    // here, in order: the one place to follow what the bell did.
    void entryLogged(const halvix::RingRow& row);
    // A row of this bell's own is in the ring log's file for good (after entryLogged).
    void entryStored(const halvix::RingRow& row);

private:
    RingRow rowOf(const RingOutcome& outcome) const;

    const Clock& m_clock;
    long long m_cleanedDay = 0; // the date whose cleanup ran
    std::unique_ptr<RingLogWriter> m_log;
};

// "YYYY-MM-DD HH:MM:SS.mmm" of local wall-clock millisecond `ms`.
std::string stampOfMs(long long ms);

} // namespace halvix
