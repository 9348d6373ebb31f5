// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

class Link;

// The window's transmitter indicator. It shows what the program last did to the transmitter;
// it is no reading of the link.
class PttIndicator {
public:
    virtual ~PttIndicator() = default;
    virtual void showPtt(bool on) = 0;
};

// A transmitter left keyed for longer than `seconds` is released and the announcement
// ended, whatever kept it keyed.
struct TransmitTimeout {
    int seconds = 0;                     // 0: no limit
    std::function<qint64()> monotonicMs; // a clock that steps never move
    std::function<void()> expired;       // ends the running announcement
};

// Keys and releases the transmitter together with the indicator, so the two never disagree
// about what the program asked for. Every rule that releases the transmitter on its own
// lives here.
class TransmitKeying {
public:
    TransmitKeying(Link& link, PttIndicator& indicator, TransmitTimeout timeout = {})
        : link_(link)
        , indicator_(indicator)
        , timeout_(std::move(timeout)) {}

    bool PttOn();
    bool PttOff();

    // The watchdog, once a second: when the last clip has played to its end and no
    // announcement has clips left to load, the transmitter is released, again and again
    // while the program is idle. It also enforces the transmit time-out.
    void Beacon8_Timer(bool clipEnded, int announceBusy);

private:
    Link& link_;
    PttIndicator& indicator_;
    TransmitTimeout timeout_;
    std::optional<qint64> keyedSinceMs_; // since the first key after the last release
};
