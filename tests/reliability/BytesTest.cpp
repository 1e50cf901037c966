#include "tests/fixtures/TcpClient.h"
#include "tests/reliability/DeviceThread.h"
#include "tests/reliability/ServerRig.h"

#include <gtest/gtest.h>

namespace {

const QString A = QStringLiteral("127.0.0.2");

// Bytes of every value in a pattern that does not repeat with any short period.
QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 256 * 3 + 1) & 0xFF);
    return bytes;
}

QByteArray withoutLineFeeds(QByteArray bytes)
{
    return bytes.replace('\n', "");
}

} // namespace

// A request is relayed to the device byte for byte and the device's answer
// comes back byte for byte, whatever the bytes are and however long they are.
// TCP may hand a long request over in several reads, each of which the program
// queues as a request of its own: the device acknowledges each piece, and
// answers the whole when the last piece is in.
TEST(Bytes, RequestsAndAnswersPassThroughUnchanged)
{
    QByteArray everyValue(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        everyValue[i] = char(i);
    struct Case
    {
        const char *name;
        QByteArray request;
        QByteArray answer; // ends with the line feed, holds none before it
    };
    const Case cases[] = {
        {"every byte value, NUL, CR and LF among them", everyValue,
         withoutLineFeeds(everyValue) + "\n"},
        {"a megabyte each way", pattern(1024 * 1024),
         withoutLineFeeds(pattern(1024 * 1024 + 8192)).left(1024 * 1024) + "\n"},
    };
    const QByteArray ack("OK\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceThread device;
        ServerRig rig;
        ASSERT_TRUE(device.isValid() && rig.prepare() && rig.linkDevice(device.slavePath()));
        ASSERT_TRUE(rig.writeConfiguration({A}));
        ASSERT_TRUE(rig.start());
        auto a = rig.connect(A);
        ASSERT_TRUE(a);
        ASSERT_TRUE(a->send(c.request, 30000));

        qsizetype done = 0;
        int pieces = 0;
        QByteArray got; // what the client has received
        while (done < c.request.size()) {
            // The piece at the head has been written to the device in full.
            ASSERT_TRUE(runLoopUntil(
                [&] {
                    return rig.form->DeviceBusy && !rig.form->RequestTexts.isEmpty()
                        && device.receivedSize() == done + rig.form->RequestTexts.first().size();
                },
                30000))
                << "piece " << pieces << " after " << done << " bytes";
            done = device.receivedSize();
            ++pieces;
            if (done < c.request.size()) {
                // The next piece is written once the client has its acknowledgement.
                device.send(ack);
                ASSERT_TRUE(runLoopUntil(
                    [&] {
                        got += a->receiveAvailable();
                        return got.size() == pieces * ack.size();
                    },
                    30000));
            } else {
                device.send(c.answer);
            }
        }
        EXPECT_TRUE(device.received() == c.request) << "the device got other bytes";
        const QByteArray expected = ack.repeated(pieces - 1) + c.answer;
        // The answer has to be through within the program's 5 s: wait with a
        // loop that lets the program take it as fast as it comes.
        runLoopUntil(
            [&] {
                got += a->receiveAvailable();
                return got.size() >= expected.size();
            },
            30000);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected) << "the client got other bytes";

        // No byte was taken as a line control (XOFF, say): the line still
        // carries the next request.
        ASSERT_TRUE(a->send("NEXT"));
        EXPECT_TRUE(runLoopUntil([&] { return device.received().endsWith("NEXT"); }, 10000));
    }
}
