#include "tools/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Answers that nobody reads pile up here; beyond this much they are dropped.
constexpr size_t outputLimit = 1 << 20;
// While the terminal's input queue is full, writing is retried this often.
constexpr std::chrono::milliseconds blockedRetry {20};

[[noreturn]] void fail(const std::string &what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

std::string printable(const std::string &bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c >= 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

std::string withLineFeed(std::string text, bool lineFeed)
{
    if (lineFeed && (text.empty() || text.back() != '\n'))
        text += '\n';
    return text;
}

void writeAll(int fd, const char *data, size_t size, const std::string &what)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(what);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

std::string readLink(const std::string &path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<size_t>(n));
}

// Puts the file in place atomically so a watcher never sees it half made.
void replaceWithSymlink(const std::string &target, const std::string &path)
{
    const std::string temporary = path + ".zmt-sim-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0)
        fail("cannot create link " + temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        fail("cannot create link " + path);
    }
}

} // namespace

Simulator::Simulator(SimOptions options)
    : m_options(std::move(options))
{
    if (m_options.baud > 0)
        m_byteTime = std::chrono::nanoseconds(10'000'000'000LL / m_options.baud);
}

Simulator::~Simulator()
{
    removeLink();
    removeReadyFile();
    for (int fd : {m_master, m_slave, m_record}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (m_timing) {
        // Requests still waiting for their answer are reported unanswered.
        for (const RequestTimes &times : m_answersPending)
            writeTiming(times, Clock::time_point());
        std::fclose(m_timing);
    }
}

void Simulator::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        fail("cannot create a pseudo-terminal");
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        fail("cannot unlock the pseudo-terminal");
    char name[256];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        fail("cannot name the pseudo-terminal");
    m_slaveName = name;

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        fail("cannot open " + m_slaveName);
    termios tio {};
    if (::tcgetattr(m_slave, &tio) != 0)
        fail("cannot read the line settings of " + m_slaveName);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        fail("cannot set raw mode on " + m_slaveName);

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        fail("cannot make the pseudo-terminal non-blocking");

    if (!m_options.recordFile.empty()) {
        m_record
            = ::open(m_options.recordFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (m_record < 0)
            fail("cannot open " + m_options.recordFile);
    }

    if (!m_options.timingFile.empty()) {
        m_timing = std::fopen(m_options.timingFile.c_str(), "we");
        if (!m_timing)
            fail("cannot open " + m_options.timingFile);
    }

    if (!m_options.linkPath.empty()) {
        struct stat st
        {
        };
        if (::lstat(m_options.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            fail("refusing to replace " + m_options.linkPath + ", which is not a link");
        }
        replaceWithSymlink(m_slaveName, m_options.linkPath);
        m_linked = true;
    }

    if (!m_options.readyFile.empty()) {
        const std::string temporary
            = m_options.readyFile + ".zmt-sim-" + std::to_string(::getpid());
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            fail("cannot write " + temporary);
        const std::string line = devicePath() + "\n";
        try {
            writeAll(fd, line.data(), line.size(), "cannot write " + temporary);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        if (::rename(temporary.c_str(), m_options.readyFile.c_str()) != 0)
            fail("cannot write " + m_options.readyFile);
        m_readyWritten = true;
    }

    m_lastInput = Clock::now();
    if (m_options.unsolicited && m_options.unsolicitedEvery.count() > 0)
        m_nextUnsolicited = Clock::now() + m_options.unsolicitedEvery;
}

std::string Simulator::devicePath() const
{
    return m_options.linkPath.empty() ? m_slaveName : m_options.linkPath;
}

void Simulator::run(int signalFd)
{
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (m_outputBlocked && now >= m_retryAt)
            m_outputBlocked = false;
        completeFramedRequests(now);
        if (now >= m_nextUnsolicited)
            fireUnsolicited(now, true);
        writeDue(now);

        const Clock::time_point deadline = nextDeadline();
        timespec timeout {};
        timespec *timeoutPointer = nullptr;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::max(std::chrono::nanoseconds(0), deadline - Clock::now());
            timeout.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
            timeoutPointer = &timeout;
        }

        pollfd fds[2] = {{signalFd, POLLIN, 0}, {m_master, POLLIN, 0}};
        if (::ppoll(fds, 2, timeoutPointer, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            fail("poll failed");
        }

        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info {};
            if (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo != SIGUSR1)
                    return;
                fireUnsolicited(Clock::now(), false);
            }
        }
        if (fds[1].revents & POLLIN) {
            takeInput(Clock::now());
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // The held slave rules this out; should it happen anyway, give up
            // rather than wake up on the same condition again and again.
            errno = EIO;
            fail("the pseudo-terminal hung up");
        }
    }
}

void Simulator::takeInput(Clock::time_point now)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            fail("cannot read the pseudo-terminal");
        }
        if (n == 0)
            return;
        record(buffer, static_cast<size_t>(n));
        if (m_input.empty())
            m_inputStarted = now;
        m_input.append(buffer, static_cast<size_t>(n));
        m_lastInput = now;
        completeFramedRequests(now);
    }
}

void Simulator::record(const char *data, size_t size)
{
    if (m_record >= 0)
        writeAll(m_record, data, size, "cannot write " + m_options.recordFile);
}

void Simulator::completeFramedRequests(Clock::time_point now)
{
    if (m_options.terminator.empty()) {
        if (!m_input.empty() && now >= m_lastInput + m_options.gap)
            handleRequest(std::exchange(m_input, std::string()), m_inputStarted, now);
        return;
    }
    const std::string &terminator = m_options.terminator;
    for (size_t end; (end = m_input.find(terminator)) != std::string::npos;) {
        std::string request = m_input.substr(0, end);
        m_input.erase(0, end + terminator.size());
        const Clock::time_point firstByte = m_inputStarted;
        // What follows the terminator came with the last read at the latest.
        m_inputStarted = m_lastInput;
        handleRequest(std::move(request), firstByte, now);
    }
}

bool Simulator::shouldAnswer() const
{
    if (m_options.silent)
        return false;
    if (m_options.silentAfter >= 0 && m_requests > m_options.silentAfter)
        return false;
    return m_requests % m_options.answerEvery == 0;
}

void Simulator::handleRequest(std::string request, Clock::time_point firstByte,
                              Clock::time_point now)
{
    ++m_requests;
    note("request", request);
    const RequestTimes times {firstByte, now};
    if (!shouldAnswer()) {
        note("left unanswered", request);
        writeTiming(times, Clock::time_point());
        return;
    }
    std::string answer;
    if (m_options.fixed) {
        answer = *m_options.fixed;
    } else {
        answer = m_options.prefix;
        std::copy_if(request.begin(), request.end(), std::back_inserter(answer),
                     [](char c) { return c != '\r' && c != '\n'; });
    }
    answer = withLineFeed(std::move(answer), m_options.lineFeed);
    note("answer", answer);
    if (queueOutput(answer, now + m_options.delay, m_options.chunks, true))
        m_answersPending.push_back(times);
    else
        writeTiming(times, Clock::time_point());
}

bool Simulator::queueOutput(const std::string &bytes, Clock::time_point start, unsigned pieces,
                            bool answer)
{
    if (bytes.empty())
        return false;
    if (m_outputBytes + bytes.size() > outputLimit) {
        std::fprintf(stderr, "zmt-sim: nobody reads the device, output dropped: %s\n",
                     printable(bytes).c_str());
        return false;
    }
    const size_t count = std::min<size_t>(pieces, bytes.size());
    const size_t base = bytes.size() / count;
    const size_t longer = bytes.size() % count;
    size_t offset = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t length = base + (i < longer ? 1 : 0);
        m_output.push_back(
            {bytes.substr(offset, length), start + m_options.chunkGap * static_cast<long>(i)});
        offset += length;
    }
    m_output.back().endsAnswer = answer;
    m_outputBytes += bytes.size();
    return true;
}

void Simulator::writeDue(Clock::time_point now)
{
    while (!m_output.empty() && !m_outputBlocked) {
        Segment &segment = m_output.front();
        const Clock::time_point due = firstByteDue(segment);
        if (now < due)
            return;
        size_t size = segment.bytes.size();
        if (m_options.baud > 0) {
            // A byte is on the line from its start until its bits have
            // passed; only then does the receiving side have it.
            const Clock::time_point start = due - m_byteTime;
            size = std::min<size_t>(size, (now - start) / m_byteTime);
        }
        const ssize_t n = ::write(m_master, segment.bytes.data(), size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            fail("cannot write the pseudo-terminal");
        if (n <= 0) {
            m_outputBlocked = true;
            m_retryAt = now + blockedRetry;
            return;
        }
        if (m_options.baud > 0)
            m_lineFreeAt = due - m_byteTime + m_byteTime * n;
        segment.bytes.erase(0, static_cast<size_t>(n));
        m_outputBytes -= static_cast<size_t>(n);
        if (segment.bytes.empty()) {
            if (segment.endsAnswer && !m_answersPending.empty()) {
                writeTiming(m_answersPending.front(), Clock::now());
                m_answersPending.pop_front();
            }
            m_output.pop_front();
        }
    }
}

Simulator::Clock::time_point Simulator::firstByteDue(const Segment &segment) const
{
    if (m_options.baud == 0)
        return segment.notBefore;
    return std::max(segment.notBefore, m_lineFreeAt) + m_byteTime;
}

void Simulator::writeTiming(const RequestTimes &times, Clock::time_point answerEnd)
{
    if (!m_timing)
        return;
    const auto ns = [](Clock::time_point t) {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
    };
    // Buffered: a line costs no system call; the file is complete once the
    // simulator has ended.
    std::fprintf(m_timing, "%lld %lld %lld\n", ns(times.firstByte), ns(times.complete),
                 answerEnd == Clock::time_point() ? 0LL : ns(answerEnd));
}

void Simulator::fireUnsolicited(Clock::time_point now, bool timed)
{
    if (!m_options.unsolicited)
        return;
    if (timed) {
        m_nextUnsolicited += m_options.unsolicitedEvery;
        if (m_nextUnsolicited <= now)
            m_nextUnsolicited = now + m_options.unsolicitedEvery;
        // Nobody reads the device: do not heap up more of the same.
        if (m_outputBlocked)
            return;
    }
    const std::string text = withLineFeed(*m_options.unsolicited, m_options.lineFeed);
    note("unsolicited", text);
    queueOutput(text, now, 1, false);
}

Simulator::Clock::time_point Simulator::nextDeadline() const
{
    Clock::time_point deadline = m_nextUnsolicited;
    if (m_options.terminator.empty() && !m_input.empty())
        deadline = std::min(deadline, m_lastInput + m_options.gap);
    if (!m_output.empty())
        deadline = std::min(deadline, m_outputBlocked ? m_retryAt : firstByteDue(m_output.front()));
    return deadline;
}

void Simulator::removeLink()
{
    // Only our own link: another simulator may have taken the name meanwhile.
    if (m_linked && readLink(m_options.linkPath) == m_slaveName)
        ::unlink(m_options.linkPath.c_str());
    m_linked = false;
}

void Simulator::removeReadyFile()
{
    if (m_readyWritten)
        ::unlink(m_options.readyFile.c_str());
    m_readyWritten = false;
}

void Simulator::note(const std::string &what, const std::string &bytes) const
{
    if (m_options.verbose)
        std::fprintf(stderr, "zmt-sim: %s \"%s\"\n", what.c_str(), printable(bytes).c_str());
}
