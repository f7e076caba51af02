// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SoundSettings.h"

SoundSettings &soundSettings() {
    static SoundSettings settings;
    return settings;
}
