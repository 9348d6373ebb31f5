// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <optional>

// What the rest of the program needs of the radio link: the transmitter key, the busy state,
// a line of information for the window title, and two events. Every back-end (the socket
// server, a rig-control library) and the test double implement this one class.
class LinkInfo {
public:
    virtual ~LinkInfo() = default;
    virtual QString InfoText() const = 0;
};

class Link : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Link() override = default;

    // True keys the transmitter, false releases it. The same value may be sent again and
    // again. Returns false when the back-end could not pass the command on.
    virtual bool SetPtt(bool on) = 0;

    // True while the link is in use. std::nullopt when the state could not be read.
    virtual std::optional<bool> LinkBusy() = 0;

    virtual const LinkInfo& InfoObject() const = 0;

    // Tells the link that the program has seen Closing and is about to end.
    virtual bool AcknowledgeClosing(int code) = 0;

Q_SIGNALS:
    // A station on the air sent this DTMF sequence.
    void DTMFString(const QString& sequence);
    // The link is going away; the program releases the transmitter and ends.
    void Closing();
    // The busy state or the peers may have changed. Sent by back-ends that are told of it;
    // those that read the state on demand never send it.
    void StateChanged();
};
