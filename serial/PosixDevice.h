#pragma once

#include "serial/CommModel.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class PosixDevice;

// One read or write request on a device, the counterpart of an overlapped
// request: it is started, may stay pending, and is completed by whoever asks
// for its result (waiting or not). Requests make progress on the thread of
// the caller; no thread of the device layer holds on to them, so a request
// may be released at any time.
struct DeviceRequest
{
    enum class Kind : uint8_t { None, Read, Write };

    std::shared_ptr<PosixDevice> device;
    Kind kind = Kind::None;
    bool pending = false;
    int32_t transferred = 0;
    int32_t error = 0; // of the completed request; 0 for success

    const char *writeData = nullptr; // must stay valid while pending
    char *readBuffer = nullptr; // likewise
    int32_t count = 0;
    uint64_t abortGeneration = 0;
    CommTimeouts timeouts;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastByte;
};

// The POSIX rendering of one open serial device: the operations the port
// needs (open exclusively, set state, time-outs and event mask, wait for
// events, read, write, purge, modem lines), with the meanings and error
// numbers (WinError) of the communications model the port keeps.
//
// Received bytes are taken from the tty into the device's own receive queue
// of the configured input size (by whichever thread waits or reads); the
// receive-side events come from the bytes taken. A full queue stops taking
// bytes from the tty until there is room, so nothing is dropped. All state is
// guarded by one mutex; the event thread waits and the GUI thread reads and
// writes at the same time.
class PosixDevice : public std::enable_shared_from_this<PosixDevice>
{
public:
    enum class WaitResult { Fired, Stopped, TimedOut, Failed };

    PosixDevice();
    ~PosixDevice();
    PosixDevice(const PosixDevice &) = delete;
    PosixDevice &operator=(const PosixDevice &) = delete;

    // The file a port name opens: an absolute name as it stands, else
    // ./dev/<name> when the working directory's dev folder holds that entry,
    // else /dev/<name>.
    static QString devicePath(const QString &portName);

    // Every operation returns 0 or an error number (WinError); on a closed
    // device they fail with InvalidHandle.
    int32_t open(const QString &portName);
    void close();
    bool isOpen() const;
    int handle() const;

    int32_t setupComm(int32_t inQueue, int32_t outQueue);
    int32_t setCommState(const DeviceControlBlock &dcb);
    int32_t setCommTimeouts(const CommTimeouts &timeouts);
    int32_t setCommMask(uint32_t mask);
    // outputState false: the caller wants the input count only, and the
    // output side (queue count, CTS hold) is left at 0.
    int32_t clearCommError(uint32_t &errors, ComStat &stat, bool outputState = true);
    int32_t getCommModemStatus(uint32_t &status);
    int32_t escapeCommFunction(uint32_t function);
    int32_t purgeComm(uint32_t flags);
    int32_t transmitCommChar(char ch);

    // Waits until an event of the mask occurs (reported in `fired` and cleared),
    // `stopFd` becomes readable (when >= 0) or `timeoutMs` passes (negative: no
    // limit). Failed (with `error`) when the device is closed or hung up.
    WaitResult waitCommEvent(uint32_t &fired, int stopFd, int32_t timeoutMs, int32_t &error);

    // Start a request; 0 when it was accepted (it may have completed at once,
    // see request.pending) or the error that refused it.
    int32_t startWrite(DeviceRequest &request, const char *data, int32_t count);
    int32_t startRead(DeviceRequest &request, char *buffer, int32_t count);
    // Advances a request: 0 when it has completed successfully (its count in
    // request.transferred), IoIncomplete while it is pending and `wait` is
    // false, else the error it completed with. A request never started
    // reports 0 bytes at once.
    static int32_t requestResult(DeviceRequest &request, bool wait);

private:
    // One request of either kind, started with the device's current time-outs.
    int32_t startRequest(DeviceRequest &request, DeviceRequest::Kind kind, const char *writeData,
                         char *readBuffer, int32_t count);
    class WaiterScope;
    friend class WaiterScope;

    int32_t progress(DeviceRequest &request, bool wait);
    bool stepWriteLocked(DeviceRequest &request);
    bool stepReadLocked(DeviceRequest &request, std::chrono::steady_clock::time_point now,
                        std::chrono::steady_clock::time_point &wakeAt);
    void finishLocked(DeviceRequest &request, int32_t error);
    void pumpLocked();
    void appendReceivedLocked(const char *data, int count, bool &eventChar);
    void sampleCountersLocked();
    void checkTxEmptyLocked(std::chrono::steady_clock::time_point now);
    void raiseLocked(uint32_t events);
    void notifyLocked();
    void armDrainCheckLocked();

    struct Counters
    {
        int cts = 0, dsr = 0, rng = 0, dcd = 0, frame = 0, overrun = 0, parity = 0, brk = 0,
            bufOverrun = 0;
    };

    mutable std::mutex m_mutex;
    int m_fd = -1;
    QByteArray m_rxQueue;
    int32_t m_rxCapacity = 4096;
    uint32_t m_mask = 0;
    uint32_t m_events = 0; // occurred, not yet reported by a wait
    uint32_t m_errors = 0; // line errors since the last clearCommError
    DeviceControlBlock m_dcb;
    CommTimeouts m_timeouts;
    bool m_txPending = false; // written, transmit queue not yet seen empty
    int m_drainIntervalMs = 0;
    std::chrono::steady_clock::time_point m_txCheckAt; // when to look at the queue next
    // Wakes a wait for events when the transmit queue is due to be looked at
    // after a write; the write itself wakes nobody (see armDrainCheckLocked).
    int m_drainTimer = -1;
    bool m_drainTimerArmed = false;
    bool m_hungUp = false;
    bool m_hasCounters = true;
    bool m_countersValid = false;
    Counters m_counters;
    int m_markState = 0; // position inside a 0xFF 0x00 x parity mark
    uint64_t m_readAbortGeneration = 0;
    uint64_t m_writeAbortGeneration = 0;
    std::vector<int> m_waiters; // wake descriptors of threads waiting on the device
};
