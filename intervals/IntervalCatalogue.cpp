#include "intervals/IntervalCatalogue.h"

namespace intervals {

int rootFor(int rootEntry, int randomEntry) {
    return (rootEntry != 0 ? rootEntry : randomEntry) + 59;
}

int secondNote(int root, int interval, Direction direction) {
    return direction == Direction::Descending ? root - interval : root + interval;
}

} // namespace intervals
