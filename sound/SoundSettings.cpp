// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SoundSettings.h"

#include "sound/KeptSettings.h"

namespace {
struct Field {
    const char *key;
    int SoundSettings::*value;
    int min, max;
};
const Field kFields[] = {{"sound/volume", &SoundSettings::volume, 0, 127},
                         {"sound/instrument", &SoundSettings::instrument, 0, 127},
                         {"sound/channel", &SoundSettings::channel, 1, 16},
                         {"sound/pan", &SoundSettings::pan, 0, 127}};
} // namespace

SoundSettings &soundSettings() {
    static SoundSettings settings;
    return settings;
}

void SoundSettings::storeStartValues() {
    *this = SoundSettings{};
    if (KeptSettings *kept = KeptSettings::current())
        for (const Field &f : kFields)
            if (const auto value = kept->integer(f.key, f.min, f.max))
                this->*f.value = *value;
}

void SoundSettings::keep() const {
    if (KeptSettings *kept = KeptSettings::current())
        for (const Field &f : kFields)
            kept->set(f.key, this->*f.value);
}
