// Faults a user meets, each with the real program: no sound server, the sound server
// killed while playing and started again, a frozen sound server, a sound font that is
// empty or garbage, right.wav missing or corrupt. Each time the program says plainly
// what is wrong and keeps working. It is driven through the accessibility bus, and
// plays into a PulseAudio server of the test's own, so that server can be killed.
#include "Accessibility.h"
#include "Installed.h"
#include "tests_support/MonitorRecorder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <csignal>

namespace {

constexpr unsigned long kReturn = 0xff0d;

// A PulseAudio server with a null sink, on a socket of its own.
class SoundServer {
  public:
    explicit SoundServer(const QString &dir) : dir_(dir) { QDir().mkpath(dir_ + "/state"); }
    ~SoundServer() { stop(); }

    QString address() const { return "unix:" + dir_ + "/native"; }
    QProcessEnvironment clientEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", address());
        return env;
    }

    bool start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_RUNTIME_PATH", dir_);
        env.insert("PULSE_STATE_PATH", dir_ + "/state");
        env.insert("DBUS_SESSION_BUS_ADDRESS",
                   "unix:path=/nonexistent"); // not a second org.PulseAudio1
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("pulseaudio",
                       {"--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                        "--load=module-null-sink sink_name=faults rate=48000",
                        "--load=module-native-protocol-unix socket=" + dir_ + "/native",
                        "--load=module-always-sink"});
        if (!process_.waitForStarted())
            return false;
        QProcess pactl;
        pactl.setProcessEnvironment(clientEnvironment());
        for (int i = 0; i < 50; ++i) {
            pactl.start("pactl", {"info"});
            if (pactl.waitForFinished() && pactl.exitCode() == 0)
                return true;
            QTest::qWait(100);
        }
        return false;
    }
    void kill() {
        process_.kill();
        process_.waitForFinished();
    }
    void signal(int sig) { ::kill(pid_t(process_.processId()), sig); }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT);
        kill();
    }

  private:
    QString dir_;
    QProcess process_;
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString prefix_;
    QProcess bus_;

    // One run of the program.
    struct Program {
        QProcess process;
        QString trace;
        A11yNode app;
        QString said; // its standard error so far

        QString stderrText() {
            said += QString::fromLocal8Bit(process.readAllStandardError());
            return said;
        }
        QStringList traceLines() const {
            QFile f(trace);
            if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
                return {};
            return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        }
        int noteOns() const { return int(traceLines().filter(" noteOn ").size()); }
        A11yNode melody() const {
            const auto frames = app.findAll([](const A11yNode &n) {
                return n.role() == "frame" && n.name().endsWith("Melody") && n.showing();
            });
            return frames.empty() ? A11yNode() : frames.front();
        }
        // Presses the Melody window's key for a note (outside test mode it plays it).
        bool playKey(const QString &name) const {
            const A11yNode key = a11y::waitFor(melody(), "push button", name, 5000);
            return key.press();
        }
        ~Program() {
            if (process.state() != QProcess::NotRunning) {
                process.kill();
                process.waitForFinished();
            }
        }
    };

    // Starts the installed program and waits for its Melody window.
    void launch(Program &p, const QProcessEnvironment &base, const QStringList &args = {},
                const QString &prefix = {}) {
        p.trace = dir_.filePath(QString("trace-%1.txt").arg(QTest::currentTestFunction()));
        QFile::remove(p.trace);
        QProcessEnvironment env = base;
        env.remove("QT_QPA_PLATFORM");
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.insert("TONVIK_MIDI_TRACE", p.trace);
        p.process.setProcessEnvironment(env);
        p.process.start((prefix.isEmpty() ? prefix_ : prefix) + "/bin/tonvik", args);
        QVERIFY(p.process.waitForStarted());
        p.app = a11y::application("tonvik", 15000);
        QVERIFY2(p.app.valid(), "the program did not appear on the accessibility bus");
        QVERIFY(a11y::waitFor(p.app, "label", "Hit a button !", 10000).valid());
        QTest::qWait(300);
        QVERIFY(a11y::typeKey(kReturn));
        QVERIFY(a11y::waitFor(p.app, "push button", "New", 10000).valid());
    }

    // Ends the program through its confirmed exit, which must take little time.
    void exitProgram(Program &p) {
        QVERIFY(p.melody().find("push button", "Exit").press());
        const A11yNode yes = a11y::waitFor(p.app, "push button", "Yes", 5000);
        QVERIFY(yes.press());
        QVERIFY2(p.process.waitForFinished(8000), "the program did not end");
        QCOMPARE(p.process.exitCode(), 0);
    }

    static bool heard(const std::vector<float> &x) {
        return std::any_of(x.begin(), x.end(), [](float v) { return std::fabs(v) > 0.003f; });
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

    void noSoundServer() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + dir_.filePath("nobody-here"));
        Program p;
        launch(p, env);
        QTRY_VERIFY_WITH_TIMEOUT(p.stderrText().contains("No audio output could be opened"), 10000);
        QVERIFY(p.playKey("E"));
        QTRY_COMPARE(p.noteOns(), 1); // the window still plays its part
        QTest::qWait(500);
        QCOMPARE(p.stderrText().count("No audio output could be opened"), 1);
        exitProgram(p);
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
        QVERIFY(p.playKey("C"));
        QTest::qWait(1200);
        QVERIFY2(heard(before.take()), "not heard before the fault");

        server.kill();
        QVERIFY(p.playKey("D"));
        QTRY_VERIFY_WITH_TIMEOUT(p.stderrText().contains("The audio output stopped"), 10000);

        // The server comes back: a note after the retry time sounds, without a restart.
        QVERIFY(server.start());
        MonitorRecorder after;
        QVERIFY(after.start("faults.monitor", server.clientEnvironment()));
        bool back = false;
        for (int i = 0; i < 12 && !back; ++i) {
            QVERIFY(p.playKey("G"));
            QTest::qWait(1500);
            back = heard(after.take());
        }
        QVERIFY2(back, "no sound after the server came back");
        QTRY_VERIFY(p.stderrText().contains("The sound is back."));
        exitProgram(p);
    }

    // A server that takes the connection and never answers: the windows keep taking
    // input and the program still ends when asked.
    void frozenServerNeverHoldsTheWindows() {
        SoundServer server(dir_.filePath("frozen"));
        QVERIFY(server.start());
        Program p;
        launch(p, server.clientEnvironment());
        QVERIFY(p.playKey("C"));
        QTRY_COMPARE(p.noteOns(), 1);
        QTest::qWait(5500); // past the idle stop: the next note opens a new output
        server.signal(SIGSTOP);
        for (const QString key : {"D", "E", "F"}) {
            const int before = p.noteOns();
            QVERIFY(p.playKey(key));
            QTRY_VERIFY_WITH_TIMEOUT(p.noteOns() == before + 1, 1000);
        }
        QVERIFY(p.melody().find("push button", "New").press());
        QTest::qWait(500);
        QVERIFY(p.melody().find("push button", "New").valid()); // still answering
        exitProgram(p);
        server.stop();
    }

    void badSoundFonts_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("RIFF\x10\0\0\0sfbkLIST this is not a font", 36);
    }
    void badSoundFonts() {
        QFETCH(QByteArray, content);
        const QString font = dir_.filePath("bad.sf2");
        QFile f(font);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        Program p;
        launch(p, QProcessEnvironment::systemEnvironment(), {"--soundfont", font});
        QTRY_VERIFY_WITH_TIMEOUT(p.stderrText().contains("could not be loaded"), 10000);
        QVERIFY(p.stderrText().contains(font));
        QVERIFY(p.playKey("A"));
        QTRY_COMPARE(p.noteOns(), 1);
        exitProgram(p);
    }

    void missingSoundFontIsRefusedAtOnce() {
        QProcess p;
        p.start(prefix_ + "/bin/tonvik", {"--soundfont", dir_.filePath("none.sf2")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("cannot read the sound font"));
    }

    void badFeedbackSound_data() {
        QTest::addColumn<bool>("present");
        QTest::newRow("missing") << false;
        QTest::newRow("corrupt") << true;
    }
    void badFeedbackSound() {
        QFETCH(bool, present);
        // An installation of its own, with right.wav gone or spoilt.
        const QString prefix = dir_.filePath(QString("prefix-%1").arg(present));
        QVERIFY(installInto(prefix));
        const QString right = prefix + "/share/tonvik/right.wav";
        QVERIFY(QFile::remove(right));
        // Without one beside the build tree either, as on a user's machine.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TONVIK_DATA_PATH", prefix + "/share/tonvik");
        if (present) {
            QFile f(right);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("RIFF\x24\0\0\0WAVEfmt garbage garbage garbage", 40);
        }
        Program p;
        launch(p, env, {}, prefix);
        const A11yNode w = p.melody();
        QVERIFY(w.find("radio button", "Test mode").press());
        QTest::qWait(200);
        const int from = int(p.traceLines().size());
        QVERIFY(w.find("push button", "New").press());
        QTRY_VERIFY(p.traceLines().mid(from).filter(" noteOn ").size() == 1);
        const int note =
            p.traceLines().mid(from).filter(" noteOn ").first().section(' ', 5).toInt();
        static const char *names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                      "F#", "G",  "G#", "A",  "A#", "B"};
        QVERIFY(p.playKey(names[note % 12]));
        QTRY_VERIFY(!w.findAll([](const A11yNode &n) {
                          return n.role() == "label" && n.text() == "Right!";
                      }).empty());
        QTRY_VERIFY(p.stderrText().contains("right.wav"));
        QCOMPARE(p.stderrText().count("right.wav"), 1);
        QVERIFY(p.melody().find("push button", "New").valid());
        exitProgram(p);
    }

    void cleanupTestCase() {
        bus_.kill();
        bus_.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
