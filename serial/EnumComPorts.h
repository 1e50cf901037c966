#pragma once

#include <QString>
#include <QStringList>

// Replaces the contents of Strings by the names of the serial ports present
// here, as a port name opens them: the entries of the working directory's
// device map (./dev/, links or not) and the serial devices the kernel reports
// (/sys/class/tty/*/device, less the legacy UART placeholders that have no
// hardware behind them), by their names under /dev. The names are sorted
// without regard to letter case (COM10 before COM2) and listed once each.
//
// A missing device map or a machine without serial devices gives an empty
// list; a source that exists but cannot be read raises EComPort code 23
// ("Registry error") with the error number of the failure.
void EnumComPorts(QStringList &Strings);

// The same from a given device map folder and kernel tty class folder (the
// public form passes ./dev and /sys/class/tty).
void enumComPortsIn(QStringList &strings, const QString &devFolder, const QString &ttyClassFolder);
