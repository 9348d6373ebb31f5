// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkProtocol.h"

#include <algorithm>

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace LinkProtocol {

namespace {

// Keeps a peer-supplied word short and free of control characters before it is echoed.
QString printable(const QString& word) {
    constexpr qsizetype MaxEcho = 32;
    qsizetype keep = std::min(word.size(), MaxEcho);
    // Never cut a character in half: the echo must stay valid text.
    if (keep < word.size() && word.at(keep - 1).isHighSurrogate())
        --keep;
    QString out = word.left(keep);
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    return keep < word.size() ? out + u"..."_s : out;
}

QByteArray oneLine(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace('\r', ' ').replace('\n', ' ');
    return bytes;
}

} // namespace

Command parseLine(QByteArrayView line) {
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        return Ignore{};
    if (line.contains('\0'))
        return Error{QStringLiteral("NUL byte in line")};

    // A BOM is kept rather than skipped: a line is taken byte for byte or not at all.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(line);
    if (decoder.hasError())
        return Error{QStringLiteral("line is not valid UTF-8")};

    const qsizetype blank = text.indexOf(u' ');
    const QString word = blank < 0 ? text : text.left(blank);
    const QString argument = blank < 0 ? QString() : text.mid(blank + 1);

    if (word == u"DTMF") {
        // The sequence is compared exactly later on, so trailing blanks are part of it.
        if (blank < 0)
            return Error{QStringLiteral("DTMF needs a blank and a sequence")};
        return Dtmf{argument};
    }
    if (word == u"BUSY") {
        if (blank >= 0 && argument == u"1")
            return Busy{true};
        if (blank >= 0 && argument == u"0")
            return Busy{false};
        return Error{QStringLiteral("BUSY takes 0 or 1")};
    }
    if (word == u"CLOSE") {
        if (blank >= 0)
            return Error{QStringLiteral("CLOSE takes no argument")};
        return Close{};
    }
    return Error{QStringLiteral("unknown command \"%1\"").arg(printable(word))};
}

QByteArray infoLine(const QString& text) {
    return "INFO " + oneLine(text) + '\n';
}

QByteArray pttLine(bool on) {
    return on ? QByteArrayLiteral("PTT 1\n") : QByteArrayLiteral("PTT 0\n");
}

QByteArray ackLine() {
    return QByteArrayLiteral("ACK\n");
}

QByteArray errorLine(const QString& reason) {
    return "ERR " + oneLine(reason) + '\n';
}

void LineSplitter::append(QByteArrayView bytes) {
    if (start_ > 0) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

LineSplitter::Result LineSplitter::next(QByteArray* line) {
    const qsizetype end = buffer_.indexOf('\n', start_);
    if (end < 0) {
        // One byte of slack for the CR of a CR LF that is still on its way.
        return buffer_.size() - start_ > MaxLineBytes + 1 ? Result::TooLong : Result::NeedMore;
    }
    const qsizetype length = end - start_;
    const qsizetype content = length > 0 && buffer_.at(end - 1) == '\r' ? length - 1 : length;
    if (content > MaxLineBytes)
        return Result::TooLong;
    *line = buffer_.mid(start_, length);
    start_ = end + 1;
    return Result::Line;
}

} // namespace LinkProtocol
