// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a peer could send them: the lines and their commands come out the same however
// the bytes arrive, and no reply is ever more than one line.
#include "Fuzz.h"
#include "LinkProtocol.h"

#include <QList>

using namespace LinkProtocol;

namespace {

// The lines of `stream` handed to the splitter `chunk` bytes at a time, and whether it gave up.
std::pair<QList<QByteArray>, bool> split(QByteArrayView stream, qsizetype chunk) {
    QList<QByteArray> lines;
    LineSplitter splitter;
    QByteArray line;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        splitter.append(stream.sliced(at, std::min(chunk, stream.size() - at)));
        for (LineSplitter::Result result;
             (result = splitter.next(&line)) != LineSplitter::Result::NeedMore;) {
            if (result == LineSplitter::Result::TooLong)
                return {lines, true};
            FUZZ_CHECK(line.size() <= MaxLineBytes + 1 && !line.contains('\n'));
            lines.append(line);
        }
        FUZZ_CHECK(splitter.buffered() <= MaxLineBytes + 1);
    }
    return {lines, false};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView stream(data, qsizetype(size));
    const auto whole = split(stream, qMax<qsizetype>(stream.size(), 1));
    FUZZ_CHECK(split(stream, 1) == whole);
    FUZZ_CHECK(split(stream, 1 + (size ? data[0] : 0)) == whole);
    for (const QByteArray& line : whole.first) {
        const Command command = parseLine(line);
        if (const auto* error = std::get_if<Error>(&command)) {
            const QByteArray reply = errorLine(error->reason);
            FUZZ_CHECK(reply.count('\n') == 1 && reply.endsWith('\n') && !reply.contains('\r') &&
                       reply.size() < 200);
        }
        if (const auto* dtmf = std::get_if<Dtmf>(&command))
            FUZZ_CHECK(dtmf->sequence.toUtf8() ==
                       QByteArrayView(line).sliced(5).chopped(line.endsWith('\r')));
        // A CR before the LF is the same line.
        FUZZ_CHECK(line.endsWith('\r') || parseLine(line + '\r') == command);
    }
    return 0;
}
