#include "serial/PosixDevice.h"

#include "serial/CustomSpeed.h"
#include "serial/TermiosRender.h"
#include "serial/WinError.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>

using namespace WinComm;
using Clock = std::chrono::steady_clock;

namespace {

// While output is still in the driver, a wait for the transmit queue to
// drain looks at it after this long at first, then less and less often (a
// handshake may hold the output for long); devices with line counters are
// sampled this often while a wait watches line events (their changes wake
// nobody).
constexpr int firstDrainIntervalMs = 5;
constexpr int lastDrainIntervalMs = 200;
constexpr int counterIntervalMs = 50;
// Without a wake descriptor a waiter falls back to looking this often.
constexpr int fallbackIntervalMs = 50;

constexpr uint32_t lineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

// Each thread that waits on a device owns one eventfd, by which the device
// wakes it when its state changes (bytes taken, room made, events, abort).
class ThreadWake
{
public:
    ThreadWake()
        : fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    { }
    ~ThreadWake()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ThreadWake(const ThreadWake &) = delete;
    ThreadWake &operator=(const ThreadWake &) = delete;
    const int fd;
};

int threadWakeFd()
{
    thread_local ThreadWake wake;
    return wake.fd;
}

bool noModemLines(int err)
{
    // Pseudo-terminals and other devices without modem lines refuse the
    // modem ioctls this way; they count as lines that are all off.
    return err == ENOTTY || err == EINVAL;
}

int remainingMs(Clock::time_point now, Clock::time_point until)
{
    if (until <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return ms > INT_MAX ? INT_MAX : int(ms);
}

// The shorter of two poll time-outs, where negative means none.
int shorter(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

Clock::time_point after(Clock::time_point from, uint64_t ms)
{
    // Limits near MAXDWORD are some 49 days; clamp far beyond any wait.
    constexpr uint64_t cap = uint64_t(1) << 40;
    return from + std::chrono::milliseconds(std::min(ms, cap));
}

} // namespace

// Registers the calling thread's wake descriptor with the device for the life
// of one wait.
class PosixDevice::WaiterScope
{
public:
    explicit WaiterScope(PosixDevice &device)
        : m_device(device)
        , m_fd(threadWakeFd())
    {
        if (m_fd < 0)
            return;
        std::lock_guard lock(m_device.m_mutex);
        m_device.m_waiters.push_back(m_fd);
    }
    ~WaiterScope()
    {
        if (m_fd < 0)
            return;
        std::lock_guard lock(m_device.m_mutex);
        auto &w = m_device.m_waiters;
        const auto it = std::find(w.begin(), w.end(), m_fd);
        if (it != w.end())
            w.erase(it);
    }
    WaiterScope(const WaiterScope &) = delete;
    WaiterScope &operator=(const WaiterScope &) = delete;

    int fd() const { return m_fd; }
    // Called before the state is examined: any change after that sets the
    // descriptor again.
    void reset() const
    {
        uint64_t value;
        if (m_fd >= 0)
            while (::read(m_fd, &value, sizeof value) > 0) { }
    }
    int pollLimit(int timeoutMs) const
    {
        return m_fd >= 0 ? timeoutMs : shorter(timeoutMs, fallbackIntervalMs);
    }

private:
    PosixDevice &m_device;
    const int m_fd;
};

PosixDevice::PosixDevice()
    : m_drainTimer(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{ }

PosixDevice::~PosixDevice()
{
    close();
    if (m_drainTimer >= 0)
        ::close(m_drainTimer);
}

QString PosixDevice::devicePath(const QString &portName)
{
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    const QString mapped = QDir::current().filePath(QStringLiteral("dev/") + portName);
    struct stat st;
    // The entry itself counts, even a link to a device that is missing: the
    // open then reports the missing device.
    if (::lstat(QFile::encodeName(mapped).constData(), &st) == 0)
        return mapped;
    return QStringLiteral("/dev/") + portName;
}

int32_t PosixDevice::open(const QString &portName)
{
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        return WinError::AccessDenied;
    if (portName.isEmpty())
        return WinError::FileNotFound;

    const QByteArray path = QFile::encodeName(devicePath(portName));
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return WinError::fromErrno(errno);

    auto fail = [fd](int32_t error) {
        ::close(fd);
        return error;
    };
    struct stat st;
    if (::fstat(fd, &st) < 0)
        return fail(WinError::fromErrno(errno));
    // Only devices are ports; a plain file or a pipe under that name is not.
    if (!S_ISCHR(st.st_mode))
        return fail(WinError::FileNotFound);
    // The lock first, so that a device in use is left untouched; then the
    // tty's own exclusive mode keeps other (non-root) openers out.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0)
        return fail(WinError::fromErrno(errno));
    if (::ioctl(fd, TIOCEXCL) < 0 && errno != ENOTTY)
        return fail(WinError::fromErrno(errno));

    m_fd = fd;
    m_rxQueue.clear();
    m_mask = 0;
    m_events = 0;
    m_errors = 0;
    m_txPending = false;
    m_hungUp = false;
    m_hasCounters = true;
    m_countersValid = false;
    m_markState = 0;
    sampleCountersLocked();
    return 0;
}

void PosixDevice::close()
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return;
    ++m_readAbortGeneration;
    ++m_writeAbortGeneration;
    notifyLocked();
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd); // also releases the lock
    m_fd = -1;
    m_rxQueue.clear();
    m_events = 0;
}

bool PosixDevice::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_fd >= 0;
}

int PosixDevice::handle() const
{
    std::lock_guard lock(m_mutex);
    return m_fd;
}

int32_t PosixDevice::setupComm(int32_t inQueue, int32_t outQueue)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;
    if (inQueue <= 0 || outQueue <= 0)
        return WinError::InvalidParameter;
    // Bytes already queued beyond a smaller size stay; taking from the tty
    // resumes once the queue is below the new size.
    m_rxCapacity = inQueue;
    notifyLocked();
    return 0;
}

int32_t PosixDevice::setCommState(const DeviceControlBlock &dcb)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;

    termios t;
    if (::tcgetattr(m_fd, &t) < 0)
        return WinError::fromErrno(errno);
    uint32_t customRate = 0;
    if (!renderControlBlock(dcb, t, customRate))
        return WinError::InvalidParameter;
    if (::tcsetattr(m_fd, TCSANOW, &t) < 0)
        return WinError::fromErrno(errno);
    if (customRate != 0) {
        if (const int err = setCustomSpeed(m_fd, customRate))
            return WinError::fromErrno(err);
    }

    // DTR and RTS held as the control fields say; under RTS handshake the
    // kernel drives RTS itself.
    const uint32_t dtr = dcb.Flags & DCB_DTR_MASK;
    const uint32_t rts = dcb.Flags & DCB_RTS_MASK;
    int dtrBit = TIOCM_DTR;
    if (::ioctl(m_fd, dtr != 0 ? TIOCMBIS : TIOCMBIC, &dtrBit) < 0 && !noModemLines(errno))
        return WinError::fromErrno(errno);
    if (rts != DCB_RTS_HANDSHAKE) {
        int rtsBit = TIOCM_RTS;
        if (::ioctl(m_fd, rts == DCB_RTS_ENABLE ? TIOCMBIS : TIOCMBIC, &rtsBit) < 0
            && !noModemLines(errno))
            return WinError::fromErrno(errno);
    }

    if ((m_dcb.Flags & DCB_ERROR_CHAR) != (dcb.Flags & DCB_ERROR_CHAR))
        m_markState = 0;
    m_dcb = dcb;
    return 0;
}

int32_t PosixDevice::setCommTimeouts(const CommTimeouts &timeouts)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;
    m_timeouts = timeouts;
    return 0;
}

int32_t PosixDevice::setCommMask(uint32_t mask)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;
    m_mask = mask;
    m_events &= mask;
    notifyLocked();
    return 0;
}

int32_t PosixDevice::clearCommError(uint32_t &errors, ComStat &stat, bool outputState)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;
    pumpLocked();
    sampleCountersLocked();
    errors = m_errors;
    m_errors = 0;

    stat = ComStat();
    stat.cbInQue = uint32_t(m_rxQueue.size());
    if (!outputState)
        return 0;
    int outQueue = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &outQueue) == 0 && outQueue > 0)
        stat.cbOutQue = uint32_t(outQueue);
    if (m_dcb.Flags & DCB_OUTX_CTS_FLOW) {
        int lines = 0;
        if (::ioctl(m_fd, TIOCMGET, &lines) == 0 && !(lines & TIOCM_CTS))
            stat.Flags |= 1u; // waiting for CTS before transmitting
    }
    return 0;
}

int32_t PosixDevice::getCommModemStatus(uint32_t &status)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;
    status = 0;
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) < 0)
        return noModemLines(errno) ? 0 : WinError::fromErrno(errno);
    if (lines & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (lines & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (lines & TIOCM_RNG)
        status |= MS_RING_ON;
    if (lines & TIOCM_CAR)
        status |= MS_RLSD_ON;
    return 0;
}

int32_t PosixDevice::escapeCommFunction(uint32_t function)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;
    int result = 0;
    int bit = 0;
    switch (function) {
    case SETXOFF:
        result = ::tcflow(m_fd, TCOOFF);
        break;
    case SETXON:
        result = ::tcflow(m_fd, TCOON);
        break;
    case SETRTS:
    case CLRRTS:
        bit = TIOCM_RTS;
        result = ::ioctl(m_fd, function == SETRTS ? TIOCMBIS : TIOCMBIC, &bit);
        break;
    case SETDTR:
    case CLRDTR:
        bit = TIOCM_DTR;
        result = ::ioctl(m_fd, function == SETDTR ? TIOCMBIS : TIOCMBIC, &bit);
        break;
    case SETBREAK:
        result = ::ioctl(m_fd, TIOCSBRK);
        break;
    case CLRBREAK:
        result = ::ioctl(m_fd, TIOCCBRK);
        break;
    default:
        return WinError::InvalidParameter;
    }
    if (result < 0 && !noModemLines(errno))
        return WinError::fromErrno(errno);
    return 0;
}

int32_t PosixDevice::purgeComm(uint32_t flags)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return WinError::InvalidHandle;
    if (flags & PURGE_TXABORT)
        ++m_writeAbortGeneration;
    if (flags & PURGE_RXABORT)
        ++m_readAbortGeneration;
    int32_t error = 0;
    if ((flags & PURGE_TXCLEAR) && ::tcflush(m_fd, TCOFLUSH) < 0)
        error = WinError::fromErrno(errno);
    if (flags & PURGE_RXCLEAR) {
        if (::tcflush(m_fd, TCIFLUSH) < 0 && error == 0)
            error = WinError::fromErrno(errno);
        m_rxQueue.clear();
        m_markState = 0;
    }
    notifyLocked();
    return error;
}

int32_t PosixDevice::transmitCommChar(char ch)
{
    DeviceRequest request;
    if (const int32_t error = startWrite(request, &ch, 1))
        return error;
    if (const int32_t error = requestResult(request, true))
        return error;
    return request.transferred == 1 ? 0 : WinError::CounterTimeout;
}

PosixDevice::WaitResult PosixDevice::waitCommEvent(uint32_t &fired, int stopFd, int32_t timeoutMs,
                                                   int32_t &error)
{
    fired = 0;
    error = 0;
    const Clock::time_point deadline = after(Clock::now(), timeoutMs < 0 ? 0 : uint64_t(timeoutMs));
    WaiterScope waiter(*this);
    bool sawHangUp = false;
    // The device lock is held as briefly as possible here: the event thread
    // comes back to this wait while the GUI thread runs the dispatch of the
    // last one, and both want the lock. Bytes in the tty are taken only once
    // poll has seen them (a fresh wait sees them at its first poll), and the
    // wake descriptor is emptied only once it has been seen set. A stop
    // signalled before the wait wins over events already there.
    bool ttyReadable = false;
    bool woken = true;
    if (stopFd >= 0) {
        pollfd stop = {stopFd, POLLIN, 0};
        if (::poll(&stop, 1, 0) > 0)
            return WaitResult::Stopped;
    }
    for (;;) {
        // Emptied before the state is looked at: a change made after this
        // sets it again, so no wake-up is lost.
        if (woken)
            waiter.reset();

        int fd = -1;
        short wanted = 0;
        int pollMs = -1;
        {
            std::lock_guard lock(m_mutex);
            if (m_fd < 0) {
                error = WinError::InvalidHandle;
                return WaitResult::Failed;
            }
            if (ttyReadable)
                pumpLocked();
            sampleCountersLocked();
            // The transmit queue is looked at when it is due, or along with
            // other events so that they go out in one completed wait.
            const Clock::time_point now = Clock::now();
            if (m_txPending && ((m_events & m_mask) || now >= m_txCheckAt))
                checkTxEmptyLocked(now);
            if (m_events & m_mask) {
                fired = m_events & m_mask;
                m_events &= ~fired;
                return WaitResult::Fired;
            }
            if (m_hungUp || sawHangUp) {
                error = WinError::IoDevice;
                return WaitResult::Failed;
            }
            fd = m_fd;
            // A full queue takes nothing more from the tty until a reader
            // makes room (and wakes us).
            wanted = m_rxQueue.size() < m_rxCapacity ? POLLIN : 0;
            if (m_txPending)
                pollMs = shorter(pollMs, remainingMs(now, m_txCheckAt));
            if (m_hasCounters && (m_mask & lineEvents))
                pollMs = shorter(pollMs, counterIntervalMs);
        }
        if (timeoutMs >= 0) {
            const int left = remainingMs(Clock::now(), deadline);
            if (left == 0 && timeoutMs > 0)
                return WaitResult::TimedOut;
            pollMs = shorter(pollMs, left);
        }
        pollMs = waiter.pollLimit(pollMs);

        pollfd fds[4] = {{fd, wanted, 0},
                         {waiter.fd(), POLLIN, 0},
                         {m_drainTimer, POLLIN, 0},
                         {stopFd, POLLIN, 0}};
        const int n = ::poll(fds, stopFd >= 0 ? 4 : 3, pollMs);
        ttyReadable = n > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR));
        woken = n > 0 && (fds[1].revents & POLLIN);
        if (n > 0 && (fds[2].revents & POLLIN)) {
            uint64_t expirations;
            [[maybe_unused]] const ssize_t got
                = ::read(m_drainTimer, &expirations, sizeof expirations);
            std::lock_guard lock(m_mutex);
            m_drainTimerArmed = false;
        }
        if (n < 0 && errno != EINTR) {
            error = WinError::fromErrno(errno);
            return WaitResult::Failed;
        }
        if (n > 0 && stopFd >= 0 && (fds[3].revents & POLLIN))
            return WaitResult::Stopped;
        if (n > 0 && (fds[0].revents & POLLNVAL)) {
            error = WinError::InvalidHandle;
            return WaitResult::Failed;
        }
        // A hang-up fails the wait once the bytes before it and their events
        // are taken (also when the queue is full and nothing more is taken).
        if (n > 0 && (fds[0].revents & (POLLHUP | POLLERR)))
            sawHangUp = true;
        if (n == 0 && timeoutMs == 0)
            return WaitResult::TimedOut;
        if (n == 0 && timeoutMs > 0 && remainingMs(Clock::now(), deadline) == 0)
            return WaitResult::TimedOut;
    }
}

int32_t PosixDevice::startWrite(DeviceRequest &request, const char *data, int32_t count)
{
    return startRequest(request, DeviceRequest::Kind::Write, data, nullptr, count);
}

int32_t PosixDevice::startRead(DeviceRequest &request, char *buffer, int32_t count)
{
    return startRequest(request, DeviceRequest::Kind::Read, nullptr, buffer, count);
}

int32_t PosixDevice::startRequest(DeviceRequest &request, DeviceRequest::Kind kind,
                                  const char *writeData, char *readBuffer, int32_t count)
{
    if (count < 0)
        return WinError::InvalidParameter;
    {
        std::lock_guard lock(m_mutex);
        if (m_fd < 0)
            return WinError::InvalidHandle;
        request.device = shared_from_this();
        request.kind = kind;
        request.pending = true;
        request.transferred = 0;
        request.error = 0;
        request.writeData = writeData;
        request.readBuffer = readBuffer;
        request.count = count;
        request.abortGeneration = kind == DeviceRequest::Kind::Write ? m_writeAbortGeneration
                                                                     : m_readAbortGeneration;
        request.timeouts = m_timeouts;
        request.started = Clock::now();
        request.lastByte = request.started;
    }
    const int32_t result = progress(request, false);
    return result == WinError::IoIncomplete ? 0 : result;
}

int32_t PosixDevice::requestResult(DeviceRequest &request, bool wait)
{
    if (!request.pending || !request.device)
        return request.error;
    // Keep the device alive for the call, whatever happens to the request.
    const std::shared_ptr<PosixDevice> device = request.device;
    return device->progress(request, wait);
}

int32_t PosixDevice::progress(DeviceRequest &request, bool wait)
{
    std::optional<WaiterScope> waiter;
    if (wait)
        waiter.emplace(*this);
    const bool writing = request.kind == DeviceRequest::Kind::Write;
    for (;;) {
        int fd = -1;
        int pollMs = -1;
        {
            std::lock_guard lock(m_mutex);
            if (waiter)
                waiter->reset();
            if (!request.pending)
                return request.error;
            const uint64_t generation = writing ? m_writeAbortGeneration : m_readAbortGeneration;
            if (m_fd < 0 || request.abortGeneration != generation) {
                finishLocked(request, WinError::OperationAborted);
                return request.error;
            }

            const Clock::time_point now = Clock::now();
            Clock::time_point wakeAt = Clock::time_point::max();
            if (writing) {
                if (stepWriteLocked(request))
                    return request.error;
                const uint64_t limit = uint64_t(request.timeouts.WriteTotalTimeoutMultiplier)
                        * uint64_t(request.count)
                    + request.timeouts.WriteTotalTimeoutConstant;
                if (limit != 0) {
                    wakeAt = after(request.started, limit);
                    if (now >= wakeAt) {
                        // Time is up: what is not sent is dropped.
                        finishLocked(request, 0);
                        return 0;
                    }
                }
            } else if (stepReadLocked(request, now, wakeAt)) {
                return request.error;
            }

            if (!wait)
                return WinError::IoIncomplete;
            fd = m_fd;
            if (wakeAt != Clock::time_point::max())
                pollMs = remainingMs(now, wakeAt);
        }

        pollMs = waiter->pollLimit(pollMs);
        pollfd fds[2] = {{fd, short(writing ? POLLOUT : POLLIN), 0}, {waiter->fd(), POLLIN, 0}};
        const int n = ::poll(fds, 2, pollMs);
        if (n > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // The device went away or hung up: a read ends with what it has,
            // a write with what it sent or the device's error.
            std::lock_guard lock(m_mutex);
            if (!request.pending)
                return request.error;
            if (writing) {
                if (stepWriteLocked(request))
                    return request.error;
                finishLocked(request, request.transferred > 0 ? 0 : WinError::IoDevice);
            } else {
                Clock::time_point unused;
                if (stepReadLocked(request, Clock::now(), unused))
                    return request.error;
                finishLocked(request, 0);
            }
            return request.error;
        }
    }
}

// Writes what the tty takes now; true when the request has completed.
bool PosixDevice::stepWriteLocked(DeviceRequest &request)
{
    while (request.transferred < request.count) {
        const ssize_t n = ::write(m_fd, request.writeData + request.transferred,
                                  size_t(request.count - request.transferred));
        if (n > 0) {
            request.transferred += int32_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return false;
        finishLocked(request, n < 0 ? WinError::fromErrno(errno) : WinError::IoDevice);
        return true;
    }
    finishLocked(request, 0);
    return true;
}

// Takes queued bytes into the request and applies the read time limits; true
// when the request has completed. `wakeAt` is when a limit next expires.
bool PosixDevice::stepReadLocked(DeviceRequest &request, Clock::time_point now,
                                 Clock::time_point &wakeAt)
{
    pumpLocked();
    const int32_t take = std::min<int32_t>(request.count - request.transferred, m_rxQueue.size());
    if (take > 0) {
        const bool wasFull = m_rxQueue.size() >= m_rxCapacity;
        std::copy_n(m_rxQueue.constData(), take, request.readBuffer + request.transferred);
        m_rxQueue.remove(0, take);
        request.transferred += take;
        request.lastByte = now;
        // Only a full queue keeps a waiter from taking bytes from the tty.
        if (wasFull)
            notifyLocked();
    }
    if (request.transferred == request.count) {
        finishLocked(request, 0);
        return true;
    }

    const CommTimeouts &t = request.timeouts;
    // Interval MAXDWORD with no total limit: return at once with what is there.
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0
        && t.ReadTotalTimeoutConstant == 0) {
        finishLocked(request, 0);
        return true;
    }
    // Interval and multiplier MAXDWORD, a constant limit: return as soon as
    // anything is there, or empty-handed when the constant expires.
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD
        && t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD) {
        wakeAt = after(request.started, t.ReadTotalTimeoutConstant);
        if (request.transferred > 0 || now >= wakeAt) {
            finishLocked(request, 0);
            return true;
        }
        return false;
    }
    // Otherwise a total limit (multiplier per byte plus constant; none when
    // both are 0) and a limit between bytes once the first has come (none
    // when 0).
    const uint64_t total = uint64_t(t.ReadTotalTimeoutMultiplier) * uint64_t(request.count)
        + t.ReadTotalTimeoutConstant;
    if (total != 0) {
        wakeAt = after(request.started, total);
        if (now >= wakeAt) {
            finishLocked(request, 0);
            return true;
        }
    }
    if (t.ReadIntervalTimeout != 0 && request.transferred > 0) {
        const Clock::time_point intervalEnd = after(request.lastByte, t.ReadIntervalTimeout);
        if (now >= intervalEnd) {
            finishLocked(request, 0);
            return true;
        }
        wakeAt = std::min(wakeAt, intervalEnd);
    }
    if (m_hungUp) {
        finishLocked(request, 0);
        return true;
    }
    return false;
}

void PosixDevice::finishLocked(DeviceRequest &request, int32_t error)
{
    request.pending = false;
    request.error = error;
    if (request.kind == DeviceRequest::Kind::Write && request.transferred > 0) {
        m_txPending = true;
        m_drainIntervalMs = firstDrainIntervalMs;
        m_txCheckAt = Clock::now() + std::chrono::milliseconds(firstDrainIntervalMs);
        armDrainCheckLocked();
    }
}

// A write does not wake the event wait at once: waking it for every request
// costs a thread switch, and mostly a hand-over to the GUI thread of its own
// for the transmit-empty event alone. The wait looks at the transmit queue on
// whatever wakes it next (usually the answer, so both go in one hand-over),
// and this timer makes sure it does so within the first drain interval even
// when nothing else happens.
void PosixDevice::armDrainCheckLocked()
{
    if (m_drainTimer < 0) {
        notifyLocked();
        return;
    }
    // Armed already, it wakes the wait no later than now; the wait then
    // looks at m_txCheckAt and waits the rest itself.
    if (m_drainTimerArmed)
        return;
    itimerspec due {};
    due.it_value.tv_nsec = long(firstDrainIntervalMs) * 1000000;
    if (::timerfd_settime(m_drainTimer, 0, &due, nullptr) == 0)
        m_drainTimerArmed = true;
    else
        notifyLocked();
}

// Moves what the tty has into the receive queue, up to its size, and records
// the receive-side events of the bytes taken.
void PosixDevice::pumpLocked()
{
    if (m_fd < 0)
        return;
    const int before = m_rxQueue.size();
    bool eventChar = false;
    char chunk[512];
    for (;;) {
        const int room = m_rxCapacity - m_rxQueue.size();
        if (room <= 0)
            break;
        const size_t wanted = std::min<size_t>(size_t(room), sizeof chunk);
        const ssize_t n = ::read(m_fd, chunk, wanted);
        if (n > 0) {
            m_hungUp = false;
            appendReceivedLocked(chunk, int(n), eventChar);
            // Less than asked for: the tty has nothing more now, and asking
            // again only to hear so costs a system call. Whatever comes
            // later makes the tty readable again.
            if (size_t(n) < wanted)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // End of file or EIO: the other side of a pseudo-terminal closed, or
        // the device is gone.
        m_hungUp = true;
        break;
    }
    const int after = m_rxQueue.size();
    if (after > before) {
        notifyLocked(); // a reader may be waiting for these, whatever the mask
        uint32_t events = EV_RXCHAR;
        if (eventChar)
            events |= EV_RXFLAG;
        const int threshold = int(int64_t(m_rxCapacity) * 8 / 10);
        if (before < threshold && after >= threshold)
            events |= EV_RX80FULL;
        raiseLocked(events);
    }
}

void PosixDevice::appendReceivedLocked(const char *data, int count, bool &eventChar)
{
    const bool marking = (m_dcb.Flags & DCB_PARITY) && (m_dcb.Flags & DCB_ERROR_CHAR);
    const bool discardNull = m_dcb.Flags & DCB_NULL;
    for (int i = 0; i < count; ++i) {
        char c = data[i];
        if (marking) {
            // The tty marks an errored byte as 0xFF 0x00 byte and doubles a
            // real 0xFF; the errored byte becomes the replacement character.
            const unsigned char u = static_cast<unsigned char>(c);
            if (m_markState == 0 && u == 0xFF) {
                m_markState = 1;
                continue;
            }
            if (m_markState == 1) {
                m_markState = u == 0x00 ? 2 : 0;
                if (u == 0x00)
                    continue;
            } else if (m_markState == 2) {
                m_markState = 0;
                c = m_dcb.ErrorChar;
            }
        }
        if (discardNull && c == 0)
            continue;
        if (c == m_dcb.EvtChar)
            eventChar = true;
        m_rxQueue.append(c);
    }
}

// Line errors, breaks and modem-line changes from the driver's counters, on
// devices that keep them.
void PosixDevice::sampleCountersLocked()
{
    if (!m_hasCounters || m_fd < 0)
        return;
    serial_icounter_struct ic = {};
    if (::ioctl(m_fd, TIOCGICOUNT, &ic) < 0) {
        if (noModemLines(errno))
            m_hasCounters = false;
        return;
    }
    const Counters now {ic.cts,     ic.dsr,    ic.rng, ic.dcd,        ic.frame,
                        ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    if (!m_countersValid) {
        m_counters = now;
        m_countersValid = true;
        return;
    }
    const Counters &was = m_counters;
    uint32_t events = 0;
    uint32_t errors = 0;
    if (now.cts != was.cts)
        events |= EV_CTS;
    if (now.dsr != was.dsr)
        events |= EV_DSR;
    if (now.dcd != was.dcd)
        events |= EV_RLSD;
    if (now.rng != was.rng)
        events |= EV_RING;
    if (now.brk != was.brk) {
        events |= EV_BREAK;
        errors |= CE_BREAK;
    }
    if (now.frame != was.frame)
        errors |= CE_FRAME;
    if (now.overrun != was.overrun)
        errors |= CE_OVERRUN;
    if (now.parity != was.parity)
        errors |= CE_RXPARITY;
    if (now.bufOverrun != was.bufOverrun)
        errors |= CE_RXOVER;
    if (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY))
        events |= EV_ERR;
    m_counters = now;
    m_errors |= errors;
    if (events)
        raiseLocked(events);
}

// The transmit queue has drained once the driver holds no more output; while
// it has not, it is looked at again after a growing pause (a handshake may
// hold the output for long).
void PosixDevice::checkTxEmptyLocked(Clock::time_point now)
{
    if (!m_txPending)
        return;
    int outQueue = 0;
    if ((m_mask & EV_TXEMPTY) && ::ioctl(m_fd, TIOCOUTQ, &outQueue) == 0 && outQueue > 0) {
        m_txCheckAt = now + std::chrono::milliseconds(m_drainIntervalMs);
        m_drainIntervalMs = std::min(m_drainIntervalMs * 2, lastDrainIntervalMs);
        return;
    }
    m_txPending = false;
    raiseLocked(EV_TXEMPTY);
}

void PosixDevice::raiseLocked(uint32_t events)
{
    const uint32_t masked = events & m_mask;
    if (masked == 0)
        return;
    m_events |= masked;
    notifyLocked();
}

void PosixDevice::notifyLocked()
{
    const uint64_t one = 1;
    // The calling thread looks at the state itself before it next waits.
    const int self = threadWakeFd();
    for (int fd : m_waiters) {
        if (fd == self)
            continue;
        // A full counter already wakes its waiter.
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    }
}
