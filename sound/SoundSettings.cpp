#include "sound/SoundSettings.h"

SoundSettings &variabiliglobali() {
    static SoundSettings settings;
    return settings;
}
