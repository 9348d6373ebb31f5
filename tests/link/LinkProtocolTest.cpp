#include "LinkProtocol.h"

#include <QList>

#include <gtest/gtest.h>

using namespace LinkProtocol;
using namespace Qt::StringLiterals;

namespace {

TEST(LinkProtocol, ParsesLines) {
    const QList<std::pair<QByteArray, Command>> good = {
        {"DTMF 123\r", Dtmf{u"123"_s}},
        {"DTMF ##123**  ", Dtmf{u"##123**  "_s}},
        {"DTMF  1 2", Dtmf{u" 1 2"_s}},
        {"DTMF ", Dtmf{}},
        {"DTMF \xc3\xa9", Dtmf{u"é"_s}},
        {"BUSY 1", Busy{true}},
        {"BUSY 0\r", Busy{false}},
        {"CLOSE", Close{}},
        {"", Ignore{}},
        {"\r", Ignore{}},
    };
    for (const auto& [line, expected] : good)
        EXPECT_EQ(parseLine(line), expected) << "line hex " << line.toHex().constData();

    const QList<QByteArray> bad = {
        "DTMF",
        "DTMF\t1",
        "dtmf 123",
        " DTMF 1",
        "BUSY 2",
        "BUSY",
        "BUSY 1 ",
        "CLOSE ",
        "close",
        "PTT 1",
        " ",
        "\r\r",
        QByteArray("DTMF 1\0"
                   "2",
                   8),
        "DTMF \xff",
        "DTMF \xc3", // not UTF-8, truncated sequence
        "DTMF \xc0\x80",
        "DTMF \xed\xa0\x80", // overlong NUL, surrogate
        "\xef\xbb\xbf"
        "DTMF 1", // a BOM is not skipped
    };
    for (const QByteArray& line : bad) {
        const Command got = parseLine(line);
        ASSERT_TRUE(std::holds_alternative<Error>(got)) << "line hex " << line.toHex().constData();
        EXPECT_FALSE(std::get<Error>(got).reason.isEmpty());
    }
}

TEST(LinkProtocol, AnEchoedUnknownWordIsCutBetweenCharacters) {
    const Command command = parseLine(QByteArray(31, 'X') + "\xf0\x9f\x93\xbb"
                                                            "tail");
    const auto* error = std::get_if<Error>(&command);
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->reason.isValidUtf16()) << error->reason.toStdString();
    EXPECT_TRUE(error->reason.contains(u"..."_s));
}

TEST(LinkProtocol, OutgoingLinesAreSingleLines) {
    EXPECT_EQ(pttLine(true), "PTT 1\n");
    EXPECT_EQ(pttLine(false), "PTT 0\n");
    EXPECT_EQ(ackLine(), "ACK\n");
    EXPECT_EQ(infoLine(u"Estação PY2XYZ"_s), "INFO Esta\xc3\xa7\xc3\xa3o PY2XYZ\n");
    EXPECT_EQ(infoLine(u"two\r\nlines"_s), "INFO two  lines\n");

    // An unknown word is echoed back, but short and without control characters.
    const Command got = parseLine("HELLO\x01" + QByteArray(200, 'x') + "\r\r");
    ASSERT_TRUE(std::holds_alternative<Error>(got));
    const QByteArray reply = errorLine(std::get<Error>(got).reason);
    EXPECT_TRUE(reply.startsWith("ERR ") && reply.contains("HELLO?")) << reply.constData();
    EXPECT_LT(reply.size(), 80);
    EXPECT_EQ(reply.count('\r') + reply.count('\n'), 1);
}

QList<QByteArray> split(LineSplitter& splitter, LineSplitter::Result* last) {
    QList<QByteArray> lines;
    QByteArray line;
    while ((*last = splitter.next(&line)) == LineSplitter::Result::Line)
        lines.append(line);
    return lines;
}

TEST(LinkProtocol, SplitterKeepsPartialLinesAndEnforcesTheLimit) {
    LineSplitter splitter;
    LineSplitter::Result last{};
    splitter.append("DTMF 1\r\nBU");
    EXPECT_EQ(split(splitter, &last), QList<QByteArray>{"DTMF 1\r"});
    splitter.append("SY 1\n\nCLO");
    EXPECT_EQ(split(splitter, &last), (QList<QByteArray>{"BUSY 1", ""}));
    EXPECT_EQ(last, LineSplitter::Result::NeedMore);

    const QByteArray longest(MaxLineBytes, 'x');
    for (const QByteArray& terminator : {QByteArray("\n"), QByteArray("\r\n")}) {
        // A byte at a time: the limit must not trip before the terminator arrives.
        LineSplitter bytewise;
        qsizetype lines = 0;
        for (char c : longest + terminator) {
            bytewise.append(QByteArrayView(&c, 1));
            lines += split(bytewise, &last).size();
            ASSERT_EQ(last, LineSplitter::Result::NeedMore);
        }
        EXPECT_EQ(lines, 1);
    }

    for (const QByteArray& over : {longest + "y\n", longest + "\ry"}) {
        LineSplitter tooLong;
        tooLong.append(over);
        EXPECT_TRUE(split(tooLong, &last).isEmpty());
        EXPECT_EQ(last, LineSplitter::Result::TooLong);
    }
}

} // namespace
