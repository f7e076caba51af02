// MidiControl: values checked at the boundary, notes folded, operations stamped on the
// playback's logical clock and written to the trace file; MIDI ports found by name.
#include "sound/MidiControl.h"
#include "sound/MidiPorts.h"
#include "tests_support/RecordingBackend.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace std::chrono_literals;

class TestMidiControl : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString tracePath;

  private slots:
    void initTestCase() {
        // The trace file is opened by the first operation of the process.
        tracePath = dir.filePath("trace.txt");
        qputenv("TONVIK_MIDI_TRACE", tracePath.toLocal8Bit());
    }

    void checksValuesAndFoldsHighNotes() {
        RecordingBackend rec;
        MidiControl midi("Formtest");
        // Notes above 127 keep their pitch class, whole octaves down.
        for (const auto &[channel, velocity, note] :
             {std::tuple{16, 127, 127}, {1, 0, 0}, {1, 100, 128}, {1, 100, 131}})
            QVERIFY(midi.noteOn(channel, velocity, note));
        QVERIFY(midi.noteOff(1, 130));
        for (const auto &[channel, velocity, note] :
             {std::tuple{0, 100, 60}, {17, 100, 60}, {1, -1, 60}, {1, 128, 60}, {1, 100, -5}})
            QVERIFY(!midi.noteOn(channel, velocity, note));
        QVERIFY(!midi.noteOff(0, 60) && !midi.programChange(1, 128) && !midi.programChange(-3, 0) &&
                !midi.setPan(1, 128));
        QVERIFY(midi.programChange(2, 127) && midi.setPan(3, 0));
        midi.allNotesOff();
        QCOMPARE(rec.lines("Formtest"),
                 QStringList({"noteOn 16 127 127", "noteOn 1 0 0", "noteOn 1 100 116",
                              "noteOn 1 100 119", "noteOff 1 118", "programChange 2 127",
                              "setPan 3 0", "allNotesOff"}));
        for (int n = 128; n < 200; ++n)
            QCOMPARE(MidiControl::playableNote(n) % 12, n % 12);
        QVERIFY(MidiControl::playableNote(200) <= 127);
    }

    void playbackStampsAreLogicalNotWallClock() {
        RecordingBackend rec;
        MidiControl midi("Formtest");
        {
            PlaybackClock::Scope playback;
            midi.noteOn(1, 100, 60);
            const TimePoint due = PlaybackClock::advance(250);
            std::this_thread::sleep_for(30ms); // the thread wakes late or early: no matter
            QVERIFY(SteadyClock::now() < due);
            midi.noteOn(1, 100, 72);
            PlaybackClock::advance(0);
            midi.noteOn(1, 100, 84);
        }
        const auto &c = rec.calls();
        QCOMPARE(int(c.size()), 3);
        QCOMPARE(c[1].op.stamp - c[0].op.stamp, SteadyClock::duration(250ms));
        QCOMPARE(c[2].op.stamp, c[1].op.stamp);
        // Outside a playback an operation is stamped with the time it is made.
        const TimePoint before = SteadyClock::now();
        midi.noteOn(1, 100, 60);
        QVERIFY(rec.calls().back().op.stamp >= before);
    }

    void traceHasOneLinePerOperation() {
        RecordingBackend rec;
        MidiControl a("formmelody"), b("Formchords");
        a.midiOpen();
        a.noteOn(1, 100, 130);
        b.programChange(4, 40);
        b.setPan(4, 0);
        b.noteOn(0, 100, 60); // refused: not an operation, not traced
        a.noteOff(1, 60);
        a.allNotesOff();
        a.midiClose();
        QFile file(tracePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        lines = lines.mid(lines.size() - 7);
        QStringList rest;
        qint64 previous = -1;
        for (const QString &line : lines) {
            const int space = line.indexOf(' ');
            bool ok = false;
            const qint64 ms = line.left(space).toLongLong(&ok);
            QVERIFY2(ok && ms >= previous, qPrintable(line));
            previous = ms;
            rest << line.mid(space + 1);
        }
        QCOMPARE(rest, QStringList({"formmelody midiOpen", "formmelody noteOn 1 100 118",
                                    "Formchords programChange 4 40", "Formchords setPan 4 0",
                                    "formmelody noteOff 1 60", "formmelody allNotesOff",
                                    "formmelody midiClose"}));
    }

    void portsAreFoundByNameOrAPartFittingOnlyOne() {
        const std::vector<MidiPort> ports{{"alsa", "Midi Through:Midi Through Port-0 14:0"},
                                          {"jack", "synth:midi_in"},
                                          {"jack", "synth:midi_in_2"}};
        QString error;
        QCOMPARE(findMidiPort(ports, "synth:midi_in", &error)->name, "synth:midi_in");
        QCOMPARE(findMidiPort(ports, "jack: synth:midi_in_2", &error)->name, "synth:midi_in_2");
        QCOMPARE(findMidiPort(ports, "through", &error)->api, "alsa");
        const std::pair<QString, QString> refused[] = {{"synth", "could be any of"},
                                                       {"fluid", "no MIDI port is called"}};
        for (const auto &[name, message] : refused) {
            QVERIFY(!findMidiPort(ports, name, &error));
            QVERIFY2(error.contains(message), qPrintable(error));
        }
        QVERIFY(!findMidiPort({}, "fluid", &error));
        QVERIFY2(error.contains("there are none"), qPrintable(error));
    }
};

QTEST_MAIN(TestMidiControl)
#include "test_midi_control.moc"
