// A mono bell is held as one channel and heard on both: folding and unfolding any sound gives back
// the very frames the decoding tool wrote, and a sound whose channels differ anywhere stays stereo.
#include "audio/DecodedSound.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace halvix;

class MonoSoundTest : public QObject {
    Q_OBJECT

private slots:
    void foldedSoundUnfoldsToTheSameFrames() {
        QRandomGenerator random(20261209);
        for (int round = 0; round < 200; ++round) {
            const int frames = random.bounded(1, 3000);
            QByteArray stereo;
            for (int f = 0; f < frames; ++f) {
                const auto sample = static_cast<qint16>(random.bounded(-32768, 32768));
                for (int channel = 0; channel < 2; ++channel)
                    stereo.append(reinterpret_cast<const char*>(&sample), 2);
            }
            // Half the rounds: one sample of one channel differs, at the start, the end or between.
            const bool differs = round % 2 == 1;
            if (differs) {
                const int at = round % 3 == 0 ? 0 : round % 3 == 1 ? frames - 1 : random.bounded(frames);
                stereo[at * 4 + 2 + random.bounded(2)] ^= char(1 << random.bounded(8));
            }
            QByteArray held = stereo;
            QCOMPARE(foldIdenticalChannels(held), !differs);
            if (differs) {
                QCOMPARE(held, stereo);
                continue;
            }
            QCOMPARE(held.size(), stereo.size() / 2);
            // Unfolded in pieces of any even size, as the output takes them.
            QByteArray heard;
            for (qsizetype at = 0; at < held.size();) {
                const qsizetype piece = std::min<qsizetype>(held.size() - at, 2 * random.bounded(1, 600));
                appendAsStereo(heard, held.constData() + at, piece);
                at += piece;
            }
            QCOMPARE(heard, stereo);
        }
    }

    void nothingOrAPartFrameIsNotFolded() {
        for (QByteArray sound : {QByteArray(), QByteArray(6, '\0')}) {
            const QByteArray before = sound;
            QVERIFY(!foldIdenticalChannels(sound));
            QCOMPARE(sound, before);
        }
    }
};

QTEST_GUILESS_MAIN(MonoSoundTest)
#include "MonoSoundTest.moc"
