#pragma once

class Link;

// The window's transmitter indicator. It shows what the program last did to the transmitter;
// it is no reading of the link.
class PttIndicator {
public:
    virtual ~PttIndicator() = default;
    virtual void showPtt(bool on) = 0;
};

// Keys and releases the transmitter together with the indicator, so the two never disagree
// about what the program asked for.
class TransmitKeying {
public:
    TransmitKeying(Link& link, PttIndicator& indicator)
        : link_(link)
        , indicator_(indicator) {}

    bool PttOn();
    bool PttOff();

    // The watchdog, once a second: when the last clip has played to its end and no
    // announcement has clips left to load, the transmitter is released, again and again
    // while the program is idle.
    void Beacon8_Timer(bool clipEnded, int announceBusy);

private:
    Link& link_;
    PttIndicator& indicator_;
};
