#pragma once

#include <QDateTime>

// The local wall clock. Tests replace it with one they can set and advance.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
