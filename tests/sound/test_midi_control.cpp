// SPDX-License-Identifier: GPL-3.0-or-later
// MidiControl: values checked at the boundary and notes folded; MIDI ports found by
// name. (The trace and the stamps are read by the end-to-end and drill tests.)
#include "sound/MidiControl.h"
#include "sound/MidiPorts.h"
#include "tests_support/RecordingBackend.h"

#include <QTest>

class TestMidiControl : public QObject {
    Q_OBJECT

  private slots:
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
