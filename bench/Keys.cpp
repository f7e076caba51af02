// SPDX-License-Identifier: GPL-3.0-or-later
#include "Keys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <thread>

bool pressKey(const char *keysym) {
    static Display *display = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor))
        return false;
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysym));
    XTestFakeKeyEvent(display, code, True, 0);
    XFlush(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    XTestFakeKeyEvent(display, code, False, 0);
    XFlush(display);
    return true;
}

bool clickAt(int x, int y) {
    static Display *display = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor))
        return false;
    XTestFakeMotionEvent(display, -1, x, y, 0);
    XFlush(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // hover effects first
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XFlush(display);
    return true;
}
