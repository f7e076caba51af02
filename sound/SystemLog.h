// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The ALSA and JACK libraries print to standard error on their own (a missing device,
// no JACK server running), every time one is tried. Tonvik says once, plainly, what
// is wrong; these details go to the log (QT_LOGGING_RULES="tonvik.system=true").
void routeSystemLogs();
