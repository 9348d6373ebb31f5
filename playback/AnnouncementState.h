// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// Steps of an announcement, as ClipStep and SequenceStep hold them. The short chain is
// 11, 1, 2, 3, 4; the long chain adds the words for hour and minutes: 11, 1, 2, 22, 3, 33, 4.
namespace Step {
constexpr int Preamble = 11;
constexpr int TheTimeIs = 1;
constexpr int HourNumber = 2;
constexpr int HourWord = 22;
constexpr int MinuteNumber = 3;
constexpr int MinuteWord = 33;
constexpr int Final = 4;
} // namespace Step

// Where the announcement stands. The step variables are empty until the first announcement
// has set them; an empty step equals no step number.
struct AnnouncementState {
    std::optional<int> ClipStep;     // the step the next load loads
    std::optional<int> SequenceStep; // the step issued when the playing clip has ended
    int AnnounceBusy = 0;            // 1 while the announcement still has clips to load
    QString ClipPath;                // the clip file to load next
};
