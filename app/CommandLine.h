// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct CommandLineOptions {
    QString soundFont;
    QString audioDriver;
    QString midiOut;              // a MIDI output port to play through instead of the synthesiser
    QString midiIn;               // a MIDI input port whose notes answer in test mode
    QString audioIn;              // a PulseAudio source whose sung or played notes answer
    int pitchToleranceCents = 50; // how near its mean a sung note's pitch must stay
    bool listMidiPorts = false;
    QString progressDb;     // the answers' store instead of the default one
    QString exportProgress; // write the answers to this CSV file and exit
    int latencyMs = 0;      // the audio buffer asked for; 0: the driver's own
    bool soundInfo = false; // open the output, say how it runs and exit
    bool defaults = false;  // start from the defaults; read and write no kept settings
};

struct CommandLineResult {
    std::optional<CommandLineOptions> options; // set when the program is to run
    int exitCode = 0;                          // otherwise: exit with this code
    QString output;                            // text for standard output
    QString error;                             // text for standard error
};

// Parses the command line (file names as fileNameFromBytes reads them). --help and --version answer
// and exit with 0; an unknown option, a missing value or a bad value gives a clear message and exit
// code 2.
CommandLineResult parseCommandLine(const QStringList &arguments, const QStringList &drivers);
