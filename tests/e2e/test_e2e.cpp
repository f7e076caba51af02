// The installed program as a user meets it: started from its install prefix under the
// test run's X server, playing into the PulseAudio null sink, and driven from outside
// through the accessibility bus (controls found by role and accessible name, pressed
// through their actions, keys typed through the desktop). Every question's notes are
// checked twice: in the MIDI trace, and in what the null sink's monitor recorded.
//
// The cases run in order on one running program, as a person would use it.
#include "Accessibility.h"
#include "Installed.h"
#include "sound/Signal.h"
#include "tests_support/MonitorRecorder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>

namespace {

constexpr int kRate = 48000;
constexpr unsigned long kDown = 0xff54;
constexpr unsigned long kEscape = 0xff1b;

struct TracedNote {
    qint64 ms;
    int note;
};

double frequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Where a note starts near `expected`: where its fundamental starts to grow, in 10 ms
// windows a millisecond apart (the first step that rises by half as much as the
// steepest one). The same measure for every note, so its own lag is the same for all.
long onsetNear(const std::vector<float> &x, long expected, long radius, int note) {
    constexpr long window = kRate / 100, step = kRate / 1000;
    const double f0 = frequency(note);
    auto level = [&](long at) {
        return at < 0 ? 0.0 : signal::magnitudeAt(x, kRate, f0, size_t(at), size_t(window));
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

// How far (in cents) the note that starts at onset is from `note`: the strongest
// component within 80 cents of it (less than the semitone to a neighbouring note).
double centsOff(const std::vector<float> &x, long onset, long length, int note) {
    const long skip = kRate * 30 / 1000;
    const double f0 = frequency(note);
    const double f = signal::peakFrequency(x, kRate, f0 * std::pow(2.0, -80 / 1200.0),
                                           f0 * std::pow(2.0, 80 / 1200.0), size_t(onset + skip),
                                           size_t(std::max(length - skip, 2400L)));
    return 1200 * std::log2(f / f0);
}

// Where a sound starts after `from`, over whatever was still ringing then.
long firstRise(const std::vector<float> &x, long from) {
    float before = 0;
    for (long i = std::max(0L, from - kRate / 10); i < from && i < long(x.size()); ++i)
        before = std::max(before, std::fabs(x[size_t(i)]));
    return signal::firstAbove(x, std::max(0.003f, 4 * before), size_t(from));
}

// Types Down into a focused combo box until it shows `wanted`.
bool chooseByKeys(const A11yNode &combo, const QString &wanted) {
    for (int i = 0; i < 128 && combo.name() != wanted; ++i) {
        a11y::typeKey(kDown);
        QTest::qWait(20);
    }
    return combo.name() == wanted;
}

// The strongest frequency in the first 120 ms of a sound from its onset.
double soundPeak(const std::vector<float> &x, int rate, long onset) {
    return signal::peakFrequency(x, rate, 60, 3000, size_t(onset), size_t(rate * 120 / 1000));
}

// The same for a sound file.
double wavPeak(const QString &path) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    if (!f)
        return 0;
    std::vector<float> frames(size_t(info.frames * info.channels));
    sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    std::vector<float> mono(size_t(info.frames));
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = frames[i * size_t(info.channels)];
    return soundPeak(mono, info.samplerate, signal::firstAbove(mono, 0.003f));
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString prefix_, trace_;
    QProcess bus_, tonvik_;
    MonitorRecorder recorder_;
    std::vector<float> audio_; // everything the monitor recorded, from the start
    A11yNode app_;

    long recorded() {
        const auto more = recorder_.take();
        audio_.insert(audio_.end(), more.begin(), more.end());
        return long(audio_.size());
    }
    void listen(int ms) {
        for (int waited = 0; waited < ms; waited += 50) {
            QTest::qWait(50);
            recorded();
        }
    }

    QStringList traceLines() {
        QFile f(trace_);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // The note-ons of a window from trace line `from` on.
    std::vector<TracedNote> tracedNotes(const QString &window, int from) {
        std::vector<TracedNote> notes;
        const QStringList lines = traceLines();
        for (int i = from; i < lines.size(); ++i) {
            const QStringList f = lines[i].split(' ');
            if (f.size() == 6 && f[1] == window && f[2] == "noteOn")
                notes.push_back({f[0].toLongLong(), f[5].toInt()});
        }
        return notes;
    }

    A11yNode window(const QString &title) {
        const auto frames = app_.findAll([&](const A11yNode &n) {
            return n.role() == "frame" && n.name().endsWith(title) && n.showing();
        });
        return frames.empty() ? A11yNode() : frames.front();
    }
    A11yNode control(const A11yNode &in, const QString &role, const QString &name) {
        A11yNode n = a11y::waitFor(in, role, name, 5000);
        if (!n.valid())
            qWarning("no %s \"%s\" in %s", qPrintable(role), qPrintable(name),
                     qPrintable(in.name()));
        return n;
    }

    // Presses New in a window and checks the question it plays, in the trace (spacing
    // as the slider says) and at the sink (each note's pitch, onsets as traced).
    void checkQuestion(const QString &title, const QString &traceName, int expectedNotes) {
        const A11yNode w = window(title);
        QVERIFY2(w.valid(), qPrintable(title));
        const A11yNode slider = control(
            w, "slider",
            w.findAll([](const A11yNode &n) { return n.role() == "slider"; }).front().name());
        QVERIFY(slider.setValue(400));
        QTRY_COMPARE(slider.value(), 400.0);

        const int from = int(traceLines().size());
        listen(300);
        const long mark = recorded();
        QVERIFY(control(w, "push button", "New").press());
        QTRY_VERIFY2_WITH_TIMEOUT(int(tracedNotes(traceName, from).size()) >= expectedNotes,
                                  qPrintable(title + ":\n" + traceLines().mid(from).join('\n')),
                                  10000);
        const auto notes = tracedNotes(traceName, from);
        QVERIFY2(int(notes.size()) == expectedNotes, qPrintable(traceLines().mid(from).join('\n')));
        for (size_t k = 1; k < notes.size(); ++k)
            QCOMPARE(notes[k].ms - notes[k - 1].ms, qint64(400));
        listen(600 + 400 * expectedNotes);

        const long heard = firstRise(audio_, mark);
        QVERIFY2(heard >= 0, "nothing reached the null sink");
        const long first = onsetNear(audio_, heard, kRate * 40 / 1000, notes[0].note);
        for (size_t k = 0; k < notes.size(); ++k) {
            const long expected = first + (notes[k].ms - notes[0].ms) * kRate / 1000;
            const long onset = onsetNear(audio_, expected, kRate * 40 / 1000, notes[k].note);
            QVERIFY2(std::abs(onset - expected) <= kRate * 30 / 1000,
                     qPrintable(QString("note %1 starts %2 ms from where it should")
                                    .arg(k)
                                    .arg((onset - expected) * 1000.0 / kRate)));
            const double cents = centsOff(audio_, onset, kRate * 360 / 1000, notes[k].note);
            qInfo("%s note %d (%d): onset %+.1f ms, %+.0f cents (at %.3f s)", qPrintable(title),
                  int(k), notes[k].note, (onset - expected) * 1000.0 / kRate, cents,
                  double(onset) / kRate);
            QVERIFY2(
                std::fabs(cents) <= 50,
                qPrintable(
                    QString("note %1 (%2) is %3 cents off").arg(k).arg(notes[k].note).arg(cents)));
        }
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        if (qEnvironmentVariableIsEmpty("DISPLAY") || !runCommand("pactl", {"info"}))
            QFAIL("needs the X server and PulseAudio server of scripts/with-test-env");

        // Install the program as a user would, into a fresh prefix.
        prefix_ = dir_.filePath("prefix");
        QString output;
        QVERIFY2(installInto(prefix_, &output), qPrintable(output));

        // A session bus of our own; the accessibility bus starts on it when asked for.
        QVERIFY2(a11y::startSession(bus_), "no D-Bus session or accessibility bus");

        recorder_.start();
        listen(2500); // an idle null sink holds a new stream's first write for ~2 s

        trace_ = dir_.filePath("trace.txt");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.insert("TONVIK_MIDI_TRACE", trace_);
        tonvik_.setProcessEnvironment(env);
        tonvik_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tonvik_.start(prefix_ + "/bin/tonvik", {});
        QVERIFY(tonvik_.waitForStarted());
        app_ = a11y::application("tonvik", 15000);
        QVERIFY2(app_.valid(), "the program did not appear on the accessibility bus");
    }

    // The key goes to the title window the way automation tools send it: xdotool types
    // into the window it names, by XTEST while that window has the focus and by
    // XSendEvent once it has not. Were the window to close on the press, the release
    // would go the second way and the X server would keep the key held down, repeating
    // it into whatever has the focus (see noPhantomPresses). Press and release are
    // sent apart so that this does not hang on how fast the program is.
    void splashThenAKeyOpensMelody() {
        QVERIFY(a11y::waitFor(app_, "label", "Hit a button !", 10000).valid());
        QString title;
        QVERIFY(runCommand(
            "xdotool",
            {"search", "--sync", "--onlyvisible", "--pid", QString::number(tonvik_.processId())},
            &title));
        title = title.trimmed().section('\n', 0, 0);
        QVERIFY(runCommand("xdotool", {"windowfocus", "--sync", title}));
        QVERIFY(runCommand("xdotool", {"keydown", "--window", title, "space"}));
        QTest::qWait(500);
        QVERIFY(runCommand("xdotool", {"keyup", "--window", title, "space"}));
        QVERIFY(a11y::waitFor(app_, "push button", "New", 10000).valid());
        QVERIFY(window("Melody").valid());
        QVERIFY(!a11y::waitFor(app_, "label", "Hit a button !", 0).valid());
    }

    // Before any other key is typed (a key pressed stops the X server repeating the
    // last one): nothing presses the focused box "maj" but the presets, and the exit
    // question waits.
    void noPhantomPresses() {
        QVERIFY(window("Melody").find("push button", "Chords").press());
        const A11yNode chords = a11y::waitFor(app_, "frame", "Tonvik 1.0 Chords", 5000);
        const A11yNode maj = control(chords, "check box", "maj");
        for (const QString preset : {"None", "All", "None", "All"}) {
            control(chords, "push button", preset).press();
            QTest::qWait(700);
            QCOMPARE(maj.checked(), preset == "All");
        }
        QVERIFY(control(chords, "push button", "Exit").press());
        const A11yNode no = a11y::waitFor(app_, "push button", "No", 5000);
        QTest::qWait(3000);
        QVERIFY2(no.showing(), "the exit question went by itself");
        QVERIFY(no.press());
        QTest::qWait(300);
    }

    // Every control of a drill window has a name and a description, and the combo
    // boxes are labelled.
    void everyControlIsNamedAndDescribed() {
        for (const QString title : {"Intervals", "Chords", "Scales", "Melody"}) {
            A11yNode w = window(title);
            if (!w.valid()) {
                QVERIFY(window("Melody").find("push button", title).press());
                QTRY_VERIFY(window(title).valid());
                w = window(title);
            }
            const auto controls = w.findAll([](const A11yNode &n) {
                static const QStringList roles{"push button", "check box", "radio button", "slider",
                                               "combo box"};
                return roles.contains(n.role());
            });
            QVERIFY(controls.size() > 20);
            for (const A11yNode &c : controls) {
                const QString what = title + ": " + c.role() + " \"" + c.name() + "\"";
                QVERIFY2(!c.name().isEmpty(), qPrintable(what));
                QVERIFY2(!c.description().isEmpty(), qPrintable(what + " has no description"));
                if (c.role() == "combo box")
                    QVERIFY2(!c.labelledBy().isEmpty(), qPrintable(what + " has no label"));
            }
        }
    }

    void aKeyPlaysItsNote() {
        QVERIFY(window("Scales").find("push button", "Melody").press()); // back to Melody
        listen(300);
        const int from = int(traceLines().size());
        const long mark = recorded();
        QVERIFY(a11y::typeKey('s')); // D
        QTRY_COMPARE(tracedNotes("formmelody", from).size(), size_t(1));
        QCOMPARE(tracedNotes("formmelody", from)[0].note, 62);
        listen(800);
        const long onset = signal::firstAbove(audio_, 0.003f, size_t(mark));
        QVERIFY2(onset >= 0, "the key was not heard");
        QVERIFY(std::fabs(centsOff(audio_, onset, kRate / 2, 62)) <= 50);
    }

    void oneQuestionInEachDrill() {
        // Three notes of a melody, an interval, a chord as an arpeggio, a scale. The
        // melody keeps to one octave (C4-B4), so that no note's overtone lies within
        // a semitone of another note's pitch.
        const A11yNode melody = window("Melody");
        const auto nones = melody.findAll(
            [](const A11yNode &n) { return n.role() == "push button" && n.name() == "NONE"; });
        QCOMPARE(nones.size(), size_t(2)); // pitch classes, octaves
        QVERIFY(nones[1].press());
        QTest::qWait(300); // a pressed button clicks a moment later
        QVERIFY(control(melody, "check box", "5th").press());
        const A11yNode count = control(melody, "combo box", "1");
        QVERIFY(count.click()); // opens the list; Escape closes it, leaving the focus
        QTest::qWait(300);
        QVERIFY(a11y::typeKey(kEscape));
        QTest::qWait(200);
        QVERIFY(chooseByKeys(count, "3"));
        checkQuestion("Melody", "formmelody", 3);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(melody.find("push button", "Intervals").press());
        checkQuestion("Intervals", "Formintervalli", 2);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(window("Intervals").find("push button", "Chords").press());
        QVERIFY(control(window("Chords"), "radio button", "Arpeggio").press());
        QTest::qWait(200);
        const A11yNode chords = window("Chords");
        control(chords, "push button", "None").press();
        QTest::qWait(300);                           // a pressed button clicks a moment later
        control(chords, "check box", "maj").press(); // only "maj": three notes
        checkQuestion("Chords", "Formchords", 3);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(chords.find("push button", "Scales").press());
        const A11yNode scales = window("Scales");
        control(scales, "push button", "None (scales)").press();
        control(scales, "push button", "None (modes)").press();
        QTest::qWait(300);
        control(scales, "check box", "Major Pentatonic").press();
        checkQuestion("Scales", "Formscales", 6);
    }

    // In test mode the answer is judged: "Right!" with right.wav, "Wrong!" with wrong.wav;
    // a screen reader hears the verdict, the answer and the score.
    void testModeAnswersAreHeard() {
        static const QStringList names{"Unison",    "2nd minor",   "2nd major",      "3rd minor",
                                       "3rd major", "Perfect 4th", "5th diminished", "Perfect 5th",
                                       "6th minor", "6th major",   "7th minor",      "7th major",
                                       "Octave"};
        QVERIFY(window("Scales").find("push button", "Intervals").press());
        const A11yNode w = window("Intervals");
        QVERIFY(w.valid());
        QVERIFY(control(w, "radio button", "Test mode").press());
        // What a screen reader hears: the feedback label, and the revealed answer.
        A11yEvents announced("object:property-change:accessible-name");
        for (const bool right : {true, true, false}) {
            const int from = int(traceLines().size());
            QVERIFY(control(w, "push button", "New").press());
            QTRY_COMPARE(tracedNotes("Formintervalli", from).size(), size_t(2));
            const auto notes = tracedNotes("Formintervalli", from);
            const int size = std::abs(notes[1].note - notes[0].note);
            const QString answer = names[right ? size : (size + 1) % 13];
            listen(1500);
            const long mark = recorded();
            QVERIFY(control(w, "push button", answer).press());
            const QString said = right ? "Right!" : "Wrong!";
            QTRY_VERIFY(!w.findAll([&](const A11yNode &n) {
                              return n.role() == "label" && n.text() == said;
                          }).empty());
            QTRY_VERIFY2(announced.heard("label", said), qPrintable(said + " was not announced"));

            listen(900);
            const long onset = firstRise(audio_, mark);
            QVERIFY2(onset >= 0, qPrintable(said + " was not heard"));
            const double heard = soundPeak(audio_, kRate, onset);
            const double expected =
                wavPeak(prefix_ + "/share/tonvik/" + (right ? "right.wav" : "wrong.wav"));
            QVERIFY2(std::fabs(heard - expected) < 0.03 * expected,
                     qPrintable(QString("heard %1 Hz, %2 has %3 Hz")
                                    .arg(heard)
                                    .arg(right ? "right.wav" : "wrong.wav")
                                    .arg(expected)));
        }
        for (const QString said : {"Questions: 3", "Right: 2", "Percentage: 66%"}) {
            QVERIFY2(control(w, "label", said).valid(), qPrintable(said));
            QVERIFY2(announced.heard("label", said), qPrintable(said + " was not announced"));
        }
        QVERIFY(control(w, "radio button", "No test").press());

        // Outside test mode the answer can be revealed; it is announced too.
        QVERIFY(control(w, "push button", "New").press());
        QTest::qWait(1500);
        QVERIFY(control(w, "push button", "Reveal").press());
        QString answer;
        QTRY_VERIFY(!(answer =
                          [&] {
                              const auto labels = w.findAll([](const A11yNode &n) {
                                  return n.role() == "label" && n.description() == "Answer";
                              });
                              return labels.empty() ? QString() : labels.front().text();
                          }())
                         .isEmpty());
        QTRY_VERIFY2(announced.heard("label", answer),
                     qPrintable("the revealed answer \"" + answer + "\" was not announced"));
    }

    void optionsChangeTheInstrument() {
        QVERIFY(window("Intervals").find("push button", "Melody").press());
        const A11yNode melody = window("Melody");
        QVERIFY(control(melody, "menu item", "Options").click());
        const A11yNode dialog = a11y::waitFor(app_, "dialog", "Settings", 5000);
        QVERIFY2(dialog.valid(), "the options dialog did not open");
        const auto combos =
            dialog.findAll([](const A11yNode &n) { return n.role() == "combo box"; });
        A11yNode instrument;
        for (const A11yNode &c : combos)
            if (c.labelledBy().contains("Instrument", Qt::CaseInsensitive))
                instrument = c;
        QVERIFY2(instrument.valid(), "no combo box labelled Instrument");
        QVERIFY(instrument.click());
        QTest::qWait(300);
        QVERIFY(a11y::typeKey(kEscape));
        QTest::qWait(200);
        QVERIFY(chooseByKeys(instrument, "40=Violin"));
        const int from = int(traceLines().size());
        QVERIFY(a11y::typeKey(kEscape)); // the dialog applies what it shows as it closes
        QTRY_VERIFY(!a11y::waitFor(app_, "dialog", "Settings", 0).valid());

        // The window that opened the dialog plays with the new instrument.
        QVERIFY(control(melody, "push button", "New").press());
        QTRY_VERIFY2(
            traceLines().mid(from).filter(QRegularExpression(" programChange \\d+ 40$")).size() > 0,
            qPrintable(traceLines().mid(from).join('\n')));
    }

    // The exit question: Escape and No leave every window as it was and send nothing;
    // it waits for its answer however long that takes; Yes ends the program.
    void exitQuestion() {
        QTest::qWait(1500); // the last question's notes are all out
        const int windows =
            int(app_.findAll([](const A11yNode &n) { return n.role() == "frame" && n.showing(); })
                    .size());
        QCOMPARE(windows, 4);
        const int lines = int(traceLines().size());
        for (const bool byEscape : {true, false}) {
            QVERIFY(control(window("Chords"), "push button", "Exit").press());
            const A11yNode box = a11y::waitFor(app_, "alert", "Tonvik 1.0", 5000);
            QVERIFY2(box.valid(), "no exit question");
            QVERIFY(control(box, "label", "Exit from Tonvik 1.0?").valid());
            QVERIFY(!box.findAll([](const A11yNode &n) { return n.role() == "image"; }).empty());
            QVERIFY(control(box, "push button", "Yes").isDefault());
            if (byEscape)
                QVERIFY(a11y::typeKey(kEscape));
            else
                QVERIFY(control(box, "push button", "No").press());
            QTRY_VERIFY(!a11y::waitFor(app_, "alert", "Tonvik 1.0", 0).valid());
            QTest::qWait(300);
            QCOMPARE(int(app_.findAll([](const A11yNode &n) {
                                 return n.role() == "frame" && n.showing();
                             })
                             .size()),
                     windows);
            QVERIFY2(int(traceLines().size()) == lines,
                     qPrintable(traceLines().mid(lines).join('\n')));
        }
        QVERIFY(control(window("Melody"), "push button", "Exit").press());
        const auto yes = a11y::waitFor(app_, "push button", "Yes", 5000);
        QVERIFY2(yes.valid(), "no exit question");
        QTest::qWait(10000);
        QVERIFY2(yes.showing() && tonvik_.state() == QProcess::Running,
                 "the exit question did not wait for its answer");
        QVERIFY(yes.press());
        QVERIFY(tonvik_.waitForFinished(10000));
        QCOMPARE(tonvik_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tonvik_.exitCode(), 0);
    }

    void cleanupTestCase() {
        // TONVIK_E2E_AUDIO=FILE keeps what the monitor recorded (48 kHz mono float).
        if (const QString keep = qEnvironmentVariable("TONVIK_E2E_AUDIO"); !keep.isEmpty()) {
            QFile f(keep);
            if (f.open(QIODevice::WriteOnly))
                f.write(reinterpret_cast<const char *>(audio_.data()),
                        qint64(audio_.size() * sizeof(float)));
            QFile::copy(trace_, keep + ".trace");
        }
        if (tonvik_.state() != QProcess::NotRunning) {
            tonvik_.kill();
            tonvik_.waitForFinished();
        }
        bus_.kill();
        bus_.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_e2e.moc"
