#include "FakeLink.h"

bool FakeLink::SetPtt(bool on) {
    calls << QStringLiteral("SetPtt %1").arg(on ? 1 : 0);
    if (failCalls)
        return false;
    keyed = on;
    return true;
}

std::optional<bool> FakeLink::LinkBusy() {
    calls << QStringLiteral("LinkBusy");
    return busy;
}

bool FakeLink::AcknowledgeClosing(int code) {
    calls << QStringLiteral("AcknowledgeClosing %1").arg(code);
    return !failCalls;
}

const LinkInfo& FakeLink::InfoObject() const {
    calls << QStringLiteral("InfoObject");
    return *this;
}

QString FakeLink::InfoText() const {
    calls << QStringLiteral("InfoText");
    return info_;
}
