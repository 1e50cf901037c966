#pragma once

#include "serial/TCustomComPort.h"

// The serial port component as the application places it: the settings and
// events of TCustomComPort, nothing added.
class TComPort : public TCustomComPort
{
    Q_OBJECT

public:
    using TCustomComPort::TCustomComPort;
};
