// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>
#include <optional>

// How BACKEND=hamlib keys the transmitter: a CAT command, a serial control line, a GPIO pin of
// a CM108 sound card, a parallel-port pin, or nothing (the radio keys itself by VOX).
enum class PttLine { Rig, Rts, Dtr, Cm108, Parallel, Gpio, GpioInverted, None };

// Where BACKEND=hamlib learns that the channel is in use: the rig's squelch over CAT, a serial
// status line, a pin, the receiver's audio level, or nowhere (never busy). No CM108 pin: hamlib
// 4.5 refuses to open a rig with one.
enum class BusyLine { Rig, Cts, Dsr, Cd, Parallel, Gpio, GpioInverted, Audio, None };

template <typename Value>
struct NamedLine {
    QStringView name;
    Value value;
};

// The names accepted in [LINK] PTT_TYPE and DCD_TYPE, in the order the operator guide lists them.
inline constexpr NamedLine<PttLine> PttLineNames[] = {
    {u"RIG", PttLine::Rig},
    {u"RTS", PttLine::Rts},
    {u"DTR", PttLine::Dtr},
    {u"CM108", PttLine::Cm108},
    {u"PARALLEL", PttLine::Parallel},
    {u"GPIO", PttLine::Gpio},
    {u"GPION", PttLine::GpioInverted},
    {u"NONE", PttLine::None},
};
inline constexpr NamedLine<BusyLine> BusyLineNames[] = {
    {u"RIG", BusyLine::Rig},
    {u"CTS", BusyLine::Cts},
    {u"DSR", BusyLine::Dsr},
    {u"CD", BusyLine::Cd},
    {u"PARALLEL", BusyLine::Parallel},
    {u"GPIO", BusyLine::Gpio},
    {u"GPION", BusyLine::GpioInverted},
    {u"AUDIO", BusyLine::Audio},
    {u"NONE", BusyLine::None},
};

// Any case; std::nullopt for a name not in the table.
template <typename Value, std::size_t N>
std::optional<Value> lineFromName(const NamedLine<Value> (&table)[N], QStringView name) {
    for (const NamedLine<Value>& entry : table) {
        if (entry.name.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return entry.value;
    }
    return std::nullopt;
}

template <typename Value, std::size_t N>
QString lineName(const NamedLine<Value> (&table)[N], Value value) {
    for (const NamedLine<Value>& entry : table) {
        if (entry.value == value)
            return entry.name.toString();
    }
    return {};
}

template <typename Value, std::size_t N>
QString lineNames(const NamedLine<Value> (&table)[N]) {
    QStringList names;
    for (const NamedLine<Value>& entry : table)
        names.append(entry.name.toString());
    return names.join(QStringLiteral(", "));
}

// The [LINK] section of the settings file: which back-end carries the link and how.
struct LinkSettings {
    QString backend = QStringLiteral("socket");
    QString socketPath; // empty: the default path in the user's runtime folder
    QString info;       // empty: the back-end describes itself
    // The longest the transmitter may stay keyed without a release; 0 switches the limit off.
    int txTimeoutSeconds = 180;

    // BACKEND=hamlib. The default model is hamlib's client of a rigctld on this computer, so
    // that nothing opens a serial port until the operator names one, and a missing rigctld
    // stops the start with an error instead of a clock that silently never transmits.
    int rigModel = 2; // hamlib's model number, as `rigctl -l` lists them
    QString rigPort;  // serial device, or host:port for a network model; empty: the model's default
    int rigSpeed = 0; // serial baud rate; 0: the model's default
    PttLine pttType = PttLine::Rig;
    QString pttPort; // device of the PTT line; empty: the rig port
    BusyLine dcdType = BusyLine::Rig;
    QString dcdPort; // device of the DCD line; empty: the rig port

    // The receiver's audio, heard by the hamlib back-end for DTMF and, with DCD_TYPE=AUDIO, busy.
    QString rxSource;      // a GStreamer source description; empty: the desktop's default input
    int dtmfGapMs = 1500;  // a DTMF sequence ends after this long without a digit
    int busyLevelDb = -40; // the channel is in use above this level (dBFS) ...
    int busyHoldMs = 500;  // ... held this long
};
