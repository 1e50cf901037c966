#pragma once

#include "serial/EComPort.h"
#include "serial/TComPort.h"

#include <QDir>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>

// The settings the application gives its port: 9600 8N1, event character
// line feed, DTR held off, RTS held on, all ten events.
inline void setApplicationSettings(TCustomComPort &port)
{
    port.SetBaudRate(br9600);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity()->SetBits(prNone);
    port.SetEventChar('\n');
    port.SetEvents(allComEvents);
    port.FlowControl()->SetOutCTSFlow(false);
    port.FlowControl()->SetOutDSRFlow(false);
    port.FlowControl()->SetControlDTR(dtrDisable);
    port.FlowControl()->SetControlRTS(rtsEnable);
    port.FlowControl()->SetXonXoffOut(false);
    port.FlowControl()->SetXonXoffIn(false);
}

// A port that counts how often each settings group is sent for.
class CountingPort : public TComPort
{
public:
    int dcb = 0;
    int timeouts = 0;
    int buffer = 0;
    void reset() { dcb = timeouts = buffer = 0; }

protected:
    void ApplyDCB() override
    {
        ++dcb;
        TComPort::ApplyDCB();
    }
    void ApplyTimeouts() override
    {
        ++timeouts;
        TComPort::ApplyTimeouts();
    }
    void ApplyBuffer() override
    {
        ++buffer;
        TComPort::ApplyBuffer();
    }
};

// Runs `f` and checks that it raises EComPort with the code and error number.
template<typename F>
void expectComError(F &&f, int32_t code, int32_t winCode)
{
    try {
        f();
        ADD_FAILURE() << "no EComPort raised, expected code " << code;
    } catch (const EComPort &e) {
        EXPECT_EQ(e.Code(), code) << e.what();
        EXPECT_EQ(e.WinCode(), winCode) << e.what();
    }
}

// Makes a folder the working directory for the life of the object.
class ScopedCurrentDir
{
public:
    explicit ScopedCurrentDir(const QString &dir) : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(dir);
    }
    ~ScopedCurrentDir() { QDir::setCurrent(m_previous); }
    ScopedCurrentDir(const ScopedCurrentDir &) = delete;
    ScopedCurrentDir &operator=(const ScopedCurrentDir &) = delete;

private:
    QString m_previous;
};
