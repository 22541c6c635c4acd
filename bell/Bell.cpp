#include "bell/Bell.h"

#include "audio/MemoryPlayer.h"
#include "audio/StreamPlayer.h"
#include "bell/BellEngine.h"
#include "bell/Playback.h"
#include "time/LocalTime.h"

#include <utility>

namespace halvix {

Bell::Bell(std::filesystem::path programFolder, const Clock& clock, QObject* parent)
    : QObject(parent), m_programFolder(std::move(programFolder)), m_clock(clock), m_source(m_programFolder),
      m_singlePlayer(std::make_unique<MemoryPlayer>()), m_trackPlayer(std::make_unique<StreamPlayer>()),
      m_playback(std::make_unique<Playback>(*m_singlePlayer, *m_trackPlayer, m_programFolder)),
      m_engine(std::make_unique<BellEngine>(m_plan, static_cast<PlanView&>(*this), m_source, *m_playback,
                                            m_nextEntryCountdown)) {
    connectPlayers();
}

Bell::~Bell() = default;

void Bell::connectPlayers() {
    connect(m_trackPlayer.get(), &StreamPlayer::lengthKnown, this,
            [this](qint64 ms) { m_playback->onTrackLength(ms); });
    // An unplayable track has no length: the playlist moves on to the next one.
    connect(m_trackPlayer.get(), &StreamPlayer::failed, this, [this] { m_playback->onTrackLength(0); });
}

LoadResult Bell::reloadPlan() {
    m_source.reportNextFailure();
    const LoadResult result = m_engine->reloadPlan(m_clock.now());
    announceDecision();
    return result;
}

void Bell::ringNow(const std::string& sound) {
    m_playback->startSound(sound);
}

void Bell::stopPlaying() {
    m_playback->clearPlaylist();
    m_singlePlayer->close();
    m_trackPlayer->close();
}

QString Bell::todayText() const {
    return QString::fromStdString(todayLine(m_source.decision()));
}

void Bell::announceDecision() {
    if (m_source.decision() == m_announced)
        return;
    m_announced = m_source.decision();
    emit decisionChanged(todayText());
}

void Bell::onTick(const LocalTime& now) {
    m_engine->onTick(now);
    for (const UserMessage& notice : m_source.takeNotices())
        emit unattendedNotice(QString::fromStdString(notice.text));
    announceDecision();
    emit ticked();
}

void Bell::statusChanged(int row) {
    if (m_view)
        m_view->statusChanged(row);
}

void Bell::showArmedRow(int row) {
    if (m_view)
        m_view->showArmedRow(row);
}

void Bell::advanceSelection(int row) {
    if (m_view)
        m_view->advanceSelection(row);
}

void Bell::planReplaced() {
    if (m_view)
        m_view->planReplaced();
}

} // namespace halvix
