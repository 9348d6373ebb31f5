// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <variant>

// The line protocol spoken on the link socket. Nothing here touches an event loop or a
// socket, so that the parser can be fed any bytes on their own (tests, fuzzing).
namespace LinkProtocol {

// Longest accepted line, its terminator (LF or CR LF) not counted.
inline constexpr qsizetype MaxLineBytes = 4096;

struct Dtmf {
    QString sequence;
    bool operator==(const Dtmf&) const = default;
};
struct Busy {
    bool busy = false;
    bool operator==(const Busy&) const = default;
};
struct Close {
    bool operator==(const Close&) const = default;
};
struct Ignore {
    bool operator==(const Ignore&) const = default;
};
struct Error {
    QString reason;
    bool operator==(const Error&) const = default;
};
using Command = std::variant<Dtmf, Busy, Close, Ignore, Error>;

// One line as cut at its LF, without the LF; a CR left before it is dropped here.
Command parseLine(QByteArrayView line);

// Outgoing lines, LF-terminated. Line breaks inside a text become blanks, so that one
// call is always exactly one line on the wire.
QByteArray infoLine(const QString& text);
QByteArray pttLine(bool on);
QByteArray ackLine();
QByteArray errorLine(const QString& reason);

// Cuts a byte stream into lines at LF and holds back at most one unfinished line. Once it
// reports TooLong the stream cannot be resynchronised and the peer is to be dropped.
class LineSplitter {
public:
    enum class Result { Line, NeedMore, TooLong };

    void append(QByteArrayView bytes);
    // On Line, *line is the next line without its LF.
    Result next(QByteArray* line);
    // Bytes taken in and not yet handed out as lines.
    qsizetype buffered() const { return buffer_.size() - start_; }

private:
    QByteArray buffer_;
    qsizetype start_ = 0;
};

} // namespace LinkProtocol
