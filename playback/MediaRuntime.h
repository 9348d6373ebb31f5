// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FilterGraph.h"

#include <QString>

#include <memory>

// The media framework behind the player: initialised once per process, before any graph.
bool initMediaRuntime(QString* error);

// GStreamer graphs: one pipeline per clip, all decoding into one output stream. An empty sink
// description plays on the desktop's default audio output, and a clip refuses to load when no
// device is there; otherwise the description is a gst-launch style chain ending in a sink, such
// as "alsasink device=hw:1".
// longestHoldMs is the transmit time-out (0: none): an output that buffers that much is refused.
std::unique_ptr<GraphFactory> createPlatformGraphFactory(const QString& sinkDescription,
                                                         int longestHoldMs = 0);
