// SPDX-License-Identifier: GPL-3.0-or-later
#include "SocketLink.h"

#include "LinkLog.h"
#include "LinkProtocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using LinkProtocol::LineSplitter;

namespace {

constexpr qint64 ReadChunk = 16 * 1024;

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Creates the missing folders above the socket, each with mode 0700; folders that already
// exist keep their mode.
bool makeFolder(const QString& folder, QString* error) {
    QStringList missing;
    QString current = folder;
    struct stat st {};
    while (::stat(QFile::encodeName(current).constData(), &st) != 0) {
        if (errno != ENOENT) {
            *error = u"cannot use folder %1 for the link socket: %2"_s.arg(current, systemError(errno));
            return false;
        }
        missing.prepend(current);
        current = QFileInfo(current).path();
    }
    if (missing.isEmpty() && !S_ISDIR(st.st_mode)) {
        *error = u"%1 is not a folder; cannot put the link socket in it"_s.arg(current);
        return false;
    }
    for (const QString& dir : std::as_const(missing)) {
        const QByteArray encoded = QFile::encodeName(dir);
        if (::mkdir(encoded.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            *error = u"cannot create folder %1 for the link socket: %2"_s.arg(dir, systemError(errno));
            return false;
        }
        // The umask may have taken bits away; the owner needs all three.
        ::chmod(encoded.constData(), 0700);
    }
    return true;
}

enum class Probe { Live, Stale, Failed };

// Whether somebody accepts connections on the socket file. Non-blocking, so that a listener
// with a full backlog counts as live rather than stalling start-up.
Probe probeSocket(const QByteArray& path, int* error) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = errno;
        return Probe::Failed;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    *error = errno;
    ::close(fd);
    if (rc == 0 || *error == EAGAIN || *error == EINPROGRESS)
        return Probe::Live;
    if (*error == ECONNREFUSED || *error == ENOENT)
        return Probe::Stale;
    return Probe::Failed;
}

// Makes sure that the socket path is free for a new listener, or says why it is not.
bool clearSocketPath(const QString& path, QString* error) {
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(encoded.constData(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        *error = u"cannot use link socket %1: %2"_s.arg(path, systemError(errno));
        return false;
    }
    if (!S_ISSOCK(st.st_mode)) {
        *error = u"%1 exists and is not a socket; not replacing it"_s.arg(path);
        return false;
    }
    int probeError = 0;
    switch (probeSocket(encoded, &probeError)) {
    case Probe::Live:
        *error = u"another Tempovox is already listening on link socket %1"_s.arg(path);
        return false;
    case Probe::Failed:
        *error = u"cannot check link socket %1: %2"_s.arg(path, systemError(probeError));
        return false;
    case Probe::Stale:
        break;
    }
    // Left behind by a process that ended without closing it.
    if (::unlink(encoded.constData()) != 0 && errno != ENOENT) {
        *error = u"cannot remove stale link socket %1: %2"_s.arg(path, systemError(errno));
        return false;
    }
    return true;
}

// The peers' sockets, for the signal handler: a slot holds a descriptor plus one, or 0.
std::array<std::atomic<int>, 2 * SocketLink::MaxClients> PeerFds{};

// Set by the signal handler's release; lock-free, so safe to set there.
std::atomic<bool> KeyingStopped{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void notePeer(int fd, bool live) {
    for (auto& slot : PeerFds) {
        int expected = live ? 0 : fd + 1;
        if (slot.compare_exchange_strong(expected, live ? fd + 1 : 0))
            return;
    }
}

QString fallbackFolder() {
    return u"/tmp/tempovox-%1"_s.arg(::getuid());
}

// The fallback folder sits in a folder that every user may write: another user could have made
// it first and put a socket of their own in it. It must be this user's, and no one else's.
bool claimFolder(const QString& folder, QString* error) {
    const QByteArray encoded = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(encoded.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        *error =
            u"link socket folder %1 is not a folder of this user's own; remove it or set XDG_RUNTIME_DIR"_s
                .arg(folder);
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(encoded.constData(), 0700) != 0) {
        *error = u"cannot make link socket folder %1 private: %2"_s.arg(folder, systemError(errno));
        return false;
    }
    return true;
}

} // namespace

void releaseLinksFromSignalHandler() {
    static constexpr char Release[] = "PTT 0\n";
    KeyingStopped.store(true);
    for (const auto& slot : PeerFds) {
        // Best effort: the process is ending, and a peer that cannot take the line is past help.
        if (const int fd = slot.load() - 1; fd >= 0)
            ::send(fd, Release, sizeof Release - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
}

int lockStation(const QString& socketPath, QString* error, bool* heldByAnother) {
    const QString full = QDir::cleanPath(QFileInfo(socketPath).absoluteFilePath());
    const QString folder = QFileInfo(full).path();
    if (!makeFolder(folder, error) || (folder == fallbackFolder() && !claimFolder(folder, error)))
        return -1;
    // Held for the program's life and dropped by the kernel when it dies, however it dies: two
    // programs started at the same moment cannot both get past this.
    const QString lockPath = full + u".lock"_s;
    const int lock =
        ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        if (heldByAnother)
            *heldByAnother = lock >= 0 && errno == EWOULDBLOCK;
        *error = errno == EWOULDBLOCK
                     ? u"another Tempovox already runs this station (%1 is held)"_s.arg(lockPath)
                     : u"cannot lock %1: %2"_s.arg(lockPath, systemError(errno));
        if (lock >= 0)
            ::close(lock);
        return -1;
    }
    return lock;
}

QString defaultLinkSocketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    // A relative runtime folder is invalid by the XDG rules, and would move with the cwd.
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        return QDir::cleanPath(runtime + u"/tempovox/link.sock"_s);
    return fallbackFolder() + u"/link.sock"_s;
}

class SocketLink::Client : public QObject {
public:
    explicit Client(QLocalSocket* s, QObject* parent)
        : QObject(parent)
        , socket(s) {
        s->setParent(this);
    }

    QLocalSocket* socket;
    LineSplitter lines;
    QElapsedTimer window;
    int linesInWindow = 0;
    bool busy = false;    // its last report; a peer that has gone reports nothing
    bool reading = false; // its lines are being handled, maybe inside a nested event loop
    bool closed = false;  // the peer hung up while reading was true
    bool dropped = false; // forgotten, waiting for deletion
};

std::unique_ptr<SocketLink> SocketLink::listen(const QString& path, const QString& info, QString* error) {
    QString ignored;
    if (error == nullptr)
        error = &ignored;
    if (path.isEmpty()) {
        *error = u"the link socket path is empty"_s;
        return nullptr;
    }
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    constexpr qsizetype MaxPathBytes = sizeof(sockaddr_un::sun_path) - 1;
    if (QFile::encodeName(full).size() > MaxPathBytes) {
        *error = u"link socket path %1 is too long (at most %2 bytes)"_s.arg(full).arg(MaxPathBytes);
        return nullptr;
    }
    const int lock = lockStation(full, error);
    if (lock < 0)
        return nullptr;
    if (!clearSocketPath(full, error)) {
        ::close(lock);
        return nullptr;
    }

    std::unique_ptr<SocketLink> link(new SocketLink(full, info));
    link->lockFd_ = lock;
    link->server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!link->server_->listen(full)) {
        *error = u"cannot listen on link socket %1: %2"_s.arg(full, link->server_->errorString());
        return nullptr;
    }
    return link;
}

SocketLink::SocketLink(const QString& path, const QString& info)
    : path_(path)
    , info_(info.isEmpty() ? u"socket "_s + path : info)
    , server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, &SocketLink::acceptPending);
}

SocketLink::~SocketLink() {
    disconnect(server_, nullptr, this, nullptr);
    server_->close();
    if (lockFd_ >= 0)
        ::close(lockFd_);
    for (Client* client : std::as_const(clients_)) {
        notePeer(int(client->socket->socketDescriptor()), false);
        disconnect(client->socket, nullptr, client, nullptr);
        client->socket->abort();
        client->dropped = true;
        // A handler may be destroying the link from inside this client's readyRead.
        client->setParent(nullptr);
        client->deleteLater();
    }
    clients_.clear();
}

bool SocketLink::SetPtt(bool on) {
    // Between a fatal signal and the end of the process the announcement may go on a moment:
    // the transmitter the handler released stays released.
    if (on && KeyingStopped.load())
        return false;
    ptt_ = on;
    broadcast(LinkProtocol::pttLine(on));
    return true;
}

std::optional<bool> SocketLink::LinkBusy() {
    return std::any_of(clients_.cbegin(), clients_.cend(), [](const Client* client) { return client->busy; });
}

const LinkInfo& SocketLink::InfoObject() const {
    return info_;
}

bool SocketLink::AcknowledgeClosing(int) {
    broadcast(LinkProtocol::ackLine());
    return true;
}

void SocketLink::acceptPending() {
    while (server_->hasPendingConnections()) {
        QLocalSocket* socket = server_->nextPendingConnection();
        if (clients_.size() >= MaxClients) {
            qCWarning(lcLink) << "link client refused: already" << MaxClients << "clients";
            socket->write(LinkProtocol::errorLine(u"too many clients"_s));
            socket->flush();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* client = new Client(socket, this);
        clients_.append(client);
        Q_EMIT StateChanged();
        notePeer(int(socket->socketDescriptor()), true);
        connect(socket, &QLocalSocket::readyRead, client, [this, client] { readFrom(client); });
        connect(socket, &QLocalSocket::disconnected, client, [this, client] { peerClosed(client); });
        // A peer may have written its lines and hung up already: they are taken in before the
        // greeting, whose write then fails and would drop them unread.
        const QPointer<Client> alive(client);
        socket->waitForReadyRead(0);
        if (!alive || client->dropped)
            continue;
        send(client, LinkProtocol::infoLine(info_.InfoText()));
        if (!client->dropped)
            send(client, LinkProtocol::pttLine(ptt_));
    }
}

void SocketLink::readFrom(Client* client) {
    if (client->reading)
        return; // re-entered from a nested event loop; the outer call reads on
    client->reading = true;

    // The signal handlers may run an event loop, drop this client or destroy the link.
    const QPointer<SocketLink> self(this);
    const QPointer<Client> alive(client);
    const auto gone = [&] {
        return !self || !alive || client->dropped;
    };

    int handled = 0;
    while (!gone()) {
        // Take in all that has arrived: lines count against the flood limit when they arrive,
        // not when they are handled, so a backlog of slow requests is a flood too.
        while (client->socket->bytesAvailable() > 0) {
            const QByteArray chunk = client->socket->read(ReadChunk);
            if (!client->window.isValid() || client->window.elapsed() >= FloodWindowMs) {
                client->window.start();
                client->linesInWindow = 0;
            }
            client->linesInWindow += int(chunk.count('\n'));
            client->lines.append(chunk);
            if (client->linesInWindow > FloodLines || client->lines.buffered() > MaxBacklog) {
                send(client, LinkProtocol::errorLine(u"flood"_s));
                if (!gone())
                    drop(client, u"flood (more than %1 lines in %2 ms)"_s.arg(FloodLines).arg(FloodWindowMs));
                return;
            }
        }
        // Other peers and the timers get their turn between batches: a request can cost
        // milliseconds, and one peer's backlog must not stall the program.
        if (handled == LinesPerTurn) {
            QMetaObject::invokeMethod(
                this,
                [this, alive] {
                    if (alive && !alive->dropped)
                        readFrom(alive);
                },
                Qt::QueuedConnection);
            break;
        }
        QByteArray line;
        const LineSplitter::Result result = client->lines.next(&line);
        if (result == LineSplitter::Result::TooLong) {
            send(client, LinkProtocol::errorLine(u"line too long"_s));
            if (!gone())
                drop(client, u"line too long"_s);
            return;
        }
        if (result != LineSplitter::Result::Line) {
            if (client->socket->bytesAvailable() > 0)
                continue; // more came while a handler ran
            break;
        }
        ++handled;
        handleLine(client, line);
    }
    if (gone())
        return;
    client->reading = false;
    if (client->closed)
        forget(client);
}

void SocketLink::handleLine(Client* client, const QByteArray& line) {
    const LinkProtocol::Command command = LinkProtocol::parseLine(line);
    if (const auto* dtmf = std::get_if<LinkProtocol::Dtmf>(&command))
        Q_EMIT DTMFString(dtmf->sequence);
    else if (const auto* busy = std::get_if<LinkProtocol::Busy>(&command)) {
        if (std::exchange(client->busy, busy->busy) != busy->busy)
            Q_EMIT StateChanged();
    } else if (std::holds_alternative<LinkProtocol::Close>(command))
        Q_EMIT Closing();
    else if (const auto* failure = std::get_if<LinkProtocol::Error>(&command))
        send(client, LinkProtocol::errorLine(failure->reason));
}

void SocketLink::peerClosed(Client* client) {
    // Every byte that arrived before the hang-up has been read by readFrom already; a
    // partial last line is dropped with the client.
    if (client->reading)
        client->closed = true;
    else
        forget(client);
}

void SocketLink::send(Client* client, const QByteArray& line) {
    client->socket->write(line);
    // Into the kernel now: the program may _exit right after SetPtt or AcknowledgeClosing.
    client->socket->flush();
    if (!client->dropped && client->socket->bytesToWrite() > MaxPendingOutput)
        drop(client, u"not reading (over %1 bytes waiting)"_s.arg(MaxPendingOutput));
}

void SocketLink::broadcast(const QByteArray& line) {
    const QList<Client*> clients = clients_; // send may drop clients
    for (Client* client : clients) {
        if (!client->dropped)
            send(client, line);
    }
}

void SocketLink::drop(Client* client, const QString& why) {
    qCWarning(lcLink).noquote() << "link client dropped:" << why;
    forget(client);
}

void SocketLink::forget(Client* client) {
    if (client->dropped)
        return;
    client->dropped = true;
    notePeer(int(client->socket->socketDescriptor()), false);
    clients_.removeOne(client);
    // A peer that goes away takes its busy report with it, and counts no more.
    Q_EMIT StateChanged();
    disconnect(client->socket, nullptr, client, nullptr);
    client->socket->abort();
    client->deleteLater();
}
