// SPDX-License-Identifier: GPL-3.0-or-later
// The installed program as a user meets it, under the test run's X server and driven
// through the accessibility bus; its notes checked in the MIDI trace and in what the
// null sink recorded. First one run used as a person would, in order; then the faults
// a user meets, a run each (no sound server, the server killed and back, a frozen
// server, a bad sound font, a bad right.wav, a kill after three answers), said plainly
// while the program keeps working.
#include "Program.h"
#include "intervals/IntervalCatalogue.h"
#include "progress/ProgressStore.h"
#include "sound/Signal.h"
#include "tests_support/MonitorRecorder.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <sndfile.h>

namespace {

constexpr int kRate = 48000;
constexpr unsigned long kDown = 0xff54, kEscape = 0xff1b;

struct TracedNote {
    qint64 ms;
    int note;
};

double frequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Where a note starts near `expected`: the first 1 ms step of its fundamental's 10 ms
// level rising half as much as the steepest (the same lag for every note).
long onsetNear(const std::vector<float> &x, long expected, int note) {
    constexpr long window = kRate / 100, step = kRate / 1000, radius = kRate * 40 / 1000;
    auto level = [&](long at) {
        return at < 0 ? 0.0
                      : measure::magnitudeAt(x, kRate, frequency(note), size_t(at), size_t(window));
    };
    std::vector<std::pair<long, double>> rises;
    double steepest = 0;
    for (long at = expected - radius; at <= expected + radius; at += step) {
        rises.push_back({at, level(at) - level(at - window)});
        steepest = std::max(steepest, rises.back().second);
    }
    for (const auto &[at, rise] : rises)
        if (rise >= steepest / 2)
            return at;
    return expected;
}

// Cents from `note` of the strongest component within 80 cents of it, from onset.
double centsOff(const std::vector<float> &x, long onset, long length, int note) {
    const long skip = kRate * 30 / 1000;
    const double f0 = frequency(note), band = std::pow(2.0, 80 / 1200.0);
    const double f = measure::peakFrequency(x, kRate, f0 / band, f0 * band, size_t(onset + skip),
                                            size_t(std::max(length - skip, 2400L)));
    return 1200 * std::log2(f / f0);
}

// Where a sound starts after `from`, over whatever was still ringing then.
long firstRise(const std::vector<float> &x, long from) {
    float before = 0;
    for (long i = std::max(0L, from - kRate / 10); i < from && i < long(x.size()); ++i)
        before = std::max(before, std::fabs(x[size_t(i)]));
    return measure::firstAbove(x, std::max(0.003f, 4 * before), size_t(from));
}

// Types Down into a combo box (focused by a click, then Escape) until it shows `wanted`.
bool chooseByKeys(const A11yNode &combo, const QString &wanted) {
    combo.click();
    QTest::qWait(300);
    a11y::typeKey(kEscape);
    QTest::qWait(200);
    for (int i = 0; i < 128 && combo.name() != wanted; ++i, QTest::qWait(20))
        a11y::typeKey(kDown);
    return combo.name() == wanted;
}

// The strongest frequency in the first 120 ms of a sound, recorded or in a file.
double soundPeak(const std::vector<float> &x, int rate, long onset) {
    return measure::peakFrequency(x, rate, 60, 3000, size_t(onset), size_t(rate * 120 / 1000));
}
double wavPeak(const QString &path) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    std::vector<float> frames(f ? size_t(info.frames * info.channels) : 0), mono;
    if (f && sf_readf_float(f, frames.data(), info.frames) > 0)
        for (size_t i = 0; i < frames.size(); i += size_t(info.channels))
            mono.push_back(frames[i]);
    if (f)
        sf_close(f);
    return mono.empty() ? 0 : soundPeak(mono, info.samplerate, measure::firstAbove(mono, 0.003f));
}

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

// The Melody window's key for a note.
QString keyName(int note) {
    static const char *const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    return names[note % 12];
}

bool heard(const std::vector<float> &x) {
    return std::any_of(x.begin(), x.end(), [](float v) { return std::fabs(v) > 0.003f; });
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString prefix_;
    QProcess bus_;
    Program p_;
    MonitorRecorder recorder_;
    std::vector<float> audio_; // everything the monitor recorded, from the start

    long recorded() {
        const auto more = recorder_.take();
        audio_.insert(audio_.end(), more.begin(), more.end());
        return long(audio_.size());
    }
    void listen(int ms) {
        for (int waited = 0; waited < ms; waited += 50, QTest::qWait(50))
            recorded();
    }
    // The note-ons of a window from trace line `from` on.
    std::vector<TracedNote> tracedNotes(const QString &window, int from) const {
        std::vector<TracedNote> notes;
        for (const QString &line : p_.traceLines().mid(from)) {
            const QStringList f = line.split(' ');
            if (f.size() == 6 && f[1] == window && f[2] == "noteOn")
                notes.push_back({f[0].toLongLong(), f[5].toInt()});
        }
        return notes;
    }
    int traceSize() const { return int(p_.traceLines().size()); }
    A11yNode control(const QString &title, const QString &role, const QString &name) const {
        return a11y::waitFor(p_.window(title), role, name, 5000);
    }
    int showingWindows() const {
        return int(
            p_.app.findAll([](const A11yNode &n) { return n.role() == "frame" && n.showing(); })
                .size());
    }

    // Presses New and checks the question in the trace (spacing) and at the sink (pitch, onsets).
    void checkQuestion(const QString &title, const QString &traceName, int expectedNotes) {
        const A11yNode w = p_.window(title);
        QVERIFY2(w.valid(), qPrintable(title));
        const A11yNode slider =
            w.findAll([](const A11yNode &n) { return n.role() == "slider"; }).front();
        QVERIFY(slider.setValue(400));
        QTRY_COMPARE(slider.value(), 400.0);

        const int from = traceSize();
        listen(300);
        const long mark = recorded();
        QVERIFY(p_.press(title, "push button", "New"));
        QTRY_VERIFY_WITH_TIMEOUT(int(tracedNotes(traceName, from).size()) >= expectedNotes, 10000);
        const auto notes = tracedNotes(traceName, from);
        QVERIFY2(int(notes.size()) == expectedNotes,
                 qPrintable(p_.traceLines().mid(from).join('\n')));
        for (size_t k = 1; k < notes.size(); ++k)
            QCOMPARE(notes[k].ms - notes[k - 1].ms, qint64(400));
        listen(600 + 400 * expectedNotes);

        const long heard = firstRise(audio_, mark);
        QVERIFY2(heard >= 0, "nothing reached the null sink");
        const long first = onsetNear(audio_, heard, notes[0].note);
        for (size_t k = 0; k < notes.size(); ++k) {
            const long expected = first + (notes[k].ms - notes[0].ms) * kRate / 1000;
            const long onset = onsetNear(audio_, expected, notes[k].note);
            const double cents = centsOff(audio_, onset, kRate * 360 / 1000, notes[k].note);
            const QString what = QString("%1 note %2 (%3): onset %4 ms off, %5 cents off")
                                     .arg(title)
                                     .arg(k)
                                     .arg(notes[k].note)
                                     .arg((onset - expected) * 1000.0 / kRate)
                                     .arg(cents);
            qInfo("%s", qPrintable(what));
            QVERIFY2(std::abs(onset - expected) <= kRate * 30 / 1000, qPrintable(what));
            QVERIFY2(std::fabs(cents) <= 50, qPrintable(what));
        }
    }

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
        if (qEnvironmentVariableIsEmpty("DISPLAY") || !runCommand("pactl", {"info"}))
            QFAIL("needs the X server and PulseAudio server of scripts/with-test-env");
        prefix_ = dir_.filePath("prefix");
        QString output;
        QVERIFY2(installInto(prefix_, &output), qPrintable(output));
        QVERIFY2(a11y::startSession(bus_), "no D-Bus session or accessibility bus");
        recorder_.start();
        listen(2500); // an idle null sink holds a new stream's first write for ~2 s
        p_.start(prefix_, QProcessEnvironment::systemEnvironment(), dir_.filePath("trace.txt"));
    }

    // The key sent as xdotool sends it: by XTEST while the named window has the focus,
    // by XSendEvent once it has not. Had the window closed on the press, the X server
    // would keep the key down and repeat it into the focus (see noPhantomPresses).
    // Press and release go apart so that this does not hang on the program's speed.
    void splashThenAKeyOpensMelody() {
        QString title;
        QVERIFY(runCommand(
            "xdotool",
            {"search", "--sync", "--onlyvisible", "--pid", QString::number(p_.process.processId())},
            &title));
        title = title.trimmed().section('\n', 0, 0);
        QVERIFY(runCommand("xdotool", {"windowfocus", "--sync", title}));
        QVERIFY(runCommand("xdotool", {"keydown", "--window", title, "space"}));
        QTest::qWait(500);
        QVERIFY(runCommand("xdotool", {"keyup", "--window", title, "space"}));
        QVERIFY(a11y::waitFor(p_.app, "push button", "New", 10000).valid());
        QVERIFY(p_.window("Melody").valid());
        QVERIFY(!a11y::waitFor(p_.app, "label", "Hit a button !", 0).valid());
    }

    // Before any other key is typed (a key pressed stops the X server repeating the
    // last one): nothing presses the focused box "maj" but the presets, and the exit
    // question waits.
    void noPhantomPresses() {
        QVERIFY(p_.press("Melody", "push button", "Chords"));
        const A11yNode maj = control("Chords", "check box", "maj");
        for (const QString preset : {"None", "All", "None", "All"}) {
            QVERIFY(p_.press("Chords", "push button", preset));
            QTest::qWait(700);
            QCOMPARE(maj.checked(), preset == "All");
        }
        QVERIFY(p_.press("Chords", "push button", "Exit"));
        const A11yNode no = a11y::waitFor(p_.app, "push button", "No", 5000);
        QTest::qWait(3000);
        QVERIFY2(no.showing(), "the exit question went by itself");
        QVERIFY(no.press());
        QTest::qWait(300);
    }

    // Every control of a drill window has a name and a description, and the combo
    // boxes are labelled.
    void everyControlIsNamedAndDescribed() {
        for (const QString title : {"Intervals", "Chords", "Scales", "Melody"}) {
            if (!p_.window(title, 0).valid())
                QVERIFY(p_.press("Chords", "push button", title));
            QTRY_VERIFY(p_.window(title).valid());
            const auto controls = p_.window(title).findAll([](const A11yNode &n) {
                static const QStringList roles{"push button", "check box", "radio button", "slider",
                                               "combo box"};
                return roles.contains(n.role());
            });
            QVERIFY(controls.size() > 20);
            for (const A11yNode &c : controls) {
                const QString what = title + ": " + c.role() + " \"" + c.name() + "\"";
                QVERIFY2(!c.name().isEmpty() && !c.description().isEmpty(), qPrintable(what));
                QVERIFY2(c.role() != "combo box" || !c.labelledBy().isEmpty(), qPrintable(what));
            }
        }
    }

    // The Melody window's key D, typed as S on the computer's keyboard (then within 50
    // cents of D) or pressed: the level of its attack at the sink, 0 if not heard.
    double keyHeard(bool typed) {
        listen(300);
        const int from = traceSize();
        const long mark = recorded();
        if (typed)
            a11y::typeKey('s');
        else
            p_.press("Melody", "push button", "D");
        listen(800);
        const auto notes = tracedNotes("formmelody", from);
        const long onset = measure::firstAbove(audio_, 0.003f, size_t(mark));
        if (notes.size() != 1 || notes[0].note != 62 || onset < 0 ||
            (typed && std::fabs(centsOff(audio_, onset, kRate / 2, 62)) > 50))
            return 0;
        return measure::rms(audio_, size_t(onset), kRate / 10);
    }

    void aKeyPlaysItsNote() {
        QVERIFY(p_.press("Scales", "push button", "Melody"));
        QVERIFY2(keyHeard(true) > 0, "the key was not heard at its pitch");
    }

    void oneQuestionInEachDrill() {
        // A 3-note melody in C4-B4 (no overtone near another note), an interval, a
        // chord as an arpeggio, a scale.
        const auto nones = p_.window("Melody").findAll(
            [](const A11yNode &n) { return n.role() == "push button" && n.name() == "NONE"; });
        QCOMPARE(nones.size(), size_t(2)); // pitch classes, octaves
        QVERIFY(nones[1].press());
        QTest::qWait(300); // a pressed button clicks a moment later
        QVERIFY(p_.press("Melody", "check box", "5th"));
        QVERIFY(chooseByKeys(control("Melody", "combo box", "1"), "3"));
        checkQuestion("Melody", "formmelody", 3);
        QVERIFY(!QTest::currentTestFailed() && p_.press("Melody", "push button", "Intervals"));
        checkQuestion("Intervals", "Formintervalli", 2);
        QVERIFY(!QTest::currentTestFailed() && p_.press("Intervals", "push button", "Chords"));
        QVERIFY(p_.press("Chords", "radio button", "Arpeggio"));
        QVERIFY(p_.press("Chords", "push button", "None"));
        QTest::qWait(300);
        QVERIFY(p_.press("Chords", "check box", "maj")); // only "maj": three notes
        checkQuestion("Chords", "Formchords", 3);
        QVERIFY(!QTest::currentTestFailed() && p_.press("Chords", "push button", "Scales"));
        QVERIFY(p_.press("Scales", "push button", "None (scales)"));
        QVERIFY(p_.press("Scales", "push button", "None (modes)"));
        QTest::qWait(300);
        QVERIFY(p_.press("Scales", "check box", "Major Pentatonic"));
        checkQuestion("Scales", "Formscales", 6);
    }

    // In test mode the answer is judged: "Right!" with right.wav, "Wrong!" with wrong.wav;
    // a screen reader hears the verdict, the answer and the score.
    void testModeAnswersAreHeard() {
        QVERIFY(p_.press("Scales", "push button", "Intervals"));
        QVERIFY(p_.press("Intervals", "radio button", "Test mode"));
        A11yEvents announced("object:property-change:accessible-name");
        for (const bool right : {true, true, false}) {
            const int from = traceSize();
            QVERIFY(p_.press("Intervals", "push button", "New"));
            QTRY_COMPARE(tracedNotes("Formintervalli", from).size(), size_t(2));
            const auto notes = tracedNotes("Formintervalli", from);
            const int size = std::abs(notes[1].note - notes[0].note);
            listen(1500);
            const long mark = recorded();
            const std::string_view name =
                intervals::kRevealNames[size_t(right ? size : (size + 1) % 13)];
            QVERIFY(p_.press("Intervals", "push button",
                             QString::fromLatin1(name.data(), qsizetype(name.size()))));
            const QString said = right ? "Right!" : "Wrong!";
            QTRY_VERIFY(control("Intervals", "label", said).valid());
            QTRY_VERIFY2(announced.heard("label", said), qPrintable(said + " was not announced"));
            listen(900);
            const long onset = firstRise(audio_, mark);
            QVERIFY2(onset >= 0, qPrintable(said + " was not heard"));
            const double heard = soundPeak(audio_, kRate, onset);
            const QString file = right ? "right.wav" : "wrong.wav";
            const double expected = wavPeak(prefix_ + "/share/tonvik/" + file);
            QVERIFY2(std::fabs(heard - expected) < 0.03 * expected,
                     qPrintable(
                         QString("heard %1 Hz, %2 has %3 Hz").arg(heard).arg(file).arg(expected)));
        }
        for (const QString said : {"Questions: 3", "Right: 2", "Percentage: 66%"}) {
            QVERIFY2(control("Intervals", "label", said).valid(), qPrintable(said));
            QVERIFY2(announced.heard("label", said), qPrintable(said + " was not announced"));
        }
        // Outside test mode the answer can be revealed; it is announced too.
        QVERIFY(p_.press("Intervals", "radio button", "No test"));
        QVERIFY(p_.press("Intervals", "push button", "New"));
        QTest::qWait(1500);
        QVERIFY(p_.press("Intervals", "push button", "Reveal"));
        QString answer;
        QTRY_VERIFY(!(answer =
                          [&] {
                              const auto labels =
                                  p_.window("Intervals").findAll([](const A11yNode &n) {
                                      return n.role() == "label" && n.description() == "Answer";
                                  });
                              return labels.empty() ? QString() : labels.front().text();
                          }())
                         .isEmpty());
        QTRY_VERIFY2(announced.heard("label", answer), qPrintable(answer + " was not announced"));
    }

    void optionsChangeTheInstrument() {
        QVERIFY(p_.press("Intervals", "push button", "Melody"));
        QVERIFY(control("Melody", "menu item", "Options").click());
        const A11yNode dialog = a11y::waitFor(p_.app, "dialog", "Settings", 5000);
        QVERIFY2(dialog.valid(), "the options dialog did not open");
        const auto instrument = dialog.findAll([](const A11yNode &n) {
            return n.role() == "combo box" && n.labelledBy().contains("Instrument");
        });
        QVERIFY2(instrument.size() == 1, "no combo box labelled Instrument");
        QVERIFY(chooseByKeys(instrument.front(), "40=Violin"));
        const int from = traceSize();
        QVERIFY(a11y::typeKey(kEscape)); // the dialog applies what it shows as it closes
        QTRY_VERIFY(!a11y::waitFor(p_.app, "dialog", "Settings", 0).valid());
        // The window that opened the dialog plays with the new instrument.
        QVERIFY(p_.press("Melody", "push button", "New"));
        QTRY_VERIFY2(!p_.traceLines()
                          .mid(from)
                          .filter(QRegularExpression(" programChange \\d+ 40$"))
                          .isEmpty(),
                     qPrintable(p_.traceLines().mid(from).join('\n')));
    }

    // The exit question: Escape and No leave every window as it was and send nothing;
    // it waits for its answer however long that takes; Yes ends the program.
    void exitQuestion() {
        QTest::qWait(1500); // the last question's notes are all out
        QCOMPARE(showingWindows(), 4);
        const int lines = traceSize();
        for (const bool byEscape : {true, false}) {
            QVERIFY(p_.press("Chords", "push button", "Exit"));
            const A11yNode box = a11y::waitFor(p_.app, "alert", "Tonvik 1.0", 5000);
            QVERIFY2(box.valid(), "no exit question");
            QVERIFY(a11y::waitFor(box, "label", "Exit from Tonvik 1.0?", 0).valid());
            QVERIFY(!box.findAll([](const A11yNode &n) { return n.role() == "image"; }).empty());
            QVERIFY(a11y::waitFor(box, "push button", "Yes", 0).isDefault());
            QVERIFY(byEscape ? a11y::typeKey(kEscape)
                             : a11y::waitFor(box, "push button", "No", 0).press());
            QTRY_VERIFY(!a11y::waitFor(p_.app, "alert", "Tonvik 1.0", 0).valid());
            QTest::qWait(300);
            QCOMPARE(showingWindows(), 4);
            QVERIFY2(traceSize() == lines, qPrintable(p_.traceLines().mid(lines).join('\n')));
        }
        // The same note with the output running, and again after it stopped while the
        // question waited: it opens again and the note sounds whole.
        QVERIFY(p_.press("Melody", "push button", "Stop noise!"));
        const double running = keyHeard(false);
        QVERIFY(running > 0 && p_.press("Melody", "push button", "Stop noise!"));
        QVERIFY(p_.press("Melody", "push button", "Exit"));
        const auto no = a11y::waitFor(p_.app, "push button", "No", 5000);
        QTest::qWait(10000);
        QVERIFY2(no.showing() && p_.process.state() == QProcess::Running,
                 "the exit question did not wait for its answer");
        QVERIFY(no.press());
        const double reopened = keyHeard(false);
        QVERIFY2(reopened > 0.7 * running && reopened < 1.3 * running,
                 qPrintable(
                     QString("attack %1, with the output running %2").arg(reopened).arg(running)));
        QVERIFY(p_.press("Melody", "push button", "Exit"));
        QVERIFY(a11y::waitFor(p_.app, "push button", "Yes", 5000).press());
        QVERIFY(p_.process.waitForFinished(10000));
        QCOMPARE(p_.process.exitCode(), 0);
        QCOMPARE(p_.traceLines().filter("midiClose").join('|').remove(QRegularExpression("\\d+ ")),
                 QString("formmelody midiClose|Formintervalli midiClose"));
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

    // An empty or a garbage sound font: said, and the windows go on. (A missing one is
    // refused with the command line.)
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
            QVERIFY(playKey(p, keyName(note)));
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
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(p.press("Melody", "push button", "New"));
            QTRY_COMPARE(noteOns(p), i);
            const int note = p.traceLines().filter(" noteOn ").last().section(' ', 5).toInt();
            QVERIFY(playKey(p, keyName(note)));
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

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_e2e.moc"
