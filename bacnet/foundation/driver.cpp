#include "bacnet/foundation/driver.h"

#include "bacnet/foundation/os_wrappers.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Recursive like the Windows mutex it replaces: the owner may take it again.
pthread_mutex_t g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
int32_t g_depth = 0;

DriverLogFunction g_callback = nullptr;
DriverLogFunction g_broadcast = nullptr;
char* g_log_file = nullptr;

// Out of line: inlined, its buffer would be set up (and poisoned under AddressSanitizer) on
// every lock and unlock, not only on a failure.
[[gnu::noinline]] void report(const char* format, const char* file, int line, int error)
{
  char text[512];
  std::snprintf(text, sizeof text, format, static_cast<int>(gettid()), file ? file : "", line);
  errno = error;
  std::perror(text);
}

char* copy_text(const char* text)
{
  if (!text)
    return nullptr;
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy)
    std::memcpy(copy, text, n);
  return copy;
}

}  // namespace

void driver_mutex_lock(const char* file, int line)
{
  int rc = pthread_mutex_lock(&g_lock);
  if (rc != 0) {
    report("Failed to Lock Mutex (PID:%d): %s Line %d", file, line, rc);
    return;
  }
  if (g_depth++ != 0)
    report("Lock Reentry Failure (PID:%d): %s Line %d", file, line, errno);
}

void driver_mutex_unlock(const char* file, int line)
{
  if (g_depth != 1)
    report("UnLock Reentry Failure (PID:%d): %s Line %d", file, line, errno);
  --g_depth;
  int rc = pthread_mutex_unlock(&g_lock);
  if (rc != 0) {
    ++g_depth;
    report("Failed to Release Mutex (PID:%d): %s Line %d", file, line, rc);
  }
}

void driver_lock(const char* file, int line) { driver_mutex_lock(file, line); }
void driver_unlock(const char* file, int line) { driver_mutex_unlock(file, line); }

int driver_lock_depth() { return g_depth; }

void driver_log(int level, const char* text)
{
  if (!text)
    return;
  if (g_callback) {
    driver_lock(__FILE__, __LINE__);
    g_callback(level, text);
    driver_unlock(__FILE__, __LINE__);
  }
  if (g_broadcast)
    g_broadcast(level, text);
  if (!g_log_file)
    return;

  driver_lock(__FILE__, __LINE__);
  FILE* f = std::fopen(g_log_file, "a");
  if (!f) {
    driver_unlock(__FILE__, __LINE__);
    return;
  }
  const std::tm* now = os_local_time();
  std::fprintf(f, "%02d.%02d.%04d %02d:%02d:%02d : %s\n", now->tm_mday, now->tm_mon + 1,
               now->tm_year + 1900, now->tm_hour, now->tm_min, now->tm_sec, text);
  std::fclose(f);
  file_cut_head(g_log_file, 100000, 150000, nullptr);
  driver_unlock(__FILE__, __LINE__);
}

int driver_write_hook() { return 0; }

void driver_set_log_callback(DriverLogFunction callback) { g_callback = callback; }
void driver_set_log_broadcast(DriverLogFunction broadcast) { g_broadcast = broadcast; }

void driver_set_log_file(const char* file_name)
{
  std::free(g_log_file);
  g_log_file = copy_text(file_name);
}

void driver_context_init(DriverContext& context, const char* log_file_name, const uint8_t options[24])
{
  context.log = driver_log;
  std::free(context.log_file_name);
  context.log_file_name = copy_text(log_file_name);
  if (options)
    std::memcpy(context.options, options, sizeof context.options);
}

void driver_context_free(DriverContext& context)
{
  std::free(context.log_file_name);
  context.log_file_name = nullptr;
}
