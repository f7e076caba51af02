// SPDX-License-Identifier: GPL-3.0-or-later
#include "theory/RootChoice.h"

#include "theory/Random.h"

namespace rootchoice {

QStringList entries() {
    return {"Random",   "Fixed C", "Fixed C#", "Fixed D", "Fixed D#", "Fixed E", "Fixed F",
            "Fixed F#", "Fixed G", "Fixed G#", "Fixed A", "Fixed A#", "Fixed B"};
}

int candidateRoot(int entry) {
    return (entry != 0 ? entry : Random::entry(12)) + 59;
}

} // namespace rootchoice
