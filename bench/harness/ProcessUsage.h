// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

namespace e2e {

// What a process has used so far, over all its threads.
struct Usage {
    double cpuSeconds = 0;
    long rssKb = 0;
    long switches = 0;  // context switches of all its threads: each wake-up costs at least one
    long voluntary = 0; // of those, the ones where a thread waited; the rest were preempted
};

Usage usageOf(qint64 pid);

} // namespace e2e
