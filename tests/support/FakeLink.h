#pragma once

#include "Link.h"

#include <QString>
#include <QStringList>

#include <optional>

// A link that records every call in order ("SetPtt 1", "LinkBusy", "AcknowledgeClosing 0", ...)
// so a test can assert the exact keying sequence, and lets the test raise the link's events.
class FakeLink : public Link, public LinkInfo {
public:
    explicit FakeLink(QString info = QStringLiteral("fake link"))
        : info_(std::move(info)) {}

    bool SetPtt(bool on) override;
    std::optional<bool> LinkBusy() override;
    const LinkInfo& InfoObject() const override;
    QString InfoText() const override;
    bool AcknowledgeClosing(int code) override;

    void sendDtmf(const QString& sequence) { Q_EMIT DTMFString(sequence); }
    void close() { Q_EMIT Closing(); }

    mutable QStringList calls;
    std::optional<bool> busy = false; // what LinkBusy answers; nullopt: the read fails
    bool failCalls = false;           // SetPtt and AcknowledgeClosing report failure
    bool keyed = false;               // the transmitter as the link sees it

private:
    QString info_;
};
