// Line speeds of any value on a terminal device: the C library's interface knows only a fixed
// list of rates, while MS/TP lines also run at 76800 baud and others. Kept apart because the
// kernel's own terminal definitions cannot share a file with the C library's.
// Plain calls on a descriptor; any thread.
#pragma once

#include <cstdint>

// 0, or the errno of the failing call.
int serial_speed_set(int fd, uint32_t baud_rate);
int serial_speed_get(int fd, uint32_t* baud_rate);
