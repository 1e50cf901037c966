#include "serial/TComThread.h"

#include "app/support/ExceptionDisplay.h"
#include "serial/CommModel.h"
#include "serial/PosixDevice.h"
#include "serial/TCustomComPort.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>

namespace {

// A wait that fails at once (a device gone or hung up) is retried after a
// pause that grows up to this, so the thread never spins.
constexpr int longestBackOffMs = 100;

// The order in which the events of one completed wait are dispatched.
constexpr TComEvent dispatchOrder[]
    = {evError, evRxChar, evTxEmpty, evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full};

bool waitForStop(int stopFd, int ms)
{
    pollfd fd = {stopFd, POLLIN, 0};
    return ::poll(&fd, 1, ms) > 0;
}

void applyPriority(TThreadPriority priority)
{
    // Threads share the ordinary scheduling class; the priority is rendered
    // as the thread's nice value. Raising it needs privileges and is skipped
    // quietly without them, as the thread works the same either way.
    constexpr int niceValues[] = {19, 10, 5, 0, -5, -10, -20};
    if (priority == tpNormal)
        return;
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, niceValues[priority]);
}

// Shows an error raised on the event thread (smNone) with the program's
// display, which belongs to the GUI thread; without an application object
// it goes to stderr only.
void showOnGuiThread(std::exception_ptr error)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        std::fprintf(stderr, "Hollvan: error in a serial event handler\n");
        return;
    }
    QMetaObject::invokeMethod(
        app, [error] { runGuarded([error] { std::rethrow_exception(error); }); },
        Qt::QueuedConnection);
}

} // namespace

// The hand-over between the event thread and the GUI thread (smThreadSync).
// Shared with the queued calls, so a call that arrives after the thread has
// gone finds the state, sees nothing pending and does nothing.
struct TComThread::HandOver
{
    std::mutex mutex;
    std::condition_variable changed;
    TCustomComPort *port = nullptr;
    TComEvents fired; // of the wait handed over last
    TComEvents completed; // of the wait that completed last
    bool pending = false; // a completed wait waits to be dispatched
    bool running = false; // its dispatch is running on the GUI thread
    bool stopping = false; // no further hand-overs
    bool abandoned = false; // the running dispatch closed the port: stop waiting for it
    bool ended = false; // Execute has returned
    bool cancelled = false; // the thread is gone; a running dispatch stops
};

TComThread::TComThread(TCustomComPort *AComPort)
    : FOwnerPort(AComPort)
    , FDevice(AComPort->device())
    , FSyncMethod(AComPort->SyncMethod())
    , FPriority(AComPort->EventThreadPriority())
    , FNotifyWindow(AComPort->FNotifyWindow.get())
    , FState(std::make_shared<HandOver>())
{
    FStopEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FStopEvent < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    FState->port = AComPort;
    // A failure here shows in the first wait; the mask itself cannot fail
    // on an open device.
    FDevice->setCommMask(EventsToMask(AComPort->Events()));
    FThread = std::thread([this] { Execute(); });
}

TComThread::~TComThread()
{
    Stop();
    const std::shared_ptr<HandOver> state = FState;
    {
        std::unique_lock lock(state->mutex);
        state->stopping = true;
        state->changed.notify_all();
        while (!state->ended) {
            if (state->pending && !state->running) {
                // Handed over but not yet run: run it here, before the device
                // is closed, rather than wait for a queued call that the
                // caller's own wait keeps from running.
                lock.unlock();
                RunHandOver(state);
                lock.lock();
                continue;
            }
            if (state->pending && state->running) {
                // Close was called from within the dispatch itself.
                state->abandoned = true;
                state->changed.notify_all();
            }
            state->changed.wait(lock);
        }
    }
    FThread.join();
    {
        std::lock_guard lock(state->mutex);
        state->cancelled = true;
        state->port = nullptr;
    }
    ::close(FStopEvent);
}

void TComThread::Stop()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FStopEvent, &one, sizeof one);
    std::this_thread::yield();
}

TComEvents TComThread::FiredEvents() const
{
    std::lock_guard lock(FState->mutex);
    return FState->fired;
}

void TComThread::Execute()
{
    applyPriority(FPriority);
    int backOffMs = 0;
    for (;;) {
        uint32_t mask = 0;
        int32_t error = 0;
        const PosixDevice::WaitResult result = FDevice->waitCommEvent(mask, FStopEvent, -1, error);
        if (result == PosixDevice::WaitResult::Stopped)
            break;
        if (result == PosixDevice::WaitResult::Fired) {
            backOffMs = 0;
            {
                std::lock_guard lock(FState->mutex);
                FState->completed = MaskToEvents(mask);
            }
            DispatchComMsg();
            continue;
        }
        // The wait failed at once: skip it and try again after a pause.
        backOffMs = backOffMs == 0 ? 1 : std::min(backOffMs * 2, longestBackOffMs);
        if (waitForStop(FStopEvent, backOffMs))
            break;
    }
    {
        // A hand-over still to run (Close runs it) reads its bytes before
        // they are discarded here.
        std::unique_lock lock(FState->mutex);
        FState->changed.wait(lock, [this] { return !FState->pending || FState->abandoned; });
    }
    // Received bytes not yet read are discarded with the thread.
    FDevice->setCommMask(0);
    FDevice->purgeComm(WinComm::PURGE_TXCLEAR | WinComm::PURGE_RXCLEAR);

    std::lock_guard lock(FState->mutex);
    FState->ended = true;
    FState->changed.notify_all();
}

void TComThread::DispatchComMsg()
{
    switch (FSyncMethod) {
    case smThreadSync:
        DoEvents();
        break;
    case smWindowSync:
    case smNone: {
        std::unique_lock lock(FState->mutex);
        FState->fired = FState->completed;
        lock.unlock();
        if (FSyncMethod == smWindowSync)
            SendEvents();
        else
            Dispatch(FOwnerPort, FiredEvents(), FState, false);
        break;
    }
    }
}

// smThreadSync: hands the wait to the GUI thread. A wait is handed over only
// once the dispatch of the one before has run (or the port is being closed
// from within it), so dispatches never overlap and whatever happens during
// one is reported by the next. The thread does not stay to watch the
// dispatch run but goes back to waiting on the device: being woken once more
// for every hand-over costs each request a thread switch.
void TComThread::DoEvents()
{
    QCoreApplication *app = QCoreApplication::instance();
    std::unique_lock lock(FState->mutex);
    if (!app) {
        // No application, no GUI thread to hand over to: dispatch here.
        FState->fired = FState->completed;
        lock.unlock();
        Dispatch(FOwnerPort, FiredEvents(), FState, false);
        return;
    }
    FState->changed.wait(
        lock, [this] { return !FState->pending || FState->abandoned || FState->stopping; });
    if (FState->stopping)
        return;
    FState->fired = FState->completed;
    FState->pending = true;
    lock.unlock();
    const std::shared_ptr<HandOver> state = FState;
    QMetaObject::invokeMethod(
        app, [state] { RunHandOver(state); }, Qt::QueuedConnection);
}

// smWindowSync: one queued call per event, in dispatch order, without
// waiting. The calls go to the port's notify object, which Close destroys
// after this thread has ended, so calls still queued then are dropped.
void TComThread::SendEvents()
{
    const TComEvents events = FiredEvents();
    for (TComEvent event : dispatchOrder) {
        if (!events.contains(event))
            continue;
        const uint32_t code = EventsToMask(TComEvents {event});
        TCustomComPort *port = FOwnerPort;
        QMetaObject::invokeMethod(
            FNotifyWindow, [port, code] { port->WindowMethod(code); }, Qt::QueuedConnection);
    }
}

void TComThread::RunHandOver(const std::shared_ptr<HandOver> &State)
{
    std::unique_lock lock(State->mutex);
    if (!State->pending || State->running || State->cancelled)
        return;
    State->running = true;
    TCustomComPort *port = State->port;
    const TComEvents events = State->fired;
    lock.unlock();

    Dispatch(port, events, State, true);

    lock.lock();
    State->pending = false;
    State->running = false;
    // Woken after the lock is free, the event thread does not stall on it.
    lock.unlock();
    State->changed.notify_all();
}

// Raises the per-event operations of one completed wait in their fixed
// order. An error raised by one of them is shown and the remaining events
// are still delivered. A handler may close the port (or destroy it): the
// state then says so and nothing further is touched.
void TComThread::Dispatch(TCustomComPort *Port, TComEvents Events,
                          const std::shared_ptr<HandOver> &State, bool OnGuiThread)
{
    for (TComEvent event : dispatchOrder) {
        if (!Events.contains(event))
            continue;
        if (OnGuiThread) {
            std::lock_guard lock(State->mutex);
            if (State->cancelled || State->abandoned)
                return;
        }
        auto call = [Port, event] {
            switch (event) {
            case evError:
                Port->CallError();
                break;
            case evRxChar:
                Port->CallRxChar();
                break;
            case evTxEmpty:
                Port->CallTxEmpty();
                break;
            case evBreak:
                Port->CallBreak();
                break;
            case evRing:
                Port->CallRing();
                break;
            case evCTS:
                Port->CallCTSChange();
                break;
            case evDSR:
                Port->CallDSRChange();
                break;
            case evRxFlag:
                Port->CallRxFlag();
                break;
            case evRLSD:
                Port->CallRLSDChange();
                break;
            case evRx80Full:
                Port->CallRx80Full();
                break;
            }
        };
        if (OnGuiThread) {
            runGuarded(call);
            continue;
        }
        try {
            call();
        } catch (...) {
            showOnGuiThread(std::current_exception());
        }
    }
}
