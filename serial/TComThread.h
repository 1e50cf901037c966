#pragma once

#include "serial/ComTypes.h"

#include <QObject>

#include <memory>
#include <thread>

class PosixDevice;
class TCustomComPort;

// The event thread of an open port: waits on the device for the port's
// events and hands each completed wait to the port's dispatch, as the port's
// SyncMethod says:
//  - smThreadSync: the dispatch runs on the GUI thread (a pending hand-over
//    slot plus a queued call); the next wait is handed over only after it
//    has run, so dispatches never overlap;
//  - smWindowSync: one queued call per event to the GUI thread, without
//    waiting;
//  - smNone: the dispatch runs on this thread.
// Created by Open and destroyed by Close, both on the GUI thread. The
// destructor stops the thread and waits for it, running a hand-over that is
// already pending, so closing never deadlocks with a dispatch in flight.
class TComThread
{
public:
    explicit TComThread(TCustomComPort *AComPort);
    ~TComThread();
    TComThread(const TComThread &) = delete;
    TComThread &operator=(const TComThread &) = delete;

    // Signals the thread to end (without waiting).
    void Stop();

    TCustomComPort *OwnerPort() const { return FOwnerPort; }
    int StopEvent() const { return FStopEvent; }
    TComEvents FiredEvents() const;

private:
    struct HandOver;

    void Execute();
    void DispatchComMsg();
    void DoEvents();
    void SendEvents();
    static void RunHandOver(const std::shared_ptr<HandOver> &State);
    static void Dispatch(TCustomComPort *Port, TComEvents Events,
                         const std::shared_ptr<HandOver> &State, bool OnGuiThread);

    TCustomComPort *const FOwnerPort;
    const std::shared_ptr<PosixDevice> FDevice;
    const TSyncMethod FSyncMethod;
    const TThreadPriority FPriority;
    QObject *const FNotifyWindow;
    int FStopEvent = -1;
    std::shared_ptr<HandOver> FState;
    std::thread FThread;
};
