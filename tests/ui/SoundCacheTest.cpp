// The decoded-sound cache on its own: which sounds it keeps, when it cancels a decoding, and what it
// hands out. No decoder and no sound server: results are handed in as the decoder would deliver them.
#include "audio/SoundCache.h"

#include <QtTest>

#include <map>

using namespace halvix;

namespace {

FileStamp stamp(qint64 size, int second) {
    return {size, QDateTime(QDate(2024, 9, 2), QTime(8, 0, second))};
}

DecodedSound decoded(qsizetype bytes) {
    return {DecodedSound::Outcome::Decoded, QByteArray(bytes, '\x11'), bytes * 1000 / 176400};
}

// A cache with its cancellations recorded, driven as the memory player drives it.
class Driver {
public:
    SoundCache cache{[this](quint64 job) { m_cancelled += m_paths.at(job); }};

    void prepare(const QString& path) {
        addUnlessHeld(path);
        QVERIFY(cache.markPrepared(path));
        cache.trim(m_awaited);
    }
    void await(const QString& path) {
        addUnlessHeld(path);
        m_awaited = path;
        cache.trim(m_awaited);
    }
    void stopWaiting() {
        m_awaited.clear();
        cache.trim(m_awaited);
    }
    // The awaited sound starts playing: its player holds the bytes from now on.
    void startPlaying() {
        m_awaited.clear();
        cache.trim(m_awaited, 1);
    }
    void finishDecoding() {
        for (const auto& [job, path] : m_paths)
            cache.store(job, decoded(1000));
    }
    // The paths held, in alphabetical order.
    QString held() {
        QString paths;
        for (const QString path : {"a", "b", "c", "d", "x"})
            if (cache.find(path, stamp(1, 0)))
                paths += path;
        return paths;
    }
    QString cancelled() const { return m_cancelled; }

private:
    void addUnlessHeld(const QString& path) {
        if (!cache.find(path, stamp(1, 0)))
            m_paths[cache.add(path, stamp(1, 0))] = path;
    }

    std::map<quint64, QString> m_paths;
    QString m_awaited;
    QString m_cancelled;
};

} // namespace

class SoundCacheTest : public QObject {
    Q_OBJECT

private slots:
    // Letters prepare that file; "+x" is a playback waiting for x, "!" its start, "-" its end; "="
    // finishes every decoding under way.
    void keepsTheLatestPreparedAndTheAwaited_data() {
        for (const char* column : {"steps", "held", "cancelled"})
            QTest::addColumn<QString>(column);
        const char* const rows[][4] = {
            {"two prepared", "a b", "ab", ""},
            {"a third drops the oldest", "a b c", "bc", "a"},
            {"preparing again makes it the latest", "a b a c", "ac", "b"},
            {"a decoded sound is dropped without cancelling", "a b = c", "bc", ""},
            {"the awaited sound stays beyond the bound", "a b +x", "abx", ""},
            {"an awaited sound outlives newer prepares", "a +x b c", "bcx", "a"},
            {"unprepared goes when nobody waits", "a b +x -", "ab", "x"},
            {"awaiting a prepared sound adds nothing", "a b +a -", "ab", ""},
            {"decoded, unprepared, not awaited", "a +x = -", "a", ""},
            {"a fired sound goes to its player, the armed one stays", "a b +a = !", "b", ""},
            {"an unprepared sound goes to its player", "a +x = !", "a", ""},
            {"the armed sound that plays stays for its next firing", "a +a = !", "a", ""},
        };
        for (const auto& [name, steps, held, cancelled] : rows)
            QTest::newRow(name) << QString(steps) << QString(held) << QString(cancelled);
    }

    void keepsTheLatestPreparedAndTheAwaited() {
        QFETCH(QString, steps);
        QFETCH(QString, held);
        QFETCH(QString, cancelled);
        Driver driver;
        for (const QString& step : steps.split(' ')) {
            if (step == "=")
                driver.finishDecoding();
            else if (step == "-")
                driver.stopWaiting();
            else if (step == "!")
                driver.startPlaying();
            else if (step.startsWith('+'))
                driver.await(step.mid(1));
            else
                driver.prepare(step);
        }
        QCOMPARE(driver.held(), held);
        QCOMPARE(driver.cancelled(), cancelled);
        QVERIFY(driver.cache.size() <= SoundCache::kPreparedKept + 1);
    }

    // A file replaced since its sound was decoded (other size or time) is not handed out: its entry
    // goes, and a decoding still under way for it is cancelled.
    void aReplacedFileIsNotHandedOut_data() {
        QTest::addColumn<FileStamp>("now");
        QTest::addColumn<bool>("decodedBefore");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("unchanged, decoding") << stamp(100, 0) << false << true << false;
        QTest::newRow("unchanged, decoded") << stamp(100, 0) << true << true << false;
        QTest::newRow("other size, decoding") << stamp(101, 0) << false << false << true;
        QTest::newRow("later time, decoding") << stamp(100, 1) << false << false << true;
        QTest::newRow("later time, decoded") << stamp(100, 1) << true << false << false;
    }

    void aReplacedFileIsNotHandedOut() {
        QFETCH(FileStamp, now);
        QFETCH(bool, decodedBefore);
        QFETCH(bool, found);
        QFETCH(bool, cancelled);
        std::vector<quint64> cancelledJobs;
        SoundCache cache([&](quint64 job) { cancelledJobs.push_back(job); });
        const quint64 job = cache.add("铃声/上课.mp3", stamp(100, 0));
        if (decodedBefore)
            QVERIFY(cache.store(job, decoded(4000)));

        QCOMPARE(cache.find("铃声/上课.mp3", now) != nullptr, found);
        QCOMPARE(cache.size(), std::size_t(found ? 1 : 0));
        QCOMPARE(cancelledJobs, cancelled ? std::vector<quint64>{job} : std::vector<quint64>{});
        // A result that comes after its entry went is not stored anywhere.
        if (!found)
            QVERIFY(!cache.store(job, decoded(4000)));
    }

    void handsOutWhatDecodingGave_data() {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("state");
        QTest::addColumn<qsizetype>("bytes");
        QTest::newRow("decoded") << int(DecodedSound::Outcome::Decoded) << int(SoundCache::State::Ready)
                                 << qsizetype(176400);
        QTest::newRow("too long") << int(DecodedSound::Outcome::TooLong) << int(SoundCache::State::TooLong)
                                  << qsizetype(0);
        QTest::newRow("unplayable") << int(DecodedSound::Outcome::Unplayable)
                                    << int(SoundCache::State::Unplayable) << qsizetype(0);
    }

    void handsOutWhatDecodingGave() {
        QFETCH(int, outcome);
        QFETCH(int, state);
        QFETCH(qsizetype, bytes);
        SoundCache cache(nullptr);
        const quint64 first = cache.add("a.wav", stamp(1, 0));
        const quint64 second = cache.add("b.wav", stamp(1, 0));
        QVERIFY(first != second);
        QCOMPARE(int(cache.find("a.wav", stamp(1, 0))->state), int(SoundCache::State::Decoding));

        DecodedSound result = decoded(bytes);
        result.outcome = DecodedSound::Outcome(outcome);
        const SoundCache::Entry* entry = cache.store(first, result);
        QVERIFY(entry);
        QCOMPARE(entry->path, QString("a.wav"));
        QCOMPARE(int(entry->state), state);
        QCOMPARE(entry->pcm.size(), bytes);
        QCOMPARE(entry->lengthMs, bytes == 0 ? 0 : 1000);
        // The other file is untouched.
        QCOMPARE(int(cache.find("b.wav", stamp(1, 0))->state), int(SoundCache::State::Decoding));
        QCOMPARE(cache.bytes(), bytes);
    }

    // The memory bound counts a playing sound once while its entry still holds the same bytes.
    void countsSharedBytesOnce() {
        SoundCache cache(nullptr);
        cache.store(cache.add("a.wav", stamp(1, 0)), decoded(3000));
        cache.store(cache.add("b.wav", stamp(1, 0)), decoded(5000));
        QCOMPARE(cache.bytes(), qsizetype(8000));

        const QByteArray playing = cache.find("b.wav", stamp(1, 0))->pcm;
        QVERIFY(cache.holds(playing));
        QVERIFY(!cache.holds(QByteArray(5000, '\x11'))); // equal bytes, but a copy of their own
        cache.markPrepared("a.wav");
        cache.trim({}); // b was never prepared and nobody waits for it
        QCOMPARE(cache.bytes(), qsizetype(3000));
        QVERIFY(!cache.holds(playing));
        QVERIFY(!cache.markPrepared("b.wav"));
    }
};

QTEST_APPLESS_MAIN(SoundCacheTest)
#include "SoundCacheTest.moc"
