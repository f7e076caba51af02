// SPDX-License-Identifier: GPL-3.0-or-later
// The real audio path: the engine's own output, opened on the PulseAudio server that the
// test run starts (its default sink a null sink), recorded from the sink's monitor.
#include "Signal.h"
#include "sound/AudioEngine.h"
#include "sound/MidiControl.h"
#include "tests_support/MonitorRecorder.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int kRate = 48000;

bool audioServerRunning() {
    QProcess pactl;
    pactl.start("pactl", {"info"});
    return pactl.waitForFinished(3000) && pactl.exitStatus() == QProcess::NormalExit &&
           pactl.exitCode() == 0;
}

} // namespace

class TestAudioPath : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        if (!audioServerRunning()) {
            if (qEnvironmentVariableIsSet("TONVIK_REQUIRE_AUDIO"))
                QFAIL("no PulseAudio server, though the test run should have started one");
            QSKIP("no PulseAudio server: run through scripts/run-tests");
        }
    }

    void noteReachesTheSinkAndSurvivesTheIdleStop() {
        MonitorRecorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(2500);
        recorder.take();

        EngineConfig config;
        config.sampleRate = kRate;
        config.idleSeconds = 1.0;
        AudioEngine engine(config);
        QSignalSpy state(&engine, &AudioEngine::outputStateChanged);
        MidiBackend::setCurrent(&engine);
        MidiControl midi("test");
        midi.midiOpen();
        QVERIFY(midi.noteOn(1, 100, 69));
        QTest::qWait(700);
        QVERIFY(midi.noteOff(1, 69));
        QTest::qWait(300);
        const std::vector<float> first = recorder.take();
        QVERIFY(engine.outputRunning());
        QVERIFY2(engine.silentReason().isEmpty(), qPrintable(engine.silentReason()));

        const long onset1 = measure::firstAbove(first, 0.002f);
        QVERIFY2(onset1 >= 0, "nothing reached the null sink");
        const double f1 =
            measure::peakFrequency(first, kRate, 300, 600, size_t(onset1) + 2400, kRate / 2);
        QVERIFY2(std::fabs(f1 - 440) < 4.4, qPrintable(QString::number(f1)));

        // After a second of silence the output stops; the next note opens it again and
        // sounds whole, from its attack on.
        QTRY_VERIFY_WITH_TIMEOUT(!engine.outputRunning(), 6000);
        recorder.take();
        QVERIFY(midi.noteOn(1, 100, 69));
        QTest::qWait(1000);
        const std::vector<float> second = recorder.take();
        QVERIFY(engine.outputRunning());
        const long onset2 = measure::firstAbove(second, 0.002f);
        QVERIFY2(onset2 >= 0, "the note after the idle stop did not sound");
        const double f2 =
            measure::peakFrequency(second, kRate, 300, 600, size_t(onset2) + 2400, kRate / 2);
        QVERIFY2(std::fabs(f2 - 440) < 4.4, qPrintable(QString::number(f2)));
        const double attack1 = measure::rms(first, size_t(onset1), 4800);
        const double attack2 = measure::rms(second, size_t(onset2), 4800);
        QVERIFY2(attack2 > 0.7 * attack1 && attack2 < 1.3 * attack1,
                 qPrintable(QString("%1 %2").arg(attack1).arg(attack2)));
        QVERIFY(state.count() >= 3); // opened, stopped, opened again
        MidiBackend::setCurrent(nullptr);
    }
};

QTEST_MAIN(TestAudioPath)
#include "test_audio_path.moc"
