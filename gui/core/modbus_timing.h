// The times of the Modbus master, all derived from the unit's answer delay (configuration
// register 33): the request timers' intervals, the monitor's interval and how long the
// status window of a transfer runs. Computed in 32 bits from the 16-bit delay and clamped
// to an interval a timer takes (1 ms .. 65535 ms for the request timers), so no delay the
// unit reports can make a timer refuse or wrap around. Pure functions.
#pragma once

#include <cstdint>

namespace modbus {

inline constexpr int kMinInterval = 1;
inline constexpr int kMaxRequestInterval = 65535;
// The answer time-out.
inline constexpr int kAnswerTimeoutMs = 10000;

// Base added to the delay: 200 ms after a connection test, 150 ms after a write of the
// configuration registers.
inline constexpr int kBaseAfterConnectionTest = 200;
inline constexpr int kBaseAfterWrite = 150;

// Interval of the block timers (write and read of configuration registers, write of input
// registers): twice the delay plus the base.
int block_interval_ms(int16_t answer_delay, int base);
// Interval of the monitor timer: the delay plus the base.
int monitor_interval_ms(int16_t answer_delay, int base);

// How long the status window runs for a sequence step: ten basic times for the read-out,
// thirty-five for the writes that take many requests, one for the others.
int status_duration_ms(int32_t step, int16_t answer_delay);
// The progress bar's tick: a tenth of the duration, rounded.
int status_tick_ms(int duration_ms);

}  // namespace modbus
