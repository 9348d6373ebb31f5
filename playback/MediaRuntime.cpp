// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaRuntime.h"

#include "GstGraph.h"

#include <gst/gst.h>

bool initMediaRuntime(QString* error) {
    // GStreamer's own SIGSEGV handler, set while it loads a plugin, would end the process with
    // exit() and so bypass the handler that releases the transmitter on a crash.
    gst_segtrap_set_enabled(FALSE);
    GError* gerror = nullptr;
    if (gst_init_check(nullptr, nullptr, &gerror))
        return true;
    *error = QString::fromUtf8(gerror ? gerror->message : "unknown error");
    g_clear_error(&gerror);
    return false;
}

std::unique_ptr<GraphFactory> createPlatformGraphFactory(const QString& sinkDescription, int longestHoldMs) {
    return std::make_unique<GstGraphFactory>(sinkDescription, longestHoldMs);
}
