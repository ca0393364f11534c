// The process's time zone for a scope, the one before restored after it: tests whose local
// times are fixed set the zone they need, whatever zone they are started in.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class ScopedTimeZone {
public:
  explicit ScopedTimeZone(const char* zone)
  {
    if (const char* before = std::getenv("TZ"))
      before_ = before;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone()
  {
    if (before_)
      setenv("TZ", before_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
  std::optional<std::string> before_;
};
