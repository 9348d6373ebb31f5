// Feeds any bytes to the link protocol as a peer could send them, cut into chunks in several
// ways, and checks that the lines and commands come out the same however the bytes arrived and
// that no command carries what the protocol forbids.
#include "FuzzInput.h"
#include "LinkProtocol.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <string_view>

using namespace LinkProtocol;

namespace {

std::string_view bytesOf(QByteArrayView bytes) {
    return {bytes.data(), static_cast<size_t>(bytes.size())};
}

QByteArrayView withoutCr(QByteArrayView line) {
    return line.endsWith('\r') ? line.chopped(1) : line;
}

bool isSingleLine(const QByteArray& out) {
    return out.endsWith('\n') && out.count('\n') == 1 && !out.contains('\r');
}

void checkCommand(QByteArrayView line) {
    const Command command = parseLine(line);
    const QByteArrayView bare = withoutCr(line);
    if (const auto* dtmf = std::get_if<Dtmf>(&command)) {
        // The sequence must be exactly the bytes the peer sent, so valid UTF-8 and no NUL.
        if (!bare.startsWith("DTMF ") || dtmf->sequence.toUtf8() != bare.sliced(5) ||
            !dtmf->sequence.isValidUtf16() || dtmf->sequence.contains(QChar(u'\0')))
            fuzzFailure("a DTMF sequence is not the line's valid UTF-8 text", bytesOf(line));
    } else if (const auto* busy = std::get_if<Busy>(&command)) {
        if (bare != (busy->busy ? "BUSY 1" : "BUSY 0"))
            fuzzFailure("BUSY accepted from a line that is not BUSY 0 or BUSY 1", bytesOf(line));
    } else if (std::holds_alternative<Close>(command)) {
        if (bare != "CLOSE")
            fuzzFailure("CLOSE accepted from a line that is not CLOSE", bytesOf(line));
    } else if (std::holds_alternative<Ignore>(command)) {
        if (!bare.isEmpty())
            fuzzFailure("a line with content was ignored", bytesOf(line));
    } else {
        // The reason goes back to the peer: one short line, whatever the peer sent.
        const QString& reason = std::get<Error>(command).reason;
        const QByteArray reply = errorLine(reason);
        if (reason.isEmpty() || !isSingleLine(reply) || reply.size() > 200)
            fuzzFailure("an error reply is empty, long or not a single line", bytesOf(reply));
    }
    // A CR before the LF is the same line.
    if (!line.endsWith('\r') && parseLine(line.toByteArray() + '\r') != command)
        fuzzFailure("a CR before the LF changed the command", bytesOf(line));
}

struct Split {
    QList<QByteArray> lines;
    bool tooLong = false;
};

// `chunk` gives the size of the next piece handed to append().
Split split(QByteArrayView stream, const std::function<qsizetype()>& chunk) {
    Split out;
    LineSplitter splitter;
    QByteArray line;
    qsizetype delivered = 0; // bytes handed out as lines, LFs included
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = std::min(chunk(), stream.size() - at);
        splitter.append(stream.sliced(at, size));
        at += size;
        for (;;) {
            const LineSplitter::Result result = splitter.next(&line);
            if (result == LineSplitter::Result::TooLong) {
                out.tooLong = true;
                return out;
            }
            if (result == LineSplitter::Result::NeedMore)
                break;
            out.lines.append(line);
            delivered += line.size() + 1;
        }
        // Waiting is only allowed for a line that can still end within the limit (its CR may
        // still be followed by the LF).
        if (at - delivered > MaxLineBytes + 1)
            fuzzFailure("the splitter holds more than one line's worth of unfinished bytes",
                        bytesOf(stream.sliced(delivered, at - delivered)));
    }
    return out;
}

void checkWholeStream(QByteArrayView stream, const Split& whole) {
    QByteArray consumed;
    for (const QByteArray& line : whole.lines) {
        if (line.contains('\n') || withoutCr(line).size() > MaxLineBytes)
            fuzzFailure("a line holds an LF or is over the limit", bytesOf(line));
        consumed += line + '\n';
    }
    if (!stream.startsWith(consumed))
        fuzzFailure("the lines are not the stream's own bytes in order", bytesOf(consumed));
    // What follows the last line is an over-long line exactly when TooLong was reported.
    const QByteArrayView rest = stream.sliced(consumed.size());
    const qsizetype end = rest.indexOf('\n');
    const bool restTooLong =
        end < 0 ? rest.size() > MaxLineBytes + 1 : withoutCr(rest.first(end)).size() > MaxLineBytes;
    if (restTooLong != whole.tooLong)
        fuzzFailure(whole.tooLong ? "TooLong for a line within the limit"
                                  : "a line over the limit was let through",
                    bytesOf(rest));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView stream(data, static_cast<qsizetype>(size));

    const Split whole = split(stream, [&] { return stream.size(); });
    checkWholeStream(stream, whole);
    for (const QByteArray& line : whole.lines)
        checkCommand(line);

    // However the bytes are cut, the same lines come out and the same verdict.
    FuzzChoices choices(bytesOf(stream));
    const Split bytewise = split(stream, [] { return 1; });
    const Split chunked = split(stream, [&] {
        static constexpr qsizetype Scales[] = {2, 16, 300, MaxLineBytes + 3, 3 * MaxLineBytes};
        return 1 + static_cast<qsizetype>(choices.below(static_cast<size_t>(Scales[choices.below(5)])));
    });
    for (const Split* other : {&bytewise, &chunked}) {
        if (other->lines != whole.lines || other->tooLong != whole.tooLong)
            fuzzFailure("the lines depend on how the stream was cut", bytesOf(stream));
    }

    // The parser on its own takes any bytes, line breaks included.
    checkCommand(stream);
    if (!isSingleLine(infoLine(QString::fromUtf8(stream))))
        fuzzFailure("an INFO line is not a single line", bytesOf(stream));
    return 0;
}
