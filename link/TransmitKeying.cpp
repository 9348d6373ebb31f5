#include "TransmitKeying.h"

#include "Link.h"

bool TransmitKeying::PttOn() {
    indicator_.showPtt(true);
    return link_.SetPtt(true);
}

bool TransmitKeying::PttOff() {
    indicator_.showPtt(false);
    return link_.SetPtt(false);
}

void TransmitKeying::Beacon8_Timer(bool clipEnded, int announceBusy) {
    if (clipEnded && announceBusy == 0)
        PttOff();
}
