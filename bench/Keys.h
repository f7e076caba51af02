// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Presses and releases a key on the X server as a keyboard would (XTest), into the
// window that has the focus. False if there is no display or no XTest.
bool pressKey(const char *keysym);
// Moves the pointer to (x, y) on the screen, then presses and releases the left button
// there at once (XTest). False if there is no display or no XTest.
bool clickAt(int x, int y);
