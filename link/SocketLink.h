// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Link.h"

#include <QList>
#include <QString>

#include <memory>

class QLocalServer;

// $XDG_RUNTIME_DIR/tempovox/link.sock, or /tmp/tempovox-<uid>/link.sock without a runtime folder.
QString defaultLinkSocketPath();

// Takes the lock that lets one Tempovox alone run the station whose link socket is at
// `socketPath`, whatever its link back-end: `<socketPath>.lock`, created with its folder when
// missing. Returns the descriptor that holds it, or -1 with *error set and, given
// `heldByAnother`, whether another program holds it.
int lockStation(const QString& socketPath, QString* error, bool* heldByAnother = nullptr);

// Tells every peer of every socket link "PTT 0" at once, and keeps them from being keyed again.
// Async-signal-safe: for a signal that ends the process before the event loop could release the transmitter.
void releaseLinksFromSignalHandler();

// The link as a Unix stream socket server: whatever program drives the radio connects,
// reports DTMF, busy state and closing, and is told the transmitter key state. Any number of
// peers may connect; what one peer sends affects only itself, what the program says goes to all.
// The link is busy while any connected peer's last report was BUSY 1, so a peer that crashed
// while busy cannot hold announcements back for ever.
class SocketLink final : public Link {
    Q_OBJECT
public:
    // Bounds that keep one misbehaving peer from stalling or exhausting the program.
    static constexpr int MaxClients = 32;
    static constexpr int FloodLines = 2000;    // more lines than this ...
    static constexpr int FloodWindowMs = 1000; // ... within this window drop the peer
    static constexpr qsizetype MaxPendingOutput = 256 * 1024;
    static constexpr int LinesPerTurn = 64;              // handled before others get a turn
    static constexpr qsizetype MaxBacklog = 1024 * 1024; // taken in but not yet handled

    // Creates the socket's folder (mode 0700) when missing and replaces a stale socket file.
    // Returns nullptr and sets *error when the path is taken or cannot be used.
    static std::unique_ptr<SocketLink> listen(const QString& path, const QString& info, QString* error);
    ~SocketLink() override;

    bool SetPtt(bool on) override;
    std::optional<bool> LinkBusy() override;
    const LinkInfo& InfoObject() const override;
    bool AcknowledgeClosing(int code) override;

    QString path() const { return path_; }
    int clientCount() const { return int(clients_.size()); }

private:
    class Client;
    class Info final : public LinkInfo {
    public:
        explicit Info(QString text)
            : text_(std::move(text)) {}
        QString InfoText() const override { return text_; }

    private:
        QString text_;
    };

    SocketLink(const QString& path, const QString& info);

    void acceptPending();
    void readFrom(Client* client);
    void handleLine(Client* client, const QByteArray& line);
    void peerClosed(Client* client);
    void send(Client* client, const QByteArray& line);
    void broadcast(const QByteArray& line);
    void drop(Client* client, const QString& why);
    void forget(Client* client);

    QString path_;
    Info info_;
    QLocalServer* server_ = nullptr;
    QList<Client*> clients_;
    bool ptt_ = false;
    int lockFd_ = -1; // the lock beside the socket that keeps a second program out
};
