#include "bench/Measures.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(p / 100.0 * double(values.size()));
    const size_t index = rank < 1 ? 0 : std::min(values.size() - 1, size_t(rank) - 1);
    return values[index];
}

std::vector<RequestTiming> readTimingFile(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::vector<RequestTiming> timings;
    RequestTiming t;
    while (in >> t.firstByte >> t.complete >> t.answerEnd)
        timings.push_back(t);
    // Unanswered requests are written at once, answered ones when their
    // answer has gone out; arrival is the order that counts.
    std::stable_sort(
        timings.begin(), timings.end(),
        [](const RequestTiming &a, const RequestTiming &b) { return a.firstByte < b.firstByte; });
    return timings;
}

std::vector<double> deviceIdleGapsUs(const std::vector<RequestTiming> &timings, int64_t from,
                                     int64_t to)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < timings.size(); ++i) {
        const RequestTiming &before = timings[i - 1];
        const RequestTiming &next = timings[i];
        if (before.answerEnd == 0 || before.firstByte < from || next.firstByte > to)
            continue;
        if (next.firstByte >= before.answerEnd)
            gaps.push_back(double(next.firstByte - before.answerEnd) / 1000.0);
    }
    return gaps;
}

long processStatusKb(pid_t pid, const char *field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    const std::string wanted = std::string(field) + ":";
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, wanted.size(), wanted) == 0)
            return std::stol(line.substr(wanted.size()));
    }
    return -1;
}

long processOpenFilesLimit(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 14, "Max open files") == 0) {
            std::istringstream fields(line.substr(14));
            std::string soft;
            fields >> soft;
            return soft == "unlimited" ? -1 : std::stol(soft);
        }
    }
    return -1;
}

namespace {

// Calls f(localPort, state) for each IPv4 TCP socket of the machine.
template<typename F> void forEachTcpSocket(F f)
{
    std::ifstream in("/proc/net/tcp");
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const auto colon = local.find(':');
        if (colon == std::string::npos)
            continue;
        f(std::stoi(local.substr(colon + 1), nullptr, 16), std::stoi(state, nullptr, 16));
    }
}

constexpr int tcpEstablished = 0x01;
constexpr int tcpListen = 0x0A;

} // namespace

int establishedServerConnections(int port)
{
    int count = 0;
    forEachTcpSocket([&](int localPort, int state) {
        if (localPort == port && state == tcpEstablished)
            ++count;
    });
    return count;
}

bool listening(int port)
{
    bool found = false;
    forEachTcpSocket([&](int localPort, int state) {
        if (localPort == port && state == tcpListen)
            found = true;
    });
    return found;
}

int freePort()
{
    // Below the kernel's range of ephemeral ports (from 32768 by default):
    // a port from that range, free a moment ago, can meanwhile be the local
    // port of anybody's outgoing connection, and a listener then fails to
    // bind to it.
    static unsigned seed = unsigned(::getpid()) * 2654435761u;
    for (int attempt = 0; attempt < 200; ++attempt) {
        seed = seed * 1103515245u + 12345u;
        const int port = 20000 + int((seed >> 8) % 12000);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(uint16_t(port));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        if (free)
            return port;
    }
    throw std::runtime_error("no free TCP port");
}

std::string machineDescription()
{
    std::string model = "unknown processor";
    std::ifstream cpu("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpu, line)) {
        if (line.compare(0, 10, "model name") == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    long memoryKb = 0;
    std::ifstream memory("/proc/meminfo");
    while (std::getline(memory, line)) {
        if (line.compare(0, 9, "MemTotal:") == 0) {
            memoryKb = std::stol(line.substr(9));
            break;
        }
    }
    utsname u {};
    ::uname(&u);
    std::ostringstream text;
    text << model << ", " << ::sysconf(_SC_NPROCESSORS_ONLN) << " cores, "
         << (memoryKb + 512 * 1024) / (1024 * 1024) << " GiB, Linux " << u.release;
    return text.str();
}
