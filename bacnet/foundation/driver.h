// The process-wide lock, the log writer and the record every stack module receives at init.
// Owns: the one recursive lock, the log state (user callback, log file, remote-API hook).
// Any thread may call these; the log file is opened and closed around every message.
// Must not: hold the lock across the remote-API broadcast, or keep the log file open.
#pragma once

#include <cstdint>

using DriverLogFunction = void (*)(int level, const char* text);

// Handed to every module's init; a module keeps `log` as its trace output when its option
// byte is set.
struct DriverContext {
  DriverLogFunction log = nullptr;
  char* log_file_name = nullptr;  // owned copy, or null
  uint8_t options[24] = {};
};

void driver_lock(const char* file, int line);
void driver_unlock(const char* file, int line);
void driver_mutex_lock(const char* file, int line);
void driver_mutex_unlock(const char* file, int line);

// Holds the lock for one scope, with the caller's position for the failure texts.
class DriverLockGuard {
public:
  DriverLockGuard(const char* file, int line) : file_(file), line_(line) { driver_lock(file, line); }
  ~DriverLockGuard() { driver_unlock(file_, line_); }
  DriverLockGuard(const DriverLockGuard&) = delete;
  DriverLockGuard& operator=(const DriverLockGuard&) = delete;

private:
  const char* file_;
  int line_;
};
#define DRIVER_LOCK_SCOPE() DriverLockGuard driver_lock_guard_(__FILE__, __LINE__)

void driver_log(int level, const char* text);
int driver_write_hook();

// Log state. The stack host fills it at start-up and clears it at unload.
void driver_set_log_callback(DriverLogFunction callback);
void driver_set_log_file(const char* file_name);  // copied; null switches the file off
// The remote API's broadcast of log events to its clients; null while no API runs.
void driver_set_log_broadcast(DriverLogFunction broadcast);

// Fills the context from the start-up record's log file and option bytes.
void driver_context_init(DriverContext& context, const char* log_file_name, const uint8_t options[24]);
void driver_context_free(DriverContext& context);

// Only for tests: the current nesting depth of the global lock.
int driver_lock_depth();
