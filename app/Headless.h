// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether a window system can be reached: a Wayland socket, or an X display whose local
// socket accepts connections. Remote X displays are assumed reachable.
bool displayReachable();
