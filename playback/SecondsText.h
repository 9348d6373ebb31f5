// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Seconds as the progress display shows them: at most 15 significant digits, no trailing
// zeros, the locale's decimal separator. The end-of-clip test compares two such texts, so
// every position and duration shown goes through this one function.
QString SecondsText(double seconds);
