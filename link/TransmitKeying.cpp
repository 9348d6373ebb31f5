// SPDX-License-Identifier: GPL-3.0-or-later
#include "TransmitKeying.h"

#include "Link.h"
#include "LinkLog.h"

bool TransmitKeying::PttOn() {
    if (!keyedSinceMs_ && timeout_.seconds > 0)
        keyedSinceMs_ = timeout_.monotonicMs();
    indicator_.showPtt(true);
    return link_.SetPtt(true);
}

bool TransmitKeying::PttOff() {
    keyedSinceMs_.reset();
    indicator_.showPtt(false);
    return link_.SetPtt(false);
}

void TransmitKeying::Beacon8_Timer(bool clipEnded, int announceBusy) {
    if (clipEnded && announceBusy == 0) {
        PttOff();
        return;
    }
    if (keyedSinceMs_ && timeout_.monotonicMs() - *keyedSinceMs_ >= qint64(timeout_.seconds) * 1000) {
        qCWarning(lcLink).noquote() << QStringLiteral(
                                           "transmitter keyed for over %1 s without a release: released")
                                           .arg(timeout_.seconds);
        PttOff();
        if (timeout_.expired)
            timeout_.expired();
    }
}
