#include "tests/reliability/LoadDriver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;

const QByteArray lockOn("LOCKE");
const QByteArray lockOff("LOCKD");
const QByteArray accepted("EXE 000\r\n");
const QByteArray refused("LOCK\r\n");

// New connections under way at once, each counted until its first reply shows
// that the program has taken it. The program listens with a backlog of 5, and
// the kernel drops the SYNs of a burst beyond it, to be sent again a second
// later.
constexpr int connectSlots = 4;
// A client refused because another holds the lock tries again after this.
constexpr std::chrono::milliseconds refusedRetry {10};
constexpr int maxProblems = 10;

} // namespace

struct LoadDriver::Client
{
    enum State { Waiting, Connecting, Idle, AwaitAnswer, AwaitLockOn, AwaitLockOff, Backoff, Done };

    int index = 0;
    QByteArray address;
    int fd = -1;
    State state = Waiting;
    State resume = Idle; // what a backoff goes back to
    int answered = 0;
    int connections = 0;
    bool admitted = false; // a reply has come on the current connection
    size_t locksDone = 0;
    QByteArray sentText; // the request or command awaiting its reply
    QByteArray expected;
    QByteArray in;
    Clock::time_point retryAt;
};

LoadDriver::LoadDriver(Plan plan)
    : m_plan(std::move(plan))
{ }

LoadDriver::~LoadDriver()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

QString LoadDriver::address(int client)
{
    return QStringLiteral("127.0.%1.%2").arg(1 + client / 250).arg(1 + client % 250);
}

int LoadDriver::connectionsPerClient() const
{
    return (m_plan.requests + m_plan.reconnectEvery - 1) / m_plan.reconnectEvery;
}

void LoadDriver::start()
{
    m_thread = std::thread([this] { run(); });
}

LoadDriver::Result LoadDriver::result() const
{
    std::lock_guard lock(m_mutex);
    return m_result;
}

void LoadDriver::problem(const QString &text)
{
    std::lock_guard lock(m_mutex);
    if (m_result.problems.size() < maxProblems)
        m_result.problems.append(text);
}

namespace {

bool sendAll(int fd, const QByteArray &bytes)
{
    // A few dozen bytes into an empty socket: all or nothing.
    const ssize_t n = ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    return n == bytes.size();
}

void closeClient(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

void LoadDriver::run()
{
    std::vector<Client> clients(size_t(m_plan.clients));
    for (int i = 0; i < m_plan.clients; ++i) {
        clients[size_t(i)].index = i;
        clients[size_t(i)].address = address(i).toLatin1();
    }
    const Clock::time_point deadline = Clock::now() + m_plan.deadline;
    int connecting = 0; // clients holding a connection slot
    std::vector<pollfd> fds;
    std::vector<Client *> owners;

    while (!m_stop && Clock::now() < deadline) {
        const Clock::time_point now = Clock::now();
        // Everything that needs no I/O first: start connections, send the next
        // request or command, end backoffs.
        for (Client &c : clients) {
            if (c.state == Client::Waiting && connecting < connectSlots) {
                sockaddr_in local {};
                local.sin_family = AF_INET;
                local.sin_port = htons(
                    quint16(m_plan.localPorts + c.index * connectionsPerClient() + c.connections));
                ::inet_pton(AF_INET, c.address.constData(), &local.sin_addr);
                sockaddr_in remote {};
                remote.sin_family = AF_INET;
                remote.sin_port = htons(m_plan.port);
                remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                const int one = 1;
                ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                // The port may still be in TIME_WAIT from an earlier run.
                ::setsockopt(c.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
                if (c.fd < 0 || ::bind(c.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0
                    || (::connect(c.fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) < 0
                        && errno != EINPROGRESS)) {
                    problem(QStringLiteral("%1: cannot connect (errno %2)")
                                .arg(QString::fromLatin1(c.address))
                                .arg(errno));
                    closeClient(c.fd);
                    c.state = Client::Done;
                    continue;
                }
                c.state = Client::Connecting;
                ++connecting;
            }
            if (c.state == Client::Backoff && now >= c.retryAt) {
                if (!sendAll(c.fd, c.sentText)) {
                    problem(QString::fromLatin1(c.address) + QStringLiteral(": send failed"));
                    closeClient(c.fd);
                    c.state = Client::Done;
                    continue;
                }
                c.state = c.resume;
            }
            if (c.state == Client::Idle)
                step(c, now);
        }

        fds.clear();
        owners.clear();
        Clock::time_point wakeAt = Clock::time_point::max();
        bool allDone = true;
        for (Client &c : clients) {
            if (c.state != Client::Done)
                allDone = false;
            if (c.state == Client::Backoff)
                wakeAt = std::min(wakeAt, c.retryAt);
            short events = 0;
            if (c.state == Client::Connecting)
                events = POLLOUT;
            else if (c.state == Client::AwaitAnswer || c.state == Client::AwaitLockOn
                     || c.state == Client::AwaitLockOff)
                events = POLLIN;
            if (events) {
                fds.push_back({c.fd, events, 0});
                owners.push_back(&c);
            }
        }
        if (allDone) {
            std::lock_guard lock(m_mutex);
            m_result.finished = true;
            break;
        }
        int timeoutMs = 100; // also bounds how late a stop or the deadline is noticed
        if (wakeAt != Clock::time_point::max())
            timeoutMs = int(std::clamp<int64_t>(
                std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count(), 0,
                100));
        if (::poll(fds.data(), nfds_t(fds.size()), timeoutMs) < 0 && errno != EINTR)
            break;

        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            Client &c = *owners[i];
            if (c.state == Client::Connecting) {
                int err = 0;
                socklen_t length = sizeof err;
                ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &length);
                if (err != 0) {
                    --connecting;
                    problem(QStringLiteral("%1: connection failed (errno %2)")
                                .arg(QString::fromLatin1(c.address))
                                .arg(err));
                    closeClient(c.fd);
                    c.state = Client::Done;
                    continue;
                }
                ++c.connections;
                c.admitted = false;
                {
                    std::lock_guard lock(m_mutex);
                    ++m_result.connections;
                }
                c.state = Client::Idle;
                step(c, Clock::now());
                continue;
            }
            char chunk[4096];
            const ssize_t n = ::recv(c.fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                problem(QStringLiteral("%1: the server ended the connection after %2 answers")
                            .arg(QString::fromLatin1(c.address))
                            .arg(c.answered));
                if (!c.admitted)
                    --connecting;
                closeClient(c.fd);
                c.state = Client::Done;
                continue;
            }
            c.in.append(chunk, n);
            if (c.in.contains('\n')) {
                if (!c.admitted) {
                    c.admitted = true;
                    --connecting;
                }
                step(c, Clock::now());
            }
        }
    }

    for (Client &c : clients)
        closeClient(c.fd);
    m_done = true;
}

// Advances a client that is idle or has a complete reply in c.in.
void LoadDriver::step(Client &c, Clock::time_point now)
{
    const auto sendText = [&](const QByteArray &text, QByteArray expected, Client::State next) {
        c.sentText = text;
        c.expected = std::move(expected);
        c.in.clear();
        if (!sendAll(c.fd, text)) {
            problem(QString::fromLatin1(c.address) + QStringLiteral(": send failed"));
            closeClient(c.fd);
            c.state = Client::Done;
            return;
        }
        c.state = next;
    };
    const auto refusedNow = [&] {
        std::lock_guard lock(m_mutex);
        ++m_result.refusals;
        c.in.clear();
        c.resume = c.state;
        c.retryAt = now + refusedRetry;
        c.state = Client::Backoff;
    };
    const auto unexpected = [&] {
        problem(QStringLiteral("%1 sent \"%2\" and got \"%3\"")
                    .arg(QString::fromLatin1(c.address), QString::fromLatin1(c.sentText),
                         QString::fromLatin1(c.in)));
    };

    switch (c.state) {
    case Client::AwaitAnswer:
        if (c.in == refused)
            return refusedNow();
        {
            std::lock_guard lock(m_mutex);
            if (c.in == c.expected)
                ++m_result.answers;
            else
                ++m_result.wrongAnswers;
        }
        if (c.in != c.expected)
            unexpected();
        ++c.answered;
        c.state = Client::Idle;
        break;
    case Client::AwaitLockOn:
        if (c.in == refused)
            return refusedNow();
        if (c.in != accepted)
            unexpected();
        sendText(lockOff, accepted, Client::AwaitLockOff);
        return;
    case Client::AwaitLockOff:
        if (c.in != accepted)
            unexpected();
        ++c.locksDone;
        {
            std::lock_guard lock(m_mutex);
            ++m_result.lockCycles;
        }
        c.state = Client::Idle;
        break;
    default:
        break;
    }
    if (c.state != Client::Idle)
        return;

    if (c.answered >= m_plan.requests && c.locksDone >= m_plan.lockAfter.size()) {
        closeClient(c.fd);
        c.state = Client::Done;
        return;
    }
    if (c.locksDone < m_plan.lockAfter.size() && c.answered >= m_plan.lockAfter[c.locksDone])
        return sendText(lockOn, accepted, Client::AwaitLockOn);
    if (c.answered >= c.connections * m_plan.reconnectEvery) {
        // An orderly close; the next connection starts from the same address.
        closeClient(c.fd);
        c.state = Client::Waiting;
        return;
    }
    const QByteArray id = QStringLiteral("Q %1 n%2 ")
                              .arg(QString::fromLatin1(c.address))
                              .arg(c.answered + 1, 3, 10, QLatin1Char('0'))
                              .toLatin1();
    // A little body behind the id, so requests are not all of one length.
    const QByteArray request = id + QByteArray((c.index + c.answered) % 23, 'x');
    sendText(request + m_plan.terminator, "ANS:" + request + "\n", Client::AwaitAnswer);
}
