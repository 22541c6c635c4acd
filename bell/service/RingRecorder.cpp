#include "bell/service/RingRecorder.h"

#include "bell/BellEngine.h"
#include "time/CivilDate.h"
#include "time/ClockText.h"
#include "time/LocalTime.h"

#include <QMetaObject>

#include <cstdio>

namespace halvix {

std::string stampOfMs(long long ms) {
    const long long msPerDay = kSecondsPerDay * 1000LL;
    const long long day = ms / msPerDay - (ms % msPerDay < 0 ? 1 : 0);
    const long long inDay = ms - day * msPerDay;
    const CivilDate date = dateFromDayNumber(day);
    const long long second = inDay / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02lld:%02lld:%02lld.%03lld", date.year, date.month,
                  date.day, second / 3600, second / 60 % 60, second % 60, inDay % 1000);
    return text;
}

RingRecorder::RingRecorder(std::filesystem::path programFolder, const Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock),
      m_log(std::make_unique<RingLogWriter>(
          programFolder / kRingLogFile,
          [this](const RingRow& row) {
              // From the writer's thread to this one; dropped once the recorder is gone.
              QMetaObject::invokeMethod(
                  this, [this, row] { emit entryLogged(row); }, Qt::QueuedConnection);
          },
          [this](const RingRow& row) {
              QMetaObject::invokeMethod(
                  this, [this, row] { emit entryStored(row); }, Qt::QueuedConnection);
          })) {}

// Ends the writer (it writes what is queued) before the signals' target goes.
RingRecorder::~RingRecorder() {
    m_log.reset();
}

RingRow RingRecorder::rowOf(const RingOutcome& outcome) const {
    RingRow row;
    if (outcome.atMs != 0) {
        row.moment = stampOfMs(outcome.atMs);
    } else {
        const ClockReading reading = m_clock.read();
        row.moment = stampOfMs(wallSecond(reading.time) * 1000 + reading.millisecond);
    }
    row.planTime = outcome.planTime;
    row.event = outcome.event;
    row.sound = outcome.sound;
    row.result = resultWord(outcome.result);
    row.delayMs = outcome.delayMs;
    row.note = outcome.note;
    return row;
}

void RingRecorder::outcome(const RingOutcome& outcome) {
    m_log->append(rowOf(outcome));
}

void RingRecorder::passedBeforeStart(const std::string& date, const std::vector<RingOutcome>& entries) {
    std::vector<RingRow> rows;
    for (const RingOutcome& entry : entries)
        rows.push_back(rowOf(entry));
    // The log knows which of them a run before this one on the same date logged already.
    m_log->appendUnlogged(date, std::move(rows));
}

void RingRecorder::tellDealtWith(BellEngine& engine, const LocalTime& now) {
    RingLog log(m_log->file());
    const auto rows = log.rowsOn(dateText(dateOf(now)));
    if (!rows)
        return; // the writer reports a log it cannot use
    for (const RingRow& row : *rows)
        if (!row.planTime.empty() && row.result != resultWord(RingResult::CutOff))
            engine.recordDealtWith(dayNumber(now), row.planTime, row.sound);
}

void RingRecorder::removeOldRows(const LocalTime& now) {
    const long long today = dayNumber(now);
    if (today == m_cleanedDay)
        return;
    m_cleanedDay = today;
    m_log->removeOld(dateText(dateOf(now)));
}

} // namespace halvix
