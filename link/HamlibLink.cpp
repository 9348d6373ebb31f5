// SPDX-License-Identifier: GPL-3.0-or-later
#include "HamlibLink.h"

#include "LinkLog.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <hamlib/rig.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// hamlib's own trace: off unless asked for, as it runs to many lines a second.
Q_LOGGING_CATEGORY(lcHamlib, "tempovox.link.hamlib", QtWarningMsg)

HamlibLink* liveLinks = nullptr;

qint64 monotonicMs() {
    static const QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.elapsed();
}

// hamlib 4.5 keeps the pointer that setlocale(LC_NUMERIC, NULL) returns, switches LC_NUMERIC
// to "C" and restores the kept pointer, which that switch has freed unless the locale already
// was "C". Qt sets the locale from the environment, so rig_open runs with "C".
class NumericLocaleC {
public:
    NumericLocaleC() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current != nullptr ? current : "C";
        std::setlocale(LC_NUMERIC, "C");
    }
    ~NumericLocaleC() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    NumericLocaleC(const NumericLocaleC&) = delete;
    NumericLocaleC& operator=(const NumericLocaleC&) = delete;

private:
    std::string saved_;
};

QString hamlibError(int code) {
    return QString::fromUtf8(rigerror2(code)).trimmed();
}

bool isConnectionLost(int code) {
    return std::abs(code) == RIG_EIO;
}

// After a reply came too late or garbled, a late reply may still be on its way and would be
// read as the answer to the next command, and so on for ever; only a new connection is clean.
// Serial back-ends flush the line before each command and need no such care.
bool isStreamOutOfStep(RIG* rig, int code) {
    const bool network =
        rig->caps->port_type == RIG_PORT_NETWORK || rig->caps->port_type == RIG_PORT_UDP_NETWORK;
    return network && (std::abs(code) == RIG_ETIMEOUT || std::abs(code) == RIG_EPROTO);
}

int forwardDiagnostic(enum rig_debug_level_e, rig_ptr_t, const char* format, va_list args) {
    char text[2048];
    std::vsnprintf(text, sizeof text, format, args);
    const QString line = QString::fromLocal8Bit(text).trimmed();
    if (!line.isEmpty())
        qCDebug(lcHamlib).noquote() << line;
    return 0;
}

// hamlib writes its diagnostics to stderr unless told otherwise; they go to a logging category.
void routeDiagnostics() {
    static std::once_flag once;
    std::call_once(once, [] {
        rig_set_debug_callback(forwardDiagnostic, nullptr);
        rig_set_debug(lcHamlib().isDebugEnabled() ? RIG_DEBUG_VERBOSE : RIG_DEBUG_NONE);
    });
}

const char* hamlibName(PttLine line) {
    switch (line) {
    case PttLine::Rig:
        return "RIG";
    case PttLine::Rts:
        return "RTS";
    case PttLine::Dtr:
        return "DTR";
    case PttLine::Cm108:
        return "CM108";
    case PttLine::Parallel:
        return "Parallel";
    case PttLine::Gpio:
        return "GPIO";
    case PttLine::GpioInverted:
        return "GPION";
    case PttLine::None:
        break;
    }
    return "None";
}

const char* hamlibName(BusyLine line) {
    switch (line) {
    case BusyLine::Rig:
        return "RIG";
    case BusyLine::Cts:
        return "CTS";
    case BusyLine::Dsr:
        return "DSR";
    case BusyLine::Cd:
        return "CD";
    case BusyLine::Parallel:
        return "Parallel";
    case BusyLine::Gpio:
        return "GPIO";
    case BusyLine::GpioInverted:
        return "GPION";
    case BusyLine::Audio: // read outside hamlib
    case BusyLine::None:
        break;
    }
    return "None";
}

bool busyFromHamlib(BusyLine line) {
    return line != BusyLine::Audio && line != BusyLine::None;
}

// Read before rig_open, which may write over it: with a CM108 PTT, hamlib 4.5 does.
QByteArray rigPath(RIG* rig) {
    char path[HAMLIB_FILPATHLEN] = {};
    if (rig->caps->port_type == RIG_PORT_NONE ||
        rig_get_conf2(rig, rig_token_lookup(rig, "rig_pathname"), path, int(sizeof path)) != RIG_OK)
        return {};
    return QByteArray(path);
}

QString portText(const QByteArray& path) {
    return path.isEmpty() ? u"(no port)"_s : QString::fromLocal8Bit(path);
}

// The settings go through hamlib's named configuration, the interface every model shares.
struct Setting {
    const char* token;
    QString key; // as the operator wrote it in [LINK], for the error text
    QString value;
};

bool configure(RIG* rig, const QList<Setting>& settings, QString* error) {
    for (const Setting& setting : settings) {
        const token_t token = rig_token_lookup(rig, setting.token);
        const int rc = token == RIG_CONF_END
                           ? -RIG_ENAVAIL
                           : rig_set_conf(rig, token, setting.value.toLocal8Bit().constData());
        if (rc != RIG_OK) {
            *error = u"hamlib %1 does not take %2: %3"_s.arg(QString::fromUtf8(rig->caps->model_name),
                                                             setting.key, hamlibError(rc));
            return false;
        }
    }
    return true;
}

} // namespace

FailureReport::FailureReport(QString what, qint64 intervalMs, std::function<qint64()> clock)
    : what_(std::move(what))
    , intervalMs_(intervalMs)
    , monotonicMs_(std::move(clock)) {}

std::optional<QString> FailureReport::failed(const QString& reason) {
    failing_ = true;
    ++unreported_;
    const qint64 now = monotonicMs_();
    // Also across recoveries, so that a rig failing every other call is no flood either.
    if (lastReportMs_ && now - *lastReportMs_ < intervalMs_)
        return std::nullopt;
    const QString line =
        unreported_ == 1
            ? u"%1 failed: %2"_s.arg(what_, reason)
            : u"%1 failed %2 times since the last report, now: %3"_s.arg(what_).arg(unreported_).arg(reason);
    lastReportMs_ = now;
    unreported_ = 0;
    reportedThisTime_ = true;
    return line;
}

std::optional<QString> FailureReport::succeeded() {
    if (!failing_)
        return std::nullopt;
    failing_ = false;
    if (!reportedThisTime_)
        return std::nullopt;
    reportedThisTime_ = false;
    return u"%1 works again"_s.arg(what_);
}

std::unique_ptr<HamlibLink> HamlibLink::open(const LinkSettings& settings, QString* error, Timing timing) {
    QString ignored;
    if (error == nullptr)
        error = &ignored;
    routeDiagnostics();
    const NumericLocaleC locale;

    std::unique_ptr<RIG, int (*)(RIG*)> rig(rig_init(rig_model_t(settings.rigModel)), rig_cleanup);
    if (!rig) {
        *error =
            u"hamlib has no rig model %1 ([LINK] RIG_MODEL; `rigctl -l` lists them)"_s.arg(settings.rigModel);
        return nullptr;
    }
    const QString model = QString::fromUtf8(rig->caps->model_name);

    const QString pttName = lineName(PttLineNames, settings.pttType);
    const QString dcdName = lineName(BusyLineNames, settings.dcdType);
    QList<Setting> wanted;
    if (!settings.rigPort.isEmpty())
        wanted.append({"rig_pathname", u"[LINK] RIG_PORT=%1"_s.arg(settings.rigPort), settings.rigPort});
    if (settings.rigSpeed > 0) {
        const QString speed = QString::number(settings.rigSpeed);
        wanted.append({"serial_speed", u"[LINK] RIG_SPEED=%1"_s.arg(speed), speed});
    }
    const QString timeout = QString::number(timing.replyTimeoutMs);
    wanted.append({"timeout", u"timeout=%1"_s.arg(timeout), timeout});
    wanted.append({"retry", u"retry=0"_s, u"0"_s});
    wanted.append({"ptt_type", u"[LINK] PTT_TYPE=%1"_s.arg(pttName),
                   QString::fromLatin1(hamlibName(settings.pttType))});
    if (!settings.pttPort.isEmpty())
        wanted.append({"ptt_pathname", u"[LINK] PTT_PORT=%1"_s.arg(settings.pttPort), settings.pttPort});
    wanted.append({"dcd_type", u"[LINK] DCD_TYPE=%1"_s.arg(dcdName),
                   QString::fromLatin1(hamlibName(settings.dcdType))});
    if (!settings.dcdPort.isEmpty())
        wanted.append({"dcd_pathname", u"[LINK] DCD_PORT=%1"_s.arg(settings.dcdPort), settings.dcdPort});
    if (!configure(rig.get(), wanted, error))
        return nullptr;

    const QByteArray path = rigPath(rig.get());
    const QString port = portText(path);
    const int opened = rig_open(rig.get());
    if (opened != RIG_OK) {
        *error = u"cannot open hamlib rig %1 at %2: %3"_s.arg(model, port, hamlibError(opened));
        if (settings.rigModel == RIG_MODEL_NETRIGCTL)
            *error += u" (is rigctld running there?)"_s;
        return nullptr;
    }
    // Released at start, which also shows at once whether the PTT line works at all.
    if (settings.pttType != PttLine::None) {
        const int rc = rig_set_ptt(rig.get(), RIG_VFO_CURR, RIG_PTT_OFF);
        if (rc != RIG_OK) {
            *error = u"hamlib %1 at %2 cannot key the transmitter with PTT_TYPE=%3: %4"_s.arg(
                model, port, pttName, hamlibError(rc));
            return nullptr;
        }
    }
    if (busyFromHamlib(settings.dcdType)) {
        dcd_t dcd = RIG_DCD_OFF;
        const int rc = rig_get_dcd(rig.get(), RIG_VFO_CURR, &dcd);
        if (rc != RIG_OK) {
            *error = u"hamlib %1 at %2 cannot tell when the channel is busy with DCD_TYPE=%3: %4 "
                     u"(choose another DCD_TYPE: NONE, AUDIO or a serial line)"_s.arg(model, port, dcdName,
                                                                                      hamlibError(rc));
            return nullptr;
        }
    }
    return std::unique_ptr<HamlibLink>(new HamlibLink(rig.release(), path, settings, timing));
}

HamlibLink::HamlibLink(s_rig* rig, const QByteArray& rigPath, const LinkSettings& settings, Timing timing)
    : rig_(rig)
    , rigPath_(rigPath)
    , pttLine_(settings.pttType)
    , busyLine_(settings.dcdType)
    , timing_(timing)
    , pttReport_(u"hamlib PTT"_s, timing.reportIntervalMs, monotonicMs)
    , busyReport_(u"hamlib busy state"_s, timing.reportIntervalMs, monotonicMs) {
    info_.text = settings.info.isEmpty()
                     ? u"hamlib %1 %2"_s.arg(QString::fromUtf8(rig->caps->model_name), portText(rigPath))
                     : settings.info;

    static bool handlerRegistered = false;
    if (!handlerRegistered) {
        handlerRegistered = std::at_quick_exit(&HamlibLink::releaseAllAtQuickExit) == 0;
        if (!handlerRegistered)
            qCWarning(lcLink) << "cannot register the transmitter release for an immediate exit";
    }
    nextLive_ = liveLinks;
    if (liveLinks != nullptr)
        liveLinks->prevLive_ = this;
    liveLinks = this;
}

HamlibLink::~HamlibLink() {
    if (prevLive_ != nullptr)
        prevLive_->nextLive_ = nextLive_;
    else
        liveLinks = nextLive_;
    if (nextLive_ != nullptr)
        nextLive_->prevLive_ = prevLive_;

    release();
    rig_cleanup(rig_); // closes the rig when it is open
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

void HamlibLink::releaseAllAtQuickExit() {
    for (HamlibLink* link = liveLinks; link != nullptr; link = link->nextLive_)
        link->release();
}

void HamlibLink::release() {
    if (open_ && pttLine_ != PttLine::None)
        rig_set_ptt(rig_, RIG_VFO_CURR, RIG_PTT_OFF);
}

void HamlibLink::closeRig(bool withoutWaiting) {
    const token_t timeout = rig_token_lookup(rig_, "timeout");
    // Closing a network rig says goodbye and waits for the answer, which a peer that has
    // stopped answering never gives.
    if (withoutWaiting)
        rig_set_conf(rig_, timeout, "1");
    rig_close(rig_);
    if (withoutWaiting)
        rig_set_conf(rig_, timeout, QByteArray::number(timing_.replyTimeoutMs).constData());
    open_ = false;
    lastOpenAttemptMs_ = monotonicMs();
}

bool HamlibLink::reopen() {
    // A lost connection (rigctld restarted, a USB cable pulled out and back) stays lost until
    // the port is opened again.
    closeRig(false);
    const NumericLocaleC locale;
    if (!rigPath_.isEmpty())
        rig_set_conf(rig_, rig_token_lookup(rig_, "rig_pathname"), rigPath_.constData());
    open_ = rig_open(rig_) == RIG_OK;
    if (open_)
        qCInfo(lcLink).noquote() << u"hamlib: %1 opened again"_s.arg(portText(rigPath_));
    return open_;
}

int HamlibLink::call(const std::function<int(s_rig*)>& operation) {
    // While closed, calls fail at once, so a rig that stopped answering costs one open attempt
    // per interval instead of a time-out on every call.
    if (!open_ && (monotonicMs() - lastOpenAttemptMs_ < timing_.reopenIntervalMs || !reopen()))
        return -RIG_EIO;
    int rc = operation(rig_);
    if (isConnectionLost(rc)) {
        if (reopen())
            rc = operation(rig_);
    } else if (isStreamOutOfStep(rig_, rc)) {
        closeRig(true);
    }
    return rc;
}

bool HamlibLink::SetPtt(bool on) {
    if (transmitObserver_)
        transmitObserver_(on);
    if (pttLine_ == PttLine::None)
        return true; // keyed by the radio's VOX
    const int rc =
        call([on](RIG* rig) { return rig_set_ptt(rig, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF); });
    if (rc != RIG_OK) {
        if (const auto line = pttReport_.failed(hamlibError(rc)))
            qCWarning(lcLink).noquote() << *line;
        return false;
    }
    if (const auto line = pttReport_.succeeded())
        qCInfo(lcLink).noquote() << *line;
    return true;
}

std::optional<bool> HamlibLink::LinkBusy() {
    if (busyLine_ == BusyLine::None)
        return false;
    if (busyLine_ == BusyLine::Audio) {
        if (busySource_)
            return busySource_();
        if (const auto line = busyReport_.failed(u"no receiver-audio level source is connected"_s))
            qCWarning(lcLink).noquote() << *line;
        return std::nullopt;
    }
    dcd_t dcd = RIG_DCD_OFF;
    const int rc = call([&dcd](RIG* rig) { return rig_get_dcd(rig, RIG_VFO_CURR, &dcd); });
    if (rc != RIG_OK) {
        if (const auto line = busyReport_.failed(hamlibError(rc)))
            qCWarning(lcLink).noquote() << *line;
        return std::nullopt;
    }
    if (const auto line = busyReport_.succeeded())
        qCInfo(lcLink).noquote() << *line;
    return dcd == RIG_DCD_ON;
}

const LinkInfo& HamlibLink::InfoObject() const {
    return info_;
}

bool HamlibLink::AcknowledgeClosing(int) {
    return true; // a rig has nobody to tell
}
