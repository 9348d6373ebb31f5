// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the clock scheduler reads and writes of the main window.
class SchedulePanel {
public:
    virtual ~SchedulePanel() = default;
    virtual bool Option1() const = 0; // "12 hora": the 12-hour form of HH
    // Check boxes: 0 unchecked, 1 checked, 2 greyed; only 1 enables a time.
    virtual int OnHour() const = 0;
    virtual int QuarterHour() const = 0;
    virtual int HalfHour() const = 0;

    virtual void SetShowTheTime(const QString& text) = 0;
    virtual void SetHH(const QString& text) = 0;
    virtual void SetMM(const QString& text) = 0;
    virtual void SetAM_PM(const QString& text) = 0;
};
