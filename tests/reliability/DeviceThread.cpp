#include "tests/reliability/DeviceThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

DeviceThread::DeviceThread()
    : m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (isValid())
        m_thread = std::thread([this] { run(); });
}

DeviceThread::~DeviceThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
    if (m_wake >= 0)
        ::close(m_wake);
}

QByteArray DeviceThread::received() const
{
    // Deep copies both ways: a shared QByteArray would be released by
    // whichever thread lets go last.
    std::lock_guard lock(m_mutex);
    return QByteArray(m_received.constData(), m_received.size());
}

qsizetype DeviceThread::receivedSize() const
{
    std::lock_guard lock(m_mutex);
    return m_received.size();
}

void DeviceThread::send(const QByteArray &bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_output.append(bytes.constData(), bytes.size());
    }
    wake();
}

bool DeviceThread::sent() const
{
    std::lock_guard lock(m_mutex);
    return m_output.isEmpty();
}

void DeviceThread::wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void DeviceThread::run()
{
    const int master = m_pty.masterFd();
    for (;;) {
        bool writing = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            writing = !m_output.isEmpty();
        }
        pollfd fds[2] = {{master, short(POLLIN | (writing ? POLLOUT : 0)), 0}, {m_wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            uint64_t value;
            while (::read(m_wake, &value, sizeof value) > 0) { }
        }
        if (fds[0].revents & POLLIN) {
            char chunk[65536];
            for (;;) {
                const ssize_t n = ::read(master, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                std::lock_guard lock(m_mutex);
                m_received.append(chunk, n);
            }
        }
        if (fds[0].revents & POLLOUT) {
            std::lock_guard lock(m_mutex);
            qsizetype done = 0;
            while (done < m_output.size()) {
                const ssize_t n
                    = ::write(master, m_output.constData() + done, size_t(m_output.size() - done));
                if (n <= 0)
                    break;
                done += n;
            }
            m_output.remove(0, done);
        }
    }
}
