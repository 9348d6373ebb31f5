// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkFactory.h"

#include "SocketLink.h"

#ifdef TEMPOVOX_HAVE_HAMLIB
#include "HamlibLink.h"
#include "LinkLog.h"
#endif
#if defined(TEMPOVOX_HAVE_HAMLIB) && defined(TEMPOVOX_WITH_SPANDSP)
#include "ReceiverAudio.h"
#endif

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// Every back-end locks the station beside the link socket the socket back-end would use.
QString socketPath(const LinkSettings& settings) {
    return settings.socketPath.isEmpty() ? defaultLinkSocketPath() : settings.socketPath;
}

QString unknownBackend(const LinkSettings& settings) {
    return u"unknown link back-end '%1' in [LINK] BACKEND (known: socket, hamlib)"_s.arg(settings.backend);
}
} // namespace

#ifdef TEMPOVOX_HAVE_HAMLIB
namespace {
// A radio keyed through hamlib hears DTMF, and with DCD_TYPE=AUDIO its busy state, on the
// receiver's audio. Without it the link still keys the radio: the failure is logged, not fatal.
void listenToReceiver(HamlibLink& link, const LinkSettings& settings) {
#ifdef TEMPOVOX_WITH_SPANDSP
    ReceiverOptions options;
    options.source = settings.rxSource;
    options.dtmfGapMs = settings.dtmfGapMs;
    options.busyLevelDb = settings.busyLevelDb;
    options.busyHoldMs = settings.busyHoldMs;
    auto* receiver = new ReceiverAudio(options, &link);
    QObject::connect(receiver, &ReceiverAudio::dtmfSequence, &link, &Link::DTMFString);
    link.setTransmitObserver([receiver](bool on) { receiver->setTransmitting(on); });
    if (link.busyFromAudio())
        link.setBusySource([receiver] { return std::optional<bool>(receiver->busy()); });
    QString error;
    if (!receiver->start(&error))
        qCWarning(lcLink).noquote() << "receiver audio not available, so no DTMF requests:" << error;
#else
    Q_UNUSED(link);
    Q_UNUSED(settings);
    qCWarning(lcLink) << "this Tempovox is built without receiver audio: no DTMF requests over the radio";
#endif
}
} // namespace
#endif

std::unique_ptr<Link> createLink(const LinkSettings& settings, QString* error) {
    const QString backend = settings.backend.trimmed();
    if (backend.isEmpty() || backend.compare(u"socket"_s, Qt::CaseInsensitive) == 0) {
        return SocketLink::listen(socketPath(settings), settings.info, error);
    }
    if (backend.compare(u"hamlib"_s, Qt::CaseInsensitive) == 0) {
#ifdef TEMPOVOX_HAVE_HAMLIB
        QString ignored;
        const int lock = lockStation(socketPath(settings), error != nullptr ? error : &ignored);
        if (lock < 0)
            return nullptr;
        auto link = HamlibLink::open(settings, error);
        if (!link) {
            ::close(lock);
            return nullptr;
        }
        link->holdLock(lock);
        listenToReceiver(*link, settings);
        return link;
#else
        if (error != nullptr)
            *error =
                u"link back-end 'hamlib' is not built into this Tempovox (it needs libhamlib-dev at build "
                u"time and the CMake option TEMPOVOX_WITH_HAMLIB=ON)"_s;
        return nullptr;
#endif
    }
    if (error != nullptr)
        *error = unknownBackend(settings);
    return nullptr;
}

bool releaseTransmitter(const LinkSettings& settings, QString* error) {
    const QString backend = settings.backend.trimmed();
    if (backend.isEmpty() || backend.compare(u"socket"_s, Qt::CaseInsensitive) == 0)
        return true; // a link program releases the transmitter itself when its connection closes
    if (backend.compare(u"hamlib"_s, Qt::CaseInsensitive) == 0) {
#ifdef TEMPOVOX_HAVE_HAMLIB
        // A Tempovox that runs this station keys its transmitter as it should: a service whose
        // start failed beside it must not cut its announcement short.
        bool heldByAnother = false;
        const int lock = lockStation(socketPath(settings), error, &heldByAnother);
        if (lock < 0) {
            if (heldByAnother)
                qCInfo(lcLink).noquote() << *error + u": its transmitter is left to it"_s;
            return heldByAnother;
        }
        // Opening releases the transmitter, and so does the link's end; the busy line is no
        // concern of a release.
        LinkSettings releasing = settings;
        releasing.dcdType = BusyLine::None;
        const bool released = HamlibLink::open(releasing, error) != nullptr;
        ::close(lock);
        return released;
#else
        *error = u"link back-end 'hamlib' is not built into this Tempovox"_s;
        return false;
#endif
    }
    *error = unknownBackend(settings);
    return false;
}
