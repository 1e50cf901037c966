#include "net/SocketErrors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

struct ErrnoCase
{
    int err;
    int32_t wsa;
};

TEST(SocketErrors, LinuxErrnoMapsToTheWindowsSocketsNumberOfTheSameCondition)
{
    const ErrnoCase cases[] = {
        {ECONNRESET, 10054},
        {ECONNABORTED, 10053},
        {ETIMEDOUT, 10060},
        {EADDRINUSE, 10048},
        {EWOULDBLOCK, 10035},
        {EAGAIN, 10035},
        {EINPROGRESS, 10036},
        {EALREADY, 10037},
        {ENOTSOCK, 10038},
        {EMSGSIZE, 10040},
        {ENOPROTOOPT, 10042},
        {EOPNOTSUPP, 10045},
        {EAFNOSUPPORT, 10047},
        {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},
        {ENETUNREACH, 10051},
        {ENETRESET, 10052},
        {ENOBUFS, 10055},
        {EISCONN, 10056},
        {ENOTCONN, 10057},
        {ESHUTDOWN, 10058},
        {ECONNREFUSED, 10061},
        {EHOSTDOWN, 10064},
        {EHOSTUNREACH, 10065},
        {EPIPE, 10054},
        {EINTR, 10004},
        {EBADF, 10009},
        {EACCES, 10013},
        {EINVAL, 10022},
        {EMFILE, 10024},
        // Linux numbers that have no socket meaning must not pose as one
        // (EDEADLK is 35 on Linux, which would read as 10035 "would block").
        {EDEADLK, 10107},
        {ENOENT, 10107},
        {EIO, 10107},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wsaFromErrno(c.err), c.wsa) << "errno " << c.err;
}

struct TextCase
{
    int32_t code;
    const char *text;
};

// Spot values of the log line's table: its two ends, the numbers on either
// side of the gap at 10047 to 10049, a text that keeps its odd spelling, and
// numbers outside the table.
TEST(SocketErrors, NumbersHaveTheTextOfTheErrorLogLine)
{
    const TextCase cases[] = {
        {10035, "Operation would block"},
        {10046, "Protocol family not supported"},
        {10050, "Network is down"},
        {10054, "Connection reset by peer"},
        {10059, "To many references: cannot splice"},
        {10101, "Disconnect"},
        {11001, "Host not found"},
        {10047, "Report this error number to Tevrandt"},
        {10048, "Report this error number to Tevrandt"},
        {10049, "Report this error number to Tevrandt"},
        {10107, "Report this error number to Tevrandt"},
        {0, "Report this error number to Tevrandt"},
        {-1, "Report this error number to Tevrandt"},
        {11002, "Report this error number to Tevrandt"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wsaErrorText(c.code), QString::fromLatin1(c.text)) << "code " << c.code;
}

TEST(SocketErrors, ExceptionTextsNameTheNumberAndTheCall)
{
    const QString bind = QString::fromUtf8(socketApiError(EADDRINUSE, "bind").what());
    EXPECT_TRUE(bind.startsWith(QStringLiteral("Windows socket error: ")));
    EXPECT_TRUE(bind.contains(qt_error_string(EADDRINUSE)));
    EXPECT_TRUE(bind.endsWith(QStringLiteral(" (10048), on API 'bind'"))) << qPrintable(bind);

    EXPECT_STREQ(asyncSocketError(10054).what(), "Asynchronous socket error 10054");
}

} // namespace
