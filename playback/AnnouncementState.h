#pragma once

#include <QString>

#include <optional>

// Where the announcement stands. The step variables are empty until the first announcement
// has set them; an empty step equals no step number.
struct AnnouncementState {
    std::optional<int> ClipStep;     // the step the next load loads
    std::optional<int> SequenceStep; // the step issued when the playing clip has ended
    int AnnounceBusy = 0;            // 1 while the announcement still has clips to load
    QString ClipPath;                // the clip file to load next
};
