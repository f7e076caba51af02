// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SoundSettings.h"

SoundSettings &variabiliglobali() {
    static SoundSettings settings;
    return settings;
}
