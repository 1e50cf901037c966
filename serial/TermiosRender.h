#pragma once

#include "serial/CommModel.h"

#include <termios.h>

#include <cstdint>

// Renders a device control block onto a terminal's settings: raw mode, the
// rate, data bits, parity (mark and space through CMSPAR), stop bits (1.5 is
// rendered as 2), CTS/RTS and XON/XOFF handshake, parity checking and
// marking. A rate without a Bxxx constant leaves B38400 in `t` and is
// returned in `customRate` (0 otherwise), to be set through setCustomSpeed.
// Returns false, touching nothing that matters, for values with no rendering
// (rate 0, data bits outside 5..8, unknown parity or stop bits).
bool renderControlBlock(const DeviceControlBlock &dcb, termios &t, uint32_t &customRate);
