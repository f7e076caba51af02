// SPDX-License-Identifier: GPL-3.0-or-later
// Faults a user meets, each with the real program: no sound server, the sound server
// killed while playing and started again, a frozen sound server, a sound font that is
// empty or garbage, right.wav missing or corrupt. Each time the program says plainly
// what is wrong and keeps working. It plays into a PulseAudio server of the test's
// own, so that server can be killed.
#include "Program.h"
#include "progress/ProgressStore.h"
#include "tests_support/MonitorRecorder.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <csignal>

namespace {

// A PulseAudio server with a null sink "faults", on a socket of its own.
class SoundServer {
  public:
    explicit SoundServer(const QString &dir) : dir_(dir) { QDir().mkpath(dir_ + "/state"); }
    ~SoundServer() { stop(); }

    QProcessEnvironment clientEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + dir_ + "/native");
        return env;
    }
    bool start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_RUNTIME_PATH", dir_);
        env.insert("PULSE_STATE_PATH", dir_ + "/state");
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); // no second server
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("pulseaudio",
                       {"--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                        "--load=module-null-sink sink_name=faults rate=48000",
                        "--load=module-native-protocol-unix socket=" + dir_ + "/native",
                        "--load=module-always-sink"});
        QProcess pactl;
        pactl.setProcessEnvironment(clientEnvironment());
        for (int i = 0; i < 50 && process_.waitForStarted(); ++i, QTest::qWait(100)) {
            pactl.start("pactl", {"info"});
            if (pactl.waitForFinished() && pactl.exitCode() == 0)
                return true;
        }
        return false;
    }
    void signal(int sig) { ::kill(pid_t(process_.processId()), sig); }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT);
        process_.kill();
        process_.waitForFinished();
    }

  private:
    QString dir_;
    QProcess process_;
};

bool heard(const std::vector<float> &x) {
    return std::any_of(x.begin(), x.end(), [](float v) { return std::fabs(v) > 0.003f; });
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString prefix_;
    QProcess bus_;

    // Starts the installed program (of `prefix`, else the test's) and opens Melody.
    void launch(Program &p, const QProcessEnvironment &env, const QStringList &args = {},
                const QString &prefix = {}) {
        p.start(prefix.isEmpty() ? prefix_ : prefix, env,
                dir_.filePath(QString("trace-%1.txt").arg(QTest::currentTestFunction())), args);
        QTest::qWait(300);
        QVERIFY(a11y::typeKey(0xff0d)); // Return
        QVERIFY(a11y::waitFor(p.app, "push button", "New", 10000).valid());
    }
    static int noteOns(const Program &p) { return int(p.traceLines().filter(" noteOn ").size()); }
    // A key of the Melody window (outside test mode it plays its note).
    static bool playKey(const Program &p, const QString &name) {
        return p.press("Melody", "push button", name);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QFAIL("needs the X server of scripts/with-test-env");
        prefix_ = dir_.filePath("prefix");
        QString output;
        QVERIFY2(installInto(prefix_, &output), qPrintable(output));
        QVERIFY2(a11y::startSession(bus_), "no D-Bus session or accessibility bus");
    }

    // Said once, on the title window and on standard error; the windows play their part.
    void noSoundServer() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + dir_.filePath("nobody-here"));
        Program p;
        p.start(prefix_, env, dir_.filePath("trace-none.txt"));
        QTRY_VERIFY_WITH_TIMEOUT(!p.app
                                      .findAll([](const A11yNode &n) {
                                          return n.role() == "label" &&
                                                 n.text().startsWith(
                                                     "No audio output could be opened");
                                      })
                                      .empty(),
                                 10000);
        QVERIFY(a11y::typeKey(0xff0d)); // Return
        QVERIFY(a11y::waitFor(p.app, "push button", "New", 10000).valid());
        QTRY_VERIFY_WITH_TIMEOUT(p.stderrText().contains("No audio output could be opened"), 10000);
        QVERIFY(playKey(p, "E"));
        QTRY_COMPARE(noteOns(p), 1); // the window still plays its part
        QTest::qWait(500);
        QCOMPARE(p.stderrText().count("No audio output could be opened"), 1);
        p.exit();
    }

    void serverKilledWhilePlayingThenBack() {
        SoundServer server(dir_.filePath("killed"));
        QVERIFY(server.start());
        MonitorRecorder before;
        QVERIFY(before.start("faults.monitor", server.clientEnvironment()));
        Program p;
        launch(p, server.clientEnvironment());
        QTest::qWait(2500); // an idle null sink holds a new stream's first write
        before.take();
        QVERIFY(playKey(p, "C"));
        QTest::qWait(1200);
        QVERIFY2(heard(before.take()), "not heard before the fault");

        server.stop();
        QVERIFY(playKey(p, "D"));
        QTRY_VERIFY_WITH_TIMEOUT(p.stderrText().contains("The audio output stopped"), 10000);

        // The server comes back: a note after the retry time sounds, without a restart.
        QVERIFY(server.start());
        MonitorRecorder after;
        QVERIFY(after.start("faults.monitor", server.clientEnvironment()));
        bool back = false;
        for (int i = 0; i < 12 && !back; ++i) {
            QVERIFY(playKey(p, "G"));
            QTest::qWait(1500);
            back = heard(after.take());
        }
        QVERIFY2(back, "no sound after the server came back");
        QTRY_VERIFY(p.stderrText().contains("The sound is back."));
        p.exit();
    }

    // A server that takes the connection and never answers: the windows keep taking
    // input and the program still ends when asked.
    void frozenServerNeverHoldsTheWindows() {
        SoundServer server(dir_.filePath("frozen"));
        QVERIFY(server.start());
        Program p;
        launch(p, server.clientEnvironment());
        QVERIFY(playKey(p, "C"));
        QTRY_COMPARE(noteOns(p), 1);
        QTest::qWait(5500); // past the idle stop: the next note opens a new output
        server.signal(SIGSTOP);
        for (const QString key : {"D", "E", "F"}) {
            const int before = noteOns(p);
            QVERIFY(playKey(p, key));
            QTRY_VERIFY_WITH_TIMEOUT(noteOns(p) == before + 1, 1000);
        }
        p.exit();
    }

    // An empty or a garbage sound font: said, and the windows go on; a missing one is
    // refused at once.
    void badSoundFonts() {
        const QString font = dir_.filePath("bad.sf2");
        for (const QByteArray &content :
             {QByteArray(), QByteArray("RIFF\x10\0\0\0sfbkLIST this is not a font", 36)}) {
            QFile f(font);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
            f.close();
            Program p;
            launch(p, QProcessEnvironment::systemEnvironment(), {"--soundfont", font});
            QTRY_VERIFY_WITH_TIMEOUT(p.stderrText().contains("could not be loaded"), 10000);
            QVERIFY(p.stderrText().contains(font));
            QVERIFY(playKey(p, "A"));
            QTRY_COMPARE(noteOns(p), 1);
            p.exit();
        }
        QProcess missing;
        missing.start(prefix_ + "/bin/tonvik", {"--soundfont", dir_.filePath("none.sf2")});
        QVERIFY(missing.waitForFinished(10000));
        QCOMPARE(missing.exitCode(), 2);
        QVERIFY(missing.readAllStandardError().contains("cannot read the sound font"));
    }

    // right.wav gone or spoilt: "Right!" still shows, with one warning.
    void badFeedbackSound() {
        for (const bool present : {false, true}) {
            const QString prefix = dir_.filePath(QString("prefix-%1").arg(present));
            QVERIFY(installInto(prefix));
            const QString right = prefix + "/share/tonvik/right.wav";
            QVERIFY(QFile::remove(right));
            if (present) {
                QFile f(right);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("RIFF\x24\0\0\0WAVEfmt garbage garbage garbage", 40);
            }
            // Not one beside the build tree either, as on a user's machine.
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TONVIK_DATA_PATH", prefix + "/share/tonvik");
            Program p;
            launch(p, env, {}, prefix);
            QVERIFY(p.press("Melody", "radio button", "Test mode"));
            QTest::qWait(200);
            QVERIFY(p.press("Melody", "push button", "New"));
            QTRY_COMPARE(noteOns(p), 1);
            const int note = p.traceLines().filter(" noteOn ").first().section(' ', 5).toInt();
            static const char *names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                          "F#", "G",  "G#", "A",  "A#", "B"};
            QVERIFY(playKey(p, names[note % 12]));
            QTRY_VERIFY(a11y::waitFor(p.window("Melody"), "label", "Right!", 0).valid());
            QTRY_VERIFY(p.stderrText().contains("right.wav"));
            QCOMPARE(p.stderrText().count("right.wav"), 1);
            p.exit();
        }
    }

    // Answers judged are in the store at once: a kill right after three loses none.
    void killedRightAfterThreeAnswers() {
        const QString db = dir_.filePath("killed.sqlite");
        Program p;
        launch(p, QProcessEnvironment::systemEnvironment(), {"--progress-db", db});
        QVERIFY(p.press("Melody", "radio button", "Test mode"));
        static const char *names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                      "F#", "G",  "G#", "A",  "A#", "B"};
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(p.press("Melody", "push button", "New"));
            QTRY_COMPARE(noteOns(p), i);
            const int note = p.traceLines().filter(" noteOn ").last().section(' ', 5).toInt();
            QVERIFY(playKey(p, names[note % 12]));
            QTRY_VERIFY(a11y::waitFor(p.window("Melody"), "label", "Right!", 0).valid());
        }
        p.process.kill();
        p.process.waitForFinished();
        QCOMPARE(int(ProgressStore(db).answers("melody").size()), 3);
    }

    void cleanupTestCase() {
        bus_.kill();
        bus_.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
