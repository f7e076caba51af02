// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Presses and releases a key on the X server as a keyboard would (XTest), into the
// window that has the focus. False if there is no display or no XTest.
bool pressKey(const char *keysym);
