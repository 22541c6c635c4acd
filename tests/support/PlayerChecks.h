#pragma once

// What every sound player must do, checked the same way for each: its tones, the files none can
// play, and close.
#include "support/SoundRecorder.h"
#include "support/TempFolder.h"
#include "support/Tones.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace halvix::test {

// The formats a bell may come in.
inline constexpr const char* kToneFormats[] = {"wav", "mp3", "wma"};

// 上课.wav, .mp3 and .wma in a Chinese folder: paths reach the players as UTF-8.
class ToneFolder {
public:
    // The extension whose tone could not be made, or nullptr.
    const char* make() const {
        std::filesystem::create_directories(m_tones);
        for (const char* extension : kToneFormats)
            if (!makeTone(tone(extension), kToneSeconds))
                return extension;
        return nullptr;
    }
    std::string tone(const std::string& extension) const {
        return (m_tones / ("上课." + extension)).string();
    }

    TempFolder folder;

private:
    std::filesystem::path m_tones = folder / "铃声";
};

// A file no player can play: a row label, its name and its bytes (the missing one is not made).
struct UnplayableFile {
    const char* label;
    QString name;
    QByteArray bytes;
};

inline std::vector<UnplayableFile> unplayableFiles(const ToneFolder& tones) {
    return {
        {"missing", "不存在.mp3", QByteArray()},
        {"empty", "空.wav", QByteArray("")},
        {"not audio", "说明.mp3", QByteArray("这不是声音文件\n").repeated(200)},
        {"only a header", "截断.wav", QByteArray::fromStdString(readFile(tones.tone("wav")).substr(0, 44))}};
}

// The path of the unplayable file `name`, made with `bytes` unless it is the missing one.
inline std::string unplayablePath(const ToneFolder& tones, const QString& name, const QByteArray& bytes) {
    if (name == "不存在.mp3")
        return (tones.folder / name.toStdString()).string();
    return tones.folder.write(name.toStdString(), bytes.toStdString()).string();
}

// The start of a player test: skipped without a sound server, else the tones are made.
inline void startPlayerTest(const ToneFolder& tones) {
    if (!run("pactl", {"info"}))
        QSKIP("no sound server answers");
    const char* failed = tones.make();
    QVERIFY2(!failed, failed);
}

// `player`, silent so far, plays `path`: it reports the file's length once (within 50 ms), and the
// recorder then holds the tone and half a second more from `before`, its sample count at the start.
template <typename Player>
void expectPlaysWithItsLength(Player& player, const QSignalSpy& lengths, SoundRecorder& recorder,
                              const std::string& path, qsizetype& before) {
    const double expectedMs = fileMs(path);
    QVERIFY(expectedMs > 0);
    before = recorder.sampleCount();
    QCOMPARE(recorder.rms(before - kRate / 20, before), 0.0);
    QCOMPARE(player.lengthMs(), 0);
    player.playPath(path);

    QTRY_COMPARE(lengths.count(), 1);
    QVERIFY2(std::abs(double(player.lengthMs()) - expectedMs) <= 50.0,
             qPrintable(QString("reported %1 ms, file %2 ms").arg(player.lengthMs()).arg(expectedMs)));
    QCOMPARE(lengths.first().first().toLongLong(), player.lengthMs());
    QTRY_VERIFY_WITH_TIMEOUT(recorder.sampleCount() >= before + qsizetype(kToneSeconds * kRate) + kRate / 2,
                             10000);
}

// `player` fails once on `path`, naming it, and reports no length; the player plays the next file.
template <typename Player>
void expectFailureThenPlays(Player& player, const std::string& path, const ToneFolder& tones) {
    QSignalSpy failures(&player, &Player::failed);
    QSignalSpy lengths(&player, &Player::lengthKnown);
    player.playPath(path);
    QTRY_COMPARE(failures.count(), 1);
    QVERIFY(failures.first().at(2).toString().contains(QString::fromStdString(path)));
    QTest::qWait(300);
    QCOMPARE(failures.count(), 1);
    QCOMPARE(lengths.count(), 0);
    QCOMPARE(player.lengthMs(), 0);

    // The player stays usable after a failure.
    player.playPath(tones.tone("wav"));
    QTRY_COMPARE(lengths.count(), 1);
    QCOMPARE(failures.count(), 1);
}

// Sound first, then silence soon after close.
template <typename Player> void expectCloseStopsTheSound(const ToneFolder& tones) {
    SoundRecorder recorder;
    QVERIFY(recorder.waitUntilRecording());
    Player player;
    player.playPath(tones.tone("wav"));
    const qsizetype start = recorder.sampleCount();
    QTRY_VERIFY(recorder.sampleCount() > start + kRate / 10 &&
                recorder.rms(recorder.sampleCount() - kRate / 20, recorder.sampleCount()) > kAudibleRms);
    player.close();
    QCOMPARE(player.lengthMs(), 0);
    QVERIFY(!player.isPlaying());
    QTest::qWait(400);
    const qsizetype closed = recorder.sampleCount();
    QTest::qWait(300);
    QCOMPARE(recorder.rms(closed, recorder.sampleCount()), 0.0);
}

} // namespace halvix::test
