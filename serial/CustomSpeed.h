#pragma once

#include <cstdint>

// Line rates outside the Bxxx constants, through the kernel's termios2
// interface (BOTHER). Kept apart from <termios.h>, whose struct termios
// clashes with the kernel's. Both return 0 or an errno value.
int setCustomSpeed(int fd, uint32_t rate);
int readLineSpeed(int fd, uint32_t &inputRate, uint32_t &outputRate);
