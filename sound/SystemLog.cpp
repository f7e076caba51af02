// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SystemLog.h"

#include <QLoggingCategory>
#include <cstdarg>
#include <cstdio>
#ifdef TONVIK_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#ifdef TONVIK_HAVE_JACK
#include <jack/jack.h>
#endif
#ifdef TONVIK_HAVE_GLIB
#include <glib.h>
#endif

Q_LOGGING_CATEGORY(lcSystem, "tonvik.system", QtWarningMsg)

namespace {

#ifdef TONVIK_HAVE_ALSA
void alsaLog(const char *file, int line, const char *function, int err, const char *fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    qCDebug(lcSystem, "ALSA %s:%d (%s) %s%s%s", file, line, function, text, err ? ": " : "",
            err ? snd_strerror(err) : "");
}
#endif

#ifdef TONVIK_HAVE_JACK
void jackLog(const char *text) {
    qCDebug(lcSystem, "JACK %s", text);
}
#endif

#ifdef TONVIK_HAVE_GLIB
// The sound font loader's libraries (FluidSynth's instrument patch library among them)
// print their assertions through GLib: a damaged font is ours to explain, not theirs.
void glibLog(const gchar *domain, GLogLevelFlags level, const gchar *text, gpointer) {
    qCDebug(lcSystem, "GLib %s (level %d) %s", domain ? domain : "-", int(level), text);
}
#endif

} // namespace

void routeSystemLogs() {
#ifdef TONVIK_HAVE_GLIB
    g_log_set_default_handler(glibLog, nullptr);
#endif
#ifdef TONVIK_HAVE_ALSA
    snd_lib_error_set_handler(alsaLog);
#endif
#ifdef TONVIK_HAVE_JACK
    jack_set_error_function(jackLog);
    jack_set_info_function(jackLog);
#endif
}
