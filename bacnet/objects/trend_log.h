// The Trend Log timer: it owes acknowledgment notifications, logs the referenced property
// into the log buffer at the log interval between start and stop time, stops a log that
// must stop when full, and sends buffer-ready notifications at the notification threshold.
// Stack thread only, inside the object behaviour's tick; reads of other devices go through
// the remote-property cache and never wait.
#pragma once

#include <cstdint>

struct ObjectRecord;

void object_TrendLogTimer(uint32_t owner, ObjectRecord* object);

// Records since the last buffer-ready notification: total - notified modulo 2^32, plus 34
// when the total has wrapped below the count notified.
uint32_t trendlog_records_since_notified(uint32_t total, uint32_t notified);
