// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The four sound settings of the run, shared by every drill window. The values chosen
// are kept for the next run in the settings file (KeptSettings), where there is one.
struct SoundSettings {
    int volume = 100;    // velocity of every note, 0-127
    int instrument = 24; // General MIDI program, 0-127
    int channel = 1;     // MIDI channel, 1-16
    int pan = 64;        // 0 left, 64 centre, 127 right

    // Stores the start values (the Melody window does this when it loads): those kept
    // from the run before, where there are, else the defaults above.
    void storeStartValues();
    // Keeps the current values for the next run.
    void keep() const;
};

// The module that holds the settings for the whole program.
SoundSettings &soundSettings();
