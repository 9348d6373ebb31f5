// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GstSupport.h"

#include <QString>

#include <gst/gst.h>

#include <functional>
#include <optional>

// Makes an element of the named factory, or says which element (and package) is missing.
GstRef<GstElement> makeElement(const char* factoryName, QString* error);

// Runs `work` on a thread of its own and waits for it at most `timeoutMs`. Work that overruns is
// abandoned, not cancelled: it finishes on its own later, holding only what it captured. For the
// clips' own pipelines, which touch no output; the output changes its state on its own thread.
bool finishesWithin(int timeoutMs, std::function<void()> work);

// A state change of `element`, bounded; nothing when it did not finish in time.
std::optional<GstStateChangeReturn> changeState(GstElement* element, GstState state, int timeoutMs);
