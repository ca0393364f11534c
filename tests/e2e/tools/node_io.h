// Shared by the namespace test tools: the refusal to start outside the lab, their output (JSON lines, with the hex and quoted texts
// inside them) and their stack thread, which takes command lines from standard input between
// its passes. emit may be called from any thread; run_commands runs on the tool's main thread.
#pragma once

#include "bacnet/foundation/stack_wake.h"
#include "lab_guard.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// One JSON line on standard output, whole even when calls on other threads print too.
inline void emit(const std::string& json)
{
  static std::mutex printing;
  std::lock_guard<std::mutex> held(printing);
  std::printf("%s\n", json.c_str());
  std::fflush(stdout);
}

// True (with the error line said) where the tool sees an interface that is not the lab's: it
// must not start there.
inline bool outside_lab()
{
  std::string stranger;
  if (inside_lab(&stranger))
    return false;
  emit("{\"event\":\"error\",\"text\":\"interface " + stranger + " is not the test lab's; refusing to start\"}");
  return true;
}

// Lower-case hex digits, two per octet.
inline std::string hex(std::span<const uint8_t> data)
{
  std::string out;
  char octet[3];
  for (uint8_t b : data) {
    std::snprintf(octet, sizeof octet, "%02x", b);
    out += octet;
  }
  return out;
}

inline bool parse_hex(const std::string& text, std::vector<uint8_t>* out)
{
  if (text.size() % 2)
    return false;
  out->clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    std::string octet = text.substr(i, 2);
    unsigned long v = std::strtoul(octet.c_str(), &end, 16);
    if (*end)
      return false;
    out->push_back(uint8_t(v));
  }
  return true;
}

// A JSON string: quotes and backslashes escaped, control characters left out.
inline std::string quoted(const std::string& text)
{
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\')
      out += '\\';
    if (uint8_t(c) >= 0x20)
      out += c;
  }
  return out + "\"";
}

// The stack thread of a tool: `pass` at least every millisecond and at once when work or a
// command comes; every whole line of standard input goes to `command` first, which returns
// false for quit. Ends with quit or the end of the input.
template <typename Command, typename Pass>
void run_commands(Command command, Pass pass)
{
  std::string pending;
  bool running = true;
  while (running) {
    if (stack_wait(1, STDIN_FILENO) == OsWake::kReadable) {
      char buffer[65536];
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0)
        running = false;
      else
        pending.append(buffer, std::size_t(n));
      for (std::size_t end; running && (end = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        running = command(line);
      }
    }
    pass();
  }
}
