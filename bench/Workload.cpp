#include "bench/Workload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int idDigits = 5;

struct Client
{
    enum class State { Waiting, Connecting, Busy, Parked, Done };

    int fd = -1;
    int id = 0;
    State state = State::Waiting;
    uint32_t sequence = 0;
    int answers = 0;
    int64_t sentAt = 0;
    std::string expected;
    std::string input;
};

class Runner
{
public:
    explicit Runner(const WorkloadPlan &plan)
        : m_plan(plan)
    {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0)
            throw std::runtime_error(std::string("epoll: ") + std::strerror(errno));
        const size_t count = plan.ptyPath.empty() ? plan.sources.size() : 1;
        m_clients.resize(count);
        for (size_t i = 0; i < count; ++i)
            m_clients[i].id = int(i);
    }

    ~Runner()
    {
        closeAll();
        ::close(m_epoll);
    }

    WorkloadResult run(const std::function<void()> &beforeClosing)
    {
        const int64_t start = monotonicNs();
        const int64_t limitAt = start + ns(m_plan.limit);
        size_t next = 0;
        while (true) {
            const int64_t now = monotonicNs();
            // Start clients while the ramp allows.
            while (next < m_clients.size()
                   && (m_plan.rampWindow <= 0 || m_ramping < m_plan.rampWindow)) {
                startClient(m_clients[next++], now);
            }
            if (!m_rampDone && next == m_clients.size() && m_ramping == 0) {
                m_rampDone = true;
                m_result.windowStart = monotonicNs();
                if (m_plan.requestsPerClient == 0)
                    m_stopAt = m_result.windowStart + ns(m_plan.duration);
                for (Client &c : m_clients) {
                    if (c.state == Client::State::Parked)
                        send(c, m_result.windowStart);
                }
            }
            expireWaits(now);
            if (next == m_clients.size() && m_active == 0)
                break;
            if (now >= limitAt) {
                m_result.timedOut = true;
                for (Client &c : m_clients) {
                    if (c.state == Client::State::Busy)
                        ++m_result.lost;
                }
                break;
            }
            epoll_event events[256];
            const int n = ::epoll_wait(m_epoll, events, 256, 20);
            if (n < 0 && errno != EINTR)
                throw std::runtime_error(std::string("epoll_wait: ") + std::strerror(errno));
            for (int i = 0; i < n; ++i)
                handle(m_clients[events[i].data.u32], events[i].events);
        }
        if (m_result.windowEnd == 0)
            m_result.windowEnd = m_lastSent;
        if (beforeClosing)
            beforeClosing();
        closeAll();
        return m_result;
    }

private:
    static int64_t ns(std::chrono::milliseconds ms) { return int64_t(ms.count()) * 1000000; }

    void startClient(Client &c, int64_t now)
    {
        ++m_active;
        ++m_ramping;
        if (!m_plan.ptyPath.empty()) {
            c.fd = ::open(m_plan.ptyPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            termios tio {};
            if (c.fd < 0 || ::tcgetattr(c.fd, &tio) != 0) {
                fail(c, true);
                return;
            }
            ::cfmakeraw(&tio);
            ::tcsetattr(c.fd, TCSANOW, &tio);
            watch(c, EPOLLIN);
            ++m_result.connected;
            send(c, now);
            return;
        }
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (c.fd < 0) {
            fail(c, true);
            return;
        }
        const int one = 1;
        ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const std::string &source = m_plan.sources[size_t(c.id)];
        if (!source.empty()) {
            sockaddr_in local {};
            local.sin_family = AF_INET;
            if (::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1
                || ::bind(c.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
                fail(c, true);
                return;
            }
        }
        sockaddr_in remote {};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(uint16_t(m_plan.port));
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(c.fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == 0) {
            watch(c, EPOLLIN);
            ++m_result.connected;
            send(c, now);
            return;
        }
        if (errno != EINPROGRESS) {
            fail(c, true);
            return;
        }
        c.state = Client::State::Connecting;
        c.sentAt = now; // the connection attempt is timed like a request
        watch(c, EPOLLOUT);
    }

    void watch(Client &c, uint32_t events)
    {
        epoll_event e {};
        e.events = events;
        e.data.u32 = uint32_t(c.id);
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, c.fd, &e);
    }

    void handle(Client &c, uint32_t events)
    {
        if (c.state == Client::State::Connecting) {
            int err = 0;
            socklen_t length = sizeof err;
            ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &length);
            if (err != 0) {
                fail(c, true);
                return;
            }
            epoll_event e {};
            e.events = EPOLLIN;
            e.data.u32 = uint32_t(c.id);
            ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, c.fd, &e);
            ++m_result.connected;
            send(c, monotonicNs());
            return;
        }
        if (c.state == Client::State::Waiting)
            return;
        if (!(events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
            return;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
            if (n > 0) {
                c.input.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            // Closed by the relay (or failed): what is outstanding is lost.
            ++m_result.closedByPeer;
            if (c.state == Client::State::Busy)
                ++m_result.lost;
            takeLines(c);
            fail(c, false);
            return;
        }
        takeLines(c);
    }

    void takeLines(Client &c)
    {
        size_t end;
        while ((end = c.input.find('\n')) != std::string::npos) {
            const std::string line = c.input.substr(0, end + 1);
            c.input.erase(0, end + 1);
            answer(c, line);
        }
    }

    void answer(Client &c, const std::string &line)
    {
        const int64_t now = monotonicNs();
        if (c.state != Client::State::Busy || line != c.expected) {
            ++m_result.misrouted;
            return;
        }
        ++m_result.answered;
        if (m_rampDone && (m_stopAt == 0 || now <= m_stopAt))
            ++m_result.answeredInWindow;
        m_result.answerBytes += line.size();
        if (m_result.firstAnswerAt == 0)
            m_result.firstAnswerAt = now;
        else
            m_result.bytesAfterFirstAnswer += line.size();
        m_result.lastAnswerAt = now;
        if (c.answers >= m_plan.warmup)
            m_result.roundTripUs.push_back(double(now - c.sentAt) / 1000.0);
        if (c.answers++ == 0)
            --m_ramping;

        const bool enough = m_plan.requestsPerClient > 0 ? c.answers >= m_plan.requestsPerClient
                                                         : (m_stopAt != 0 && now >= m_stopAt);
        if (enough) {
            if (m_plan.requestsPerClient == 0 && m_result.windowEnd == 0)
                m_result.windowEnd = m_stopAt;
            c.state = Client::State::Done;
            --m_active;
            return;
        }
        if (m_plan.holdUntilRamped && !m_rampDone) {
            c.state = Client::State::Parked;
            return;
        }
        send(c, now);
    }

    void send(Client &c, int64_t now)
    {
        const std::string request = requestText(c.id, ++c.sequence, m_plan.padding);
        c.expected = "ANS:" + request.substr(0, request.size() - 1) + "\n";
        c.state = Client::State::Busy;
        c.sentAt = now;
        const ssize_t n = ::write(c.fd, request.data(), request.size());
        if (n != ssize_t(request.size())) {
            // A fresh connection takes a few bytes at once; anything else is
            // a broken one.
            ++m_result.lost;
            fail(c, false);
            return;
        }
        ++m_result.sent;
        m_lastSent = now;
    }

    void expireWaits(int64_t now)
    {
        if (now < m_nextExpiry)
            return;
        m_nextExpiry = now + 50'000'000;
        for (Client &c : m_clients) {
            if (c.state == Client::State::Connecting && now - c.sentAt > ns(m_plan.answerWait)) {
                fail(c, true);
                continue;
            }
            if (c.state == Client::State::Busy && now - c.sentAt > ns(m_plan.answerWait)) {
                ++m_result.lost;
                if (c.answers == 0)
                    --m_ramping;
                c.state = Client::State::Done;
                --m_active;
            }
        }
    }

    // The client takes no further part. A connection that never came up
    // counts as a failed connection.
    void fail(Client &c, bool connecting)
    {
        if (connecting)
            ++m_result.connectFailures;
        if (c.fd >= 0) {
            ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, c.fd, nullptr);
            ::close(c.fd);
            c.fd = -1;
        }
        if (c.state != Client::State::Done) {
            if (c.answers == 0)
                --m_ramping;
            --m_active;
        }
        c.state = Client::State::Done;
    }

    void closeAll()
    {
        for (Client &c : m_clients) {
            if (c.fd >= 0) {
                ::close(c.fd);
                c.fd = -1;
            }
        }
    }

    const WorkloadPlan &m_plan;
    int m_epoll = -1;
    std::vector<Client> m_clients;
    WorkloadResult m_result;
    int m_active = 0; // started and not done
    int m_ramping = 0; // started and not yet answered once
    bool m_rampDone = false;
    int64_t m_stopAt = 0;
    int64_t m_lastSent = 0;
    int64_t m_nextExpiry = 0;
};

} // namespace

std::string requestText(int id, uint32_t sequence, int padding)
{
    char head[32];
    std::snprintf(head, sizeof head, "C%0*dS%06u", idDigits, id, sequence % 1000000);
    return std::string(head) + std::string(size_t(padding), 'x') + "\r";
}

SequentialClient::~SequentialClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void SequentialClient::connectTcp(int port, const std::string &source)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!source.empty()) {
        sockaddr_in local {};
        local.sin_family = AF_INET;
        if (::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1
            || ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0)
            throw std::runtime_error("cannot bind to " + source + ": " + std::strerror(errno));
    }
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(uint16_t(port));
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0)
        throw std::runtime_error("cannot connect to port " + std::to_string(port) + ": "
                                 + std::strerror(errno));
}

void SequentialClient::openTerminal(const std::string &path)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio {};
    if (m_fd < 0 || ::tcgetattr(m_fd, &tio) != 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    ::cfmakeraw(&tio);
    ::tcsetattr(m_fd, TCSANOW, &tio);
}

void SequentialClient::run(int count, int warmup, WorkloadResult &result,
                           std::chrono::milliseconds wait)
{
    for (int i = 0; i < count; ++i) {
        const std::string request = requestText(0, ++m_sequence);
        const std::string expected = "ANS:" + request.substr(0, request.size() - 1) + "\n";
        const int64_t sent = monotonicNs();
        const int64_t deadline = sent + int64_t(wait.count()) * 1000000;
        if (::write(m_fd, request.data(), request.size()) != ssize_t(request.size())) {
            ++result.lost;
            return;
        }
        ++result.sent;
        m_input.clear();
        // The answer is complete at its line feed; the wait is bounded.
        while (m_input.find('\n') == std::string::npos) {
            const int64_t left = deadline - monotonicNs();
            pollfd pfd {m_fd, POLLIN, 0};
            if (left <= 0 || ::poll(&pfd, 1, int(left / 1000000) + 1) < 0) {
                ++result.lost;
                return;
            }
            char buffer[512];
            const ssize_t n = (pfd.revents & (POLLIN | POLLHUP | POLLERR))
                ? ::read(m_fd, buffer, sizeof buffer)
                : 0;
            if (n > 0)
                m_input.append(buffer, size_t(n));
            else if (n == 0 && (pfd.revents & (POLLHUP | POLLERR))) {
                ++result.lost;
                ++result.closedByPeer;
                return;
            }
        }
        const int64_t now = monotonicNs();
        if (m_input != expected) {
            ++result.misrouted;
            continue;
        }
        ++result.answered;
        result.answerBytes += m_input.size();
        if (i >= warmup)
            result.roundTripUs.push_back(double(now - sent) / 1000.0);
    }
}

int64_t monotonicNs()
{
    timespec t {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

WorkloadResult runWorkload(const WorkloadPlan &plan, const std::function<void()> &beforeClosing)
{
    Runner runner(plan);
    return runner.run(beforeClosing);
}
