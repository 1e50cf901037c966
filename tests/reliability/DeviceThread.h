#pragma once

#include "tests/fixtures/PtyDevice.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// A pseudo-terminal played by the test as the ZMT, with its own thread doing
// the device's reading and writing. The program may block its GUI thread in a
// long write to the port, and its serial event thread waits for the GUI
// thread to take what arrived; a device served from the test's (GUI) thread
// would stall both, so this one never waits for the test.
class DeviceThread
{
public:
    DeviceThread();
    ~DeviceThread();
    DeviceThread(const DeviceThread &) = delete;
    DeviceThread &operator=(const DeviceThread &) = delete;

    bool isValid() const { return m_pty.isValid() && m_wake >= 0; }
    QString slavePath() const { return m_pty.slavePath(); }

    // Everything the program has written to the device so far.
    QByteArray received() const;
    qsizetype receivedSize() const;
    // Queues bytes that the device sends, written as the terminal takes them.
    void send(const QByteArray &bytes);
    // True when everything queued has been written to the terminal.
    bool sent() const;

private:
    void run();
    void wake();

    PtyDevice m_pty;
    int m_wake = -1;
    mutable std::mutex m_mutex;
    QByteArray m_received;
    QByteArray m_output;
    bool m_stop = false;
    std::thread m_thread;
};
