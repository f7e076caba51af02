// SPDX-License-Identifier: GPL-3.0-or-later
// The installed program as a user meets it, driven through the accessibility bus, its
// notes checked in the MIDI trace and at the null sink: one run used in order, then a
// run per fault a user meets, said plainly while the program keeps working.
#include "Program.h"
#include "progress/ProgressStore.h"
#include "sound/EngineProbe.h"
#include "sound/Signal.h"
#include "tests_support/MonitorRecorder.h"

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <RtMidi.h>
#include <cmath>
#include <csignal>
#include <sndfile.h>

namespace {

constexpr int kRate = 48000;
constexpr unsigned long kDown = 0xff54, kEscape = 0xff1b, kHome = 0xff50, kReturn = 0xff0d;
const QStringList kKeyNames = QString("C C# D D# E F F# G G# A A# B").split(' ');
const QStringList kIntervalNames = {"Unison",    "2nd minor",   "2nd major",      "3rd minor",
                                    "3rd major", "Perfect 4th", "5th diminished", "Perfect 5th",
                                    "6th minor", "6th major",   "7th minor",      "7th major",
                                    "Octave"};

// Where a note starts near `expected`: the first 1 ms step of its fundamental's 10 ms
// level rising half as much as the steepest (the same lag for every note).
long onsetNear(const std::vector<float> &x, long expected, int note) {
    constexpr long window = kRate / 100, step = kRate / 1000, radius = kRate * 40 / 1000;
    auto level = [&](long at) {
        return at < 0 ? 0.0
                      : measure::magnitudeAt(x, kRate, measure::noteHz(note), size_t(at),
                                             size_t(window));
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
    const double f0 = measure::noteHz(note), band = std::pow(2.0, 80 / 1200.0);
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

// A singer's melody: a sawtooth with vibrato (30 cents, 5.5 Hz), half a second a note.
bool writeSung(const QString &path, const std::vector<int> &keys) {
    std::vector<float> x;
    for (const int key : keys) {
        double phase = 0;
        const long n = kRate / 2;
        for (long i = 0; i < n; ++i) {
            const double t = double(i) / kRate;
            phase += measure::noteHz(key) * std::pow(2.0, 0.3 / 12 * std::sin(2 * M_PI * 5.5 * t)) /
                     kRate;
            const double fade = std::min({1.0, t / 0.02, double(n - i) / kRate / 0.02});
            x.push_back(float(0.3 * fade * (2 * (phase - std::floor(phase)) - 1)));
        }
        x.insert(x.end(), kRate / 5, 0.0f);
    }
    return EngineProbe::writeWav(path, x, kRate);
}

// How closely what was heard from `onset` on matches a sound file, brought to the
// sink's rate (normalised correlation at the best lag, 1 for the same wave). The wrong
// sound beats (98 and 103 Hz), so a short window's strongest frequency depends on where
// it starts; the whole wave does not. Played at the file's rate unconverted, it is 9 %
// too slow or fast and no longer matches.
double matchesFile(const std::vector<float> &x, long onset, const QString &path) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    std::vector<float> frames(f ? size_t(info.frames * info.channels) : 0), y;
    const bool read = f && sf_readf_float(f, frames.data(), info.frames) > 0;
    if (f)
        sf_close(f);
    if (!read)
        return 0;
    const double step = double(info.samplerate) / kRate;
    for (double t = 0; t + 1 < double(info.frames) && y.size() < size_t(kRate * 3 / 10);
         t += step) {
        const size_t i = size_t(t);
        const double a = frames[i * size_t(info.channels)];
        const double b = frames[(i + 1) * size_t(info.channels)];
        y.push_back(float(a + (t - double(i)) * (b - a)));
    }
    double yy = 0, best = 0;
    for (const float v : y)
        yy += double(v) * v;
    for (long lag = std::max(0L, onset - kRate / 20); lag <= onset + kRate / 10; ++lag) {
        if (lag + long(y.size()) > long(x.size()))
            break;
        double xy = 0, xx = 0;
        for (size_t i = 0; i < y.size(); ++i) {
            xy += double(x[size_t(lag) + i]) * y[i];
            xx += double(x[size_t(lag) + i]) * x[size_t(lag) + i];
        }
        if (xx > 0 && yy > 0)
            best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best;
}

// A PulseAudio server with a null sink "faults", on a socket of its own.
struct SoundServer {
    QString dir;
    QProcess process;
    QProcessEnvironment client = QProcessEnvironment::systemEnvironment();

    explicit SoundServer(const QString &d) : dir(d) {
        QDir().mkpath(dir + "/state");
        client.insert("PULSE_SERVER", "unix:" + dir + "/native");
    }
    ~SoundServer() { stop(); }
    bool start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_RUNTIME_PATH", dir);
        env.insert("PULSE_STATE_PATH", dir + "/state");
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); // no second server
        process.setProcessEnvironment(env);
        QFile::remove(dir + "/native"); // left by the last run
        process.start("pulseaudio",
                      {"--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                       "--load=module-null-sink sink_name=faults rate=48000",
                       "--load=module-native-protocol-unix socket=" + dir + "/native",
                       "--load=module-always-sink"});
        for (int i = 0; i < 50 && !QFile::exists(dir + "/native"); ++i)
            QTest::qWait(100);
        return process.state() == QProcess::Running && QFile::exists(dir + "/native");
    }
    void signal(int sig) { ::kill(pid_t(process.processId()), sig); }
    void stop() {
        if (process.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT); // a frozen server, too
        process.kill();
        process.waitForFinished();
    }
};

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
        QTRY_VERIFY_WITH_TIMEOUT(int(p_.notes(traceName, from).size()) >= expectedNotes, 10000);
        const auto notes = p_.notes(traceName, from);
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
            const QString what = QString::asprintf(
                "%s note %zu (%d): onset %.1f ms off, %.0f cents off", qPrintable(title), k,
                notes[k].note, double(onset - expected) * 1000 / kRate, cents);
            qInfo("%s", qPrintable(what));
            QVERIFY2(std::abs(onset - expected) <= kRate * 30 / 1000, qPrintable(what));
            QVERIFY2(std::fabs(cents) <= 50, qPrintable(what));
        }
    }

    // The Melody window's key D pressed: the level of its attack at the sink, 0 if it was
    // not heard within 50 cents of D.
    double keyHeard() {
        listen(300);
        const int from = traceSize();
        const long mark = recorded();
        p_.press("Melody", "push button", "D");
        listen(800);
        const auto notes = p_.notes("formmelody", from);
        const long onset = measure::firstAbove(audio_, 0.003f, size_t(mark));
        if (notes.size() != 1 || notes[0].note != 62 || onset < 0 ||
            std::fabs(centsOff(audio_, onset, kRate / 2, 62)) > 50)
            return 0;
        return measure::rms(audio_, size_t(onset), kRate / 10);
    }

  private slots:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || !runCommand("pactl", {"info"}))
            QFAIL("needs the X server and PulseAudio server of scripts/with-test-env");
        prefix_ = dir_.filePath("prefix");
        QString output;
        QVERIFY2(installInto(prefix_, &output), qPrintable(output));
        QVERIFY2(a11y::startSession(bus_), "no D-Bus session or accessibility bus");
        recorder_.start();
        listen(2500); // an idle null sink holds a new stream's first write for ~2 s
        p_.start(prefix_, QProcessEnvironment::systemEnvironment());
    }

    // The key as xdotool sends it: XTEST while the window has the focus, XSendEvent once
    // not. Closed on the press, the X server would repeat the key into the focus.
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
    // question waits; the same waits are long enough for a press and a key to act.
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
        QTest::qWait(1500);
        QVERIFY2(no.showing(), "the exit question went by itself");
        QVERIFY(a11y::typeKey(kEscape));
        QTest::qWait(1500);
        QVERIFY2(!no.showing(), "a key did not answer the exit question");
    }

    void oneQuestionInEachDrill() {
        // A 3-note melody in C4-B4 (no overtone near another note), an interval, a scale.
        QVERIFY(p_.press("Chords", "push button", "Melody")); // raised, for the clicks
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
        QVERIFY(!QTest::currentTestFailed() && p_.press("Intervals", "push button", "Scales"));
        QVERIFY(p_.press("Scales", "push button", "None (scales)"));
        QVERIFY(p_.press("Scales", "push button", "None (modes)"));
        QTest::qWait(300);
        QVERIFY(p_.press("Scales", "check box", "Major Pentatonic"));
        checkQuestion("Scales", "Formscales", 6);
    }

    // In test mode the answer is judged: "Right!" with right.wav, "Wrong!" with wrong.wav;
    // a screen reader hears the verdict, the answer (revealed with it) and the score.
    void testModeAnswersAreHeard() {
        const QStringList &names = kIntervalNames;
        QVERIFY(p_.press("Scales", "push button", "Intervals"));
        QVERIFY(p_.press("Intervals", "radio button", "Test mode"));
        A11yEvents announced("object:property-change:accessible-name");
        for (const bool right : {true, true, false}) {
            const int from = traceSize();
            QVERIFY(p_.press("Intervals", "push button", "New"));
            QTRY_COMPARE(p_.notes("Formintervalli", from).size(), size_t(2));
            const auto notes = p_.notes("Formintervalli", from);
            const int size = std::abs(notes[1].note - notes[0].note);
            listen(1500);
            const long mark = recorded();
            QVERIFY(p_.press("Intervals", "push button", names[right ? size : (size + 1) % 13]));
            const QString said = right ? "Right!" : "Wrong!";
            for (const QString &shown : {said, names[size]}) {
                QTRY_VERIFY(control("Intervals", "label", shown).valid());
                QTRY_VERIFY2(announced.heard("label", shown), qPrintable(shown + " unannounced"));
            }
            listen(900);
            const long onset = firstRise(audio_, mark);
            QVERIFY2(onset >= 0, qPrintable(said + " was not heard"));
            const QString file = right ? "right.wav" : "wrong.wav";
            const double match = matchesFile(audio_, onset, prefix_ + "/share/tonvik/" + file);
            qInfo("%s: matches %s by %.2f", qPrintable(said), qPrintable(file), match);
            QVERIFY2(match > 0.4, qPrintable(QString::asprintf("what was heard matches %s by %.2f",
                                                               qPrintable(file), match)));
        }
        for (const QString said : {"Questions: 3", "Right: 2", "Percentage: 66%"}) {
            QVERIFY2(control("Intervals", "label", said).valid(), qPrintable(said));
            QVERIFY2(announced.heard("label", said), qPrintable(said + " was not announced"));
        }
    }

    // Those answers in the Progress window (Ctrl+P): the period list, "Tick the weakest"
    // (no item has 5 answers yet), "Export CSV..." and --export-progress write them.
    void progressOfTheAnswers() {
        QVERIFY(runCommand("xdotool", {"search", "--name", "^Tonvik 1.0 Intervals$", "windowfocus",
                                       "--sync", "key", "ctrl+p"}));
        const A11yNode window = p_.window("Progress: Tonvik 1.0 Intervals");
        QVERIFY2(window.valid(), "Ctrl+P did not open the Progress window");
        const A11yNode period = a11y::waitFor(window, "combo box", "All", 5000);
        QVERIFY(period.click());
        QTest::qWait(300);
        QVERIFY(a11y::typeKey(kHome) && a11y::typeKey(kReturn)); // in the list it opened
        QTRY_COMPARE(period.name(), QString("Last 7 days"));
        QVERIFY(a11y::waitFor(window, "table cell", "66 %", 5000).valid()); // 2 of 3 today
        QVERIFY(a11y::waitFor(window, "push button", "Tick the weakest", 5000).press());
        const QString none = "No item has 5 answers or more in this period yet.";
        QVERIFY(a11y::waitFor(p_.app, "label", none, 5000).valid());
        QVERIFY(a11y::waitFor(p_.app, "push button", "OK", 5000).press()); // not a key: the
        QTRY_VERIFY(!a11y::waitFor(p_.app, "label", none, 0).valid());     // window may have it
        QVERIFY(a11y::waitFor(window, "push button", "Export CSV...", 5000).press());
        const A11yNode dialog = a11y::waitFor(p_.app, "dialog", "Export CSV", 5000);
        const auto names = dialog.findAll([](const A11yNode &n) {
            return n.role() == "text" && n.name().startsWith("File name");
        });
        QVERIFY2(names.size() == 1, "no file name to fill in");
        const QString saved = dir_.filePath("saved.csv"), exported = dir_.filePath("out.csv");
        QVERIFY(names[0].setText(saved));
        QTRY_COMPARE(names[0].text(), saved);
        const A11yNode save = a11y::waitFor(dialog, "push button", "Save", 5000);
        QTRY_VERIFY(save.enabled());
        // A press the dialog missed (it came once in a slowed run: nothing was written and
        // the dialog stayed) is made again; what is written is checked below either way.
        QVERIFY(save.press());
        if (!QTest::qWaitFor([&] { return QFileInfo(saved).size() > 0; }, 5000) &&
            dialog.showing()) {
            qInfo("Save pressed again: the dialog still showed \"%s\"",
                  qPrintable(names[0].text()));
            QVERIFY(save.press());
        }
        QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo(saved).size() > 0,
                                  qPrintable("nothing written; the dialog " +
                                             QString(dialog.showing() ? "still shows" : "is gone")),
                                  10000);
        QVERIFY(runCommand("env", {"HOME=" + p_.home.path(),
                                   "XDG_DATA_HOME=" + p_.home.filePath("XDG_DATA_HOME"),
                                   prefix_ + "/bin/tonvik", "--export-progress", exported}));
        QVERIFY(runCommand("cmp", {saved, exported})); // the same answers either way
        QFile csv(saved);
        QVERIFY(csv.open(QIODevice::ReadOnly) && csv.readAll().count(",intervals,") == 3);
        QVERIFY(a11y::waitFor(window, "table cell", "66 %", 5000).click()); // back to it
        QTest::qWait(300);
        QVERIFY(a11y::typeKey(kEscape));
        QTRY_VERIFY(!window.showing());
    }

    void optionsChangeTheInstrument() {
        QVERIFY(p_.press("Intervals", "push button", "Melody"));
        QVERIFY(control("Melody", "menu item", "Options").click());
        const A11yNode dialog = a11y::waitFor(p_.app, "dialog", "Settings", 5000);
        QVERIFY2(dialog.valid(), "the options dialog did not open");
        const auto instrument = dialog.findAll([](const A11yNode &n) {
            return n.role() == "combo box" && n.name().startsWith("24=");
        });
        QVERIFY2(instrument.size() == 1, "no list of instruments");
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
        // A note with the output running, and after it stopped (four seconds of silence)
        // while the question waited: it opens again and the note sounds whole.
        const auto playingStreams = [] {
            QString out;
            runCommand("pactl", {"list", "short", "sink-inputs"}, &out);
            return out.trimmed();
        };
        QVERIFY(p_.press("Melody", "push button", "Stop noise!"));
        const double running = keyHeard();
        QVERIFY(running > 0 && p_.press("Melody", "push button", "Stop noise!"));
        QVERIFY(!playingStreams().isEmpty());
        QVERIFY(p_.press("Melody", "push button", "Exit"));
        const auto no = a11y::waitFor(p_.app, "push button", "No", 5000);
        QTest::qWait(10000);
        QVERIFY2(no.showing() && p_.process.state() == QProcess::Running,
                 "the exit question did not wait for its answer");
        QVERIFY2(playingStreams().isEmpty(), "the output did not stop meanwhile");
        QVERIFY(no.press());
        const double reopened = keyHeard();
        QVERIFY2(reopened > 0.7 * running && reopened < 1.3 * running,
                 qPrintable(
                     QString("attack %1, with the output running %2").arg(reopened).arg(running)));
        // Yes: the windows close at once (as fast as Escape and No would have shown).
        QVERIFY(p_.press("Melody", "push button", "Exit"));
        QVERIFY(a11y::waitFor(p_.app, "push button", "Yes", 5000).press());
        QTest::qWait(300);
        QCOMPARE(p_.traceLines().filter("midiClose").join('|').remove(QRegularExpression("\\d+ ")),
                 QString("formmelody midiClose|Formintervalli midiClose"));
        QTRY_COMPARE_WITH_TIMEOUT(p_.process.state(), QProcess::NotRunning, 10000);
        QCOMPARE(p_.process.exitCode(), 0);
    }

    // The next run plays with the instrument the run before chose; one with --defaults
    // with the first run's, and leaves the kept settings as they were.
    void settingsComeBackAfterExit() {
        const QString conf = "XDG_CONFIG_HOME/tonvik/tonvik.conf";
        QFile last(p_.home.filePath(conf));
        for (const QStringList &run : {QStringList(), QStringList{"--defaults"}}) {
            Program p;
            QFile kept(p.home.filePath(conf));
            QVERIFY(QDir(p.home.path()).mkpath("XDG_CONFIG_HOME/tonvik") &&
                    last.copy(kept.fileName()));
            p.start(prefix_, QProcessEnvironment::systemEnvironment(), run, true);
            QTRY_COMPARE(
                p.traceLines().filter("formmelody programChange").value(0).section(' ', -1),
                QString(run.isEmpty() ? "40" : "24"));
            p.exit();
            QVERIFY(run.isEmpty() ||
                    (kept.open(QIODevice::ReadOnly) && last.open(QIODevice::ReadOnly) &&
                     kept.readAll() == last.readAll()));
        }
    }

    // No sound server at first: said once (title window, standard error) though tried
    // again; the windows play on. It comes, is killed, comes back: said, heard each time.
    // Frozen, it holds no window, and the program still ends when asked.
    void soundServerFaults() {
        SoundServer server(dir_.filePath("faults"));
        QProcessEnvironment env = server.client;
        env.insert("QT_LOGGING_RULES", "tonvik.audio.debug=true");
        Program p;
        p.start(prefix_, env);
        const QString message = "No audio output could be opened";
        QTRY_VERIFY_WITH_TIMEOUT(!p.app
                                      .findAll([&](const A11yNode &n) {
                                          return n.role() == "label" &&
                                                 n.name().startsWith(message);
                                      })
                                      .empty(),
                                 10000);
        QVERIFY(a11y::typeKey(0xff0d)); // Return
        QVERIFY(a11y::waitFor(p.app, "push button", "New", 10000).valid());
        QVERIFY(p.press("Melody", "push button", "E"));
        QTRY_COMPARE(p.notes().size(), size_t(1)); // the window still plays its part
        // Notes until the output has been tried again (ten seconds after the first try).
        const QString tried = "\"pulseaudio\" did not open";
        for (int i = 0; i < 20 && p.stderrText().count(tried) < 2; ++i, QTest::qWait(1000))
            QVERIFY(p.press("Melody", "push button", "E"));
        QVERIFY2(p.stderrText().count(tried) >= 2, qPrintable(p.stderrText()));
        QCOMPARE(p.stderrText().count(message), 1);

        for (const bool killed : {false, true}) {
            if (killed) {
                server.stop();
                QVERIFY(p.press("Melody", "push button", "D"));
                QTRY_VERIFY_WITH_TIMEOUT(p.stderrText().contains("The audio output stopped"),
                                         10000);
            }
            QVERIFY(server.start());
            MonitorRecorder sink;
            QVERIFY(sink.start("faults.monitor", server.client));
            bool back = false;
            for (int i = 0; i < 15 && !back; ++i) {
                QVERIFY(p.press("Melody", "push button", "G"));
                QTest::qWait(1500);
                back = measure::firstAbove(sink.take(), 0.003f) >= 0;
            }
            QVERIFY2(back, "no sound from the server");
            QTRY_COMPARE(p.stderrText().count("The sound is back."), killed ? 2 : 1);
        }

        QTest::qWait(5500); // past the idle stop: the next note opens a new output
        server.signal(SIGSTOP);
        for (const QString key : {"D", "E", "F"}) {
            const size_t before = p.notes().size();
            QVERIFY(p.press("Melody", "push button", key));
            QTRY_VERIFY_WITH_TIMEOUT(p.notes().size() == before + 1, 1000);
        }
        p.exit();
    }

    // right.wav gone or spoilt: "Right!" shows, with one warning however often it is due.
    // Judged answers are stored at once: a kill right after three loses none.
    void badFeedbackSoundAndAKill() {
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
            const QString db = prefix + "/progress.sqlite";
            Program p;
            p.start(prefix, env, {"--progress-db", db}, true);
            QVERIFY(p.press("Melody", "radio button", "Test mode"));
            for (int i = 1; i <= 3; ++i) {
                QVERIFY(p.press("Melody", "push button", "New"));
                QTRY_COMPARE(int(p.notes().size()), i);
                QVERIFY(p.press("Melody", "push button", kKeyNames[p.notes().back().note % 12]));
                QTRY_VERIFY(a11y::waitFor(p.window("Melody"), "label", "Right!", 0).valid());
            }
            QTRY_VERIFY(p.stderrText().contains("right.wav"));
            QCOMPARE(p.stderrText().count("right.wav"), 1);
            p.process.kill();
            p.process.waitForFinished();
            QCOMPARE(int(ProgressStore(db).answers("melody").size()), 3);
        }
    }

    // A MIDI keyboard (on a JACK server of the test's own) answers an interval and a chord,
    // right and wrong: the wrong one says what was played, the store keeps the notes.
    void midiKeyboardAnswers() {
        const QString server = QString("tonvik-e2e-%1").arg(QCoreApplication::applicationPid());
        qputenv("JACK_DEFAULT_SERVER", server.toUtf8());
        QProcess jack; // synchronous: no event lost on a busy machine
        jack.start("jackd", {"--no-realtime", "-S", "-n", server, "-d", "dummy"});
        const auto stopJack = qScopeGuard([&] { jack.terminate(), jack.waitForFinished(); });
        QTRY_VERIFY2_WITH_TIMEOUT(runCommand("jack_lsp", {}), "jackd did not start", 10000);
        auto keys = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "e2e");
        keys->openVirtualPort("keyboard");
        const QString db = dir_.filePath("keyboard.sqlite");
        Program p;
        p.start(prefix_, QProcessEnvironment::systemEnvironment(),
                {"--midi-in", "e2e:keyboard", "--progress-db", db}, true);
        QString previous = "Melody";
        for (const QString title : {"Intervals", "Chords", "Scales"}) {
            QVERIFY(p.press(previous, "push button", title));
            previous = title;
            QVERIFY(p.press(title, "radio button", "Test mode"));
            QVERIFY(runCommand("xdotool", {"search", "--name", "^(Tonvik 1.0 )?" + title + "$",
                                           "windowfocus", "--sync"})); // the keyboard plays there
            for (const bool right : {true, false}) {
                const int from = int(p.traceLines().size());
                QVERIFY(p.press(title, "push button", "New"));
                QTRY_VERIFY(p.notes({}, from).size() >= 2);
                QTest::qWait(title == "Scales" ? 4000 : 1500); // heard out
                const auto asked = p.notes({}, from);
                std::vector<int> notes = {57, 60, 64}; // A min, no chord on C
                QString said = "A min";
                if (title == "Intervals") {
                    const int size = std::abs(asked[1].note - asked[0].note);
                    const int played = right ? size : (size + 1) % 13;
                    notes = {70, 70 - played}; // downwards, from another note
                    said = kIntervalNames[played];
                } else if (title == "Scales") { // upwards, the last note a semitone high
                    static const QStringList names = {"C",  "C#", "D",  "D#", "E",  "F",
                                                      "F#", "G",  "G#", "A",  "A#", "B"};
                    notes.clear(), said.clear();
                    for (size_t i = 0;
                         i < asked.size() && (i == 0 || asked[i].note > asked[i - 1].note); ++i)
                        notes.push_back(asked[i].note);
                    notes.back() += right ? 0 : 1;
                    for (const int n : notes)
                        said += (said.isEmpty() ? "" : " ") + names[n % 12];
                } else if (right) {
                    notes = {asked[0].note - 12}; // doubled an octave below, the rest above
                    for (const TracedNote &n : asked)
                        notes.push_back(n.note + 12);
                }
                const unsigned char pad[] = {0x99, 38, 90}; // a drum pad first: no note
                keys->sendMessage(pad, 3);
                for (const unsigned char status : {0x90, 0x80})
                    for (const int n : notes) {
                        const unsigned char message[] = {status, static_cast<unsigned char>(n), 90};
                        keys->sendMessage(message, 3);
                        QTest::qWait(30);
                    }
                QVERIFY(a11y::waitFor(p.window(title), "label", right ? "Right!" : "Wrong!", 5000)
                            .valid());
                QCOMPARE(
                    a11y::waitFor(p.window(title), "label", "You played: " + said, 500).valid(),
                    !right);
            }
        }
        p.exit();
        const auto answers = ProgressStore(db).answers("chords");
        QVERIFY(answers.size() == 2 && answers.back().answeredKeys == "57 60 64");
        keys.reset(); // our port first, then the server
    }

    // A melody sung into the null sink's monitor answers it: "Right!" when its pitch
    // classes are the question's (an octave lower), "Wrong!" a semitone off. The
    // question itself plays into that monitor too and answers nothing.
    void voiceAnswersTheMelody() {
        const QString sung = dir_.filePath("sung.wav");
        Program p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LOGGING_RULES", "tonvik.listen.debug=true");
        // Played softly (kept from a run before): a quiet question must not answer either.
        QFile conf(p.home.filePath("XDG_CONFIG_HOME/tonvik/tonvik.conf"));
        QVERIFY(QDir(p.home.path()).mkpath("XDG_CONFIG_HOME/tonvik") &&
                conf.open(QIODevice::WriteOnly) && conf.write("[sound]\nvolume=24\n") > 0);
        conf.close();
        p.start(prefix_, env, {"--audio-in", "tonvik_null.monitor"}, true);
        QVERIFY(p.press("Melody", "radio button", "Test mode"));
        QVERIFY(chooseByKeys(a11y::waitFor(p.window("Melody"), "combo box", "1", 5000), "3"));
        for (const bool right : {true, false}) {
            const int from = int(p.traceLines().size());
            QVERIFY(p.press("Melody", "push button", "New"));
            QTRY_COMPARE(p.notes("formmelody", from).size(), size_t(3));
            QTest::qWait(3000); // the question and its ring: nothing is judged
            QVERIFY2(!a11y::waitFor(p.window("Melody"), "label", "Right!", 0).valid() &&
                         !a11y::waitFor(p.window("Melody"), "label", "Wrong!", 0).valid(),
                     "our own question answered itself");
            std::vector<int> keys;
            for (const auto &n : p.notes("formmelody", from))
                keys.push_back(48 + (n.note + (right ? 0 : 1)) % 12);
            QVERIFY(writeSung(sung, keys));
            QVERIFY(runCommand("paplay", {"--device=tonvik_null", sung}));
            QTRY_VERIFY2_WITH_TIMEOUT(
                a11y::waitFor(p.window("Melody"), "label", right ? "Right!" : "Wrong!", 0).valid(),
                qPrintable(p.stderrText() + p.traceLines().mid(from).join('\n')), 5000);
        }
        // What was heard last, and the level, are there for a screen reader.
        for (const QString shown : {"Heard: ", "Input level: "})
            QVERIFY2(p.window("Melody")
                             .findAll([&](const A11yNode &n) { return n.name().startsWith(shown); })
                             .size() == 1,
                     qPrintable(shown));
        // An interval: its second note sung alone, an octave lower. A chord: its notes one
        // by one, top first, in the singer's octave, its root last and highest. A scale:
        // upwards from its root.
        QString previous = "Melody";
        for (const QString title : {"Intervals", "Chords", "Scales"}) {
            QVERIFY(p.press(previous, "push button", title));
            QVERIFY(p.press(title, "radio button", "Test mode"));
            previous = title;
            const int from = int(p.traceLines().size());
            QVERIFY(p.press(title, "push button", "New"));
            QTRY_VERIFY(p.notes({}, from).size() >= 2);
            QTest::qWait(3000);
            QVERIFY2(!a11y::waitFor(p.window(title), "label", "Right!", 0).valid(),
                     "our own question answered itself");
            const auto asked = p.notes({}, from);
            std::vector<int> keys;
            if (title == "Intervals")
                keys = {asked[1].note % 12 + 48};
            for (size_t i = 0; title == "Chords" && i < asked.size(); ++i) // the root on top
                keys.push_back(asked[asked.size() - 1 - i].note % 12 +
                               (i + 1 < asked.size() ? 48 : 60));
            for (size_t i = 0; title == "Scales" && i < asked.size() &&
                               (i == 0 || asked[i].note > asked[i - 1].note);
                 ++i)
                keys.push_back(asked[i].note - 12);
            QVERIFY(writeSung(sung, keys));
            QVERIFY(runCommand("paplay", {"--device=tonvik_null", sung}));
            QTRY_VERIFY2_WITH_TIMEOUT(
                a11y::waitFor(p.window(title), "label", "Right!", 0).valid(),
                qPrintable(p.stderrText() + p.traceLines().mid(from).join('\n')), 5000);
        }
        p.exit();

        // A source that is not there: said once, and the keys still answer.
        Program q;
        q.start(prefix_, QProcessEnvironment::systemEnvironment(), {"--audio-in", "nowhere"}, true);
        QTRY_VERIFY(q.stderrText().contains("no audio input 'nowhere'"));
        QVERIFY(q.press("Melody", "push button", "E"));
        QTRY_COMPARE(q.notes().size(), size_t(1));
        QCOMPARE(q.stderrText().count("no audio input"), 1);
        q.exit();
    }

    void cleanupTestCase() {
        bus_.kill();
        bus_.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_e2e.moc"
