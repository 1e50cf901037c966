#include "net/SocketErrors.h"

#include <cerrno>
#include <utility>

namespace {

// Linux errno -> Windows Sockets number. EAGAIN and EWOULDBLOCK (and ENOTSUP
// and EOPNOTSUPP) share one value on Linux; listing both costs nothing.
constexpr std::pair<int, int32_t> errnoToWsa[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EPERM, 10013}, // a firewall refusal; Windows reports it as access denied
    {EACCES, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},
    {EWOULDBLOCK, 10035},
    {EAGAIN, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {ENOTSUP, 10045},
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    // Linux reports a send on a connection the peer has reset as EPIPE after
    // the first ECONNRESET; the server never shuts down its own sending side.
    {EPIPE, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
};

constexpr int32_t wsaSystemCallFailure = 10107;

struct CodeText
{
    int32_t code;
    const char *text;
};

// The texts of the connection-error log line.
constexpr CodeText wsaTexts[] = {
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on nonsocket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software cause connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Cannot send after socket shutdown"},
    {10059, "To many references: cannot splice"},
    {10060, "Connection time out"},
    {10061, "Connection refused"},
    {10101, "Disconnect"},
    {11001, "Host not found"},
};

} // namespace

int32_t wsaFromErrno(int err)
{
    for (const auto &[e, wsa] : errnoToWsa) {
        if (e == err)
            return wsa;
    }
    return wsaSystemCallFailure;
}

QString wsaErrorText(int32_t code)
{
    for (const auto &entry : wsaTexts) {
        if (entry.code == code)
            return QString::fromLatin1(entry.text);
    }
    return QStringLiteral("Report this error number to Tevrandt");
}

ESocketError socketApiError(int err, const char *api)
{
    const QString text = QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                             .arg(qt_error_string(err), QString::number(wsaFromErrno(err)),
                                  QString::fromLatin1(api));
    return ESocketError(text.toStdString());
}

ESocketError asyncSocketError(int32_t code)
{
    return ESocketError(QStringLiteral("Asynchronous socket error %1").arg(code).toStdString());
}
