// The job runner's values from arbitrary input, run against a stack client that only checks
// what reaches it: every request carries exactly the numbers its function's keys name (read
// as atoi reads them, but in full) and those lie in their ranges, the stack starts only with
// the job's local device, a dotted IPv4 address and a port number, and scans ask for the
// job's range and time. The input's lines are, in order, the outcome of every call and the
// values of a fixed job.
// The job file lives in memory and the log and the local files are devices, so that an input
// costs the runner's own work and little else.
#include "backend/job_runner.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr uint32_t kMaxInstance = 4194302;

// The keys the input fills after the link's three (LOCAL_DEVICE_ID, IP, PORT), in order, for
// each of two functions.
enum Key { kTodo, kDeviceId, kFileInstance, kStart, kEnd, kRangeLow, kRangeHigh, kScanTime, kStopOnError, kSkipNext };
const char* const kFunctionKeys[] = {"TODO",        "DEVICE_ID",      "FILE_INSTANCE", "START",
                                     "END",         "RANGE_LOW",      "RANGE_HIGH",    "SCAN_TIME",
                                     "STOP_ON_ERROR", "ON_ERROR_SKIP_NEXT"};
constexpr int kKeys = sizeof kFunctionKeys / sizeof kFunctionKeys[0];
constexpr int kFunctions = 2;

// The job file: a file in memory rewritten for every input, opened by the runner by name.
struct MemoryJobFile {
  std::string path = "/dev/shm/zor17-job-fuzz-XXXXXX";
  int fd = mkstemp(path.data());
  MemoryJobFile()
  {
    if (fd < 0)
      std::abort();
  }
  ~MemoryJobFile() { unlink(path.c_str()); }
  void write(const std::string& text)
  {
    if (pwrite(fd, text.data(), text.size(), 0) != ssize_t(text.size()))
      std::abort();
    if (text.size() < size && ftruncate(fd, off_t(text.size())) != 0)
      std::abort();
    size = text.size();
  }
  size_t size = 0;
};

// What the job file stores for a value: the value without the blanks around it; nothing
// when it is blank.
std::string_view stored(std::string_view value)
{
  size_t first = value.find_first_not_of(" \t\r");
  if (first == std::string_view::npos)
    return {};
  return value.substr(first, value.find_last_not_of(" \t\r") - first + 1);
}

bool present(std::string_view value) { return !stored(value).empty(); }

// The number a value names, as canonical decimal text: blanks, a sign and the digits up to
// the first other character, without leading zeros; "0" when there are no digits. Worked
// out on the text, so that it holds for numbers of any length.
std::string named_number(std::string_view value)
{
  value = value.substr(0, value.find('\0'));  // a value ends at a zero byte
  size_t at = 0;
  while (at < value.size() && std::isspace(static_cast<unsigned char>(value[at])))
    ++at;
  bool negative = at < value.size() && value[at] == '-';
  if (at < value.size() && (value[at] == '-' || value[at] == '+'))
    ++at;
  while (at < value.size() && value[at] == '0')
    ++at;
  size_t digits = at;
  while (digits < value.size() && std::isdigit(static_cast<unsigned char>(value[digits])))
    ++digits;
  if (digits == at)
    return "0";
  return (negative ? "-" : "") + std::string(value.substr(at, digits - at));
}

bool names(std::string_view value, int64_t number) { return named_number(value) == std::to_string(number); }

bool names_positive(std::string_view value)
{
  std::string n = named_number(value);
  return n[0] != '-' && n != "0";
}

// A named number within 0..limit (the digits are few enough to convert).
bool names_within(std::string_view value, int64_t limit)
{
  std::string n = named_number(value);
  return n[0] != '-' && n.size() <= 18 && std::stoll(n) <= limit;
}

bool is_function(std::string_view todo, std::string_view name)
{
  std::string_view t = stored(todo);
  if (t.size() != name.size())
    return false;
  for (size_t i = 0; i < t.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t[i])) != name[i])
      return false;
  return true;
}

class CheckingClient : public JobStackClient {
public:
  std::string_view local_device, ip, port;
  std::string_view function[kFunctions][kKeys];
  int scan_result = 0;
  int transfer_result = 0;

  int Start(int32_t device, const std::string& address, int udp_port, int) override
  {
    in_addr parsed{};
    if (device < 0 || uint32_t(device) > kMaxInstance || !names(local_device, device) ||
        inet_pton(AF_INET, address.c_str(), &parsed) != 1 ||
        address != (present(ip) ? stored(ip) : "127.0.0.1") || udp_port < 1 || udp_port > 65535 ||
        !names(present(port) ? port : "47808", udp_port))
      __builtin_trap();
    return 0;
  }
  int Stop() override { return 0; }
  int ScanDevices(uint32_t low, uint32_t high, int wait_seconds, FILE* result) override
  {
    if (low > high || high > kMaxInstance || wait_seconds < 0 || !result)
      __builtin_trap();
    served(scan_result, [&](const std::string_view* keys) {
      std::string_view l = keys[kRangeLow], h = keys[kRangeHigh], t = keys[kScanTime];
      bool high_given = present(h) && names_within(h, kMaxInstance);
      bool no_wait = present(t) && named_number(t)[0] == '-';
      return is_function(keys[kTodo], "SCAN_DEVICE") && (present(l) ? names(l, low) : low == 0) &&
             (high_given ? names(h, high) : high == kMaxInstance) &&
             (!present(t) ? wait_seconds == 5 : no_wait ? wait_seconds == 0 : names(t, wait_seconds));
    });
    if (scan_result == 0)
      std::fputs("Device ID; Device Name; SoftwareVersion\n", result);
    return scan_result;
  }
  int ReadFileObject(uint32_t device, uint32_t instance, int32_t start, int32_t end, FILE* output, bool) override
  {
    check(device, instance, start, end, "READ");
    std::fputs("ABC", output);
    return transfer_result;
  }
  int WriteFileObject(uint32_t device, uint32_t instance, int32_t start, int32_t end, FILE* input, bool) override
  {
    check(device, instance, start, end, "WRITE");
    char buffer[16];
    (void)std::fread(buffer, 1, sizeof buffer, input);
    return transfer_result;
  }

private:
  // Finds the function that made a request: the first from the next one on that it matches.
  // A request no function names is a fault, and so is one after a failed request whose
  // function stops the job or skips the functions that follow.
  template <typename Matches>
  void served(int result, Matches matches)
  {
    int f = next_;
    while (f < kFunctions && !matches(function[f]))
      ++f;
    if (f == kFunctions)
      __builtin_trap();
    if (failed_ >= 0) {
      const std::string_view* keys = function[failed_];
      if (stored(keys[kStopOnError]) == "1" || names_positive(keys[kSkipNext]))  // two functions: any skip reaches the second
        __builtin_trap();
    }
    if (result != 0)
      failed_ = f;
    next_ = f + 1;
  }

  void check(uint32_t device, uint32_t instance, int32_t start, int32_t end, const char* todo)
  {
    int64_t count = int64_t(end) - int64_t(start);
    if (device > kMaxInstance || instance > kMaxInstance || count < 0 || count > INT32_MAX)
      __builtin_trap();
    served(transfer_result, [&](const std::string_view* keys) {
      return is_function(keys[kTodo], todo) && names(keys[kDeviceId], device) &&
             names(keys[kFileInstance], instance) && names(keys[kStart], start) && names(keys[kEnd], end);
    });
  }

  int next_ = 0;
  int failed_ = -1;  // the function whose request failed
};

std::tm fixed_time() { return std::tm{}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static MemoryJobFile job_file;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto value = [&]() {  // the next line of the input; empty once they are used up
    size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return line;
  };

  CheckingClient client;
  // -3 .. 3 for the transfers, so that failures skip and stop functions too; scans fail in
  // every other step of seven.
  unsigned outcome = unsigned(std::atoi(std::string(value()).c_str()));
  client.transfer_result = int(outcome % 7) - 3;
  client.scan_result = (outcome / 7) % 2 ? -1 : 0;
  client.local_device = value();
  client.ip = value();
  client.port = value();
  // The log and the local files are devices: no input names a file of its own.
  std::string job;
  job.reserve(512 + size);
  job.append("[GENERAL]\nLINK=BACnet_IP\nLOCAL_DEVICE_ID=").append(client.local_device);
  job.append("\n[BACnet_IP]\nIP=").append(client.ip).append("\nPORT=").append(client.port).append("\n");
  for (int f = 0; f < kFunctions; ++f) {
    job.append("[F").append(1, char('0' + f)).append("]\nRESULTFILE=/dev/null\nSOURCEFILE=/dev/zero\n");
    for (int k = 0; k < kKeys; ++k) {
      // An empty value stores nothing, as if the line were not there; it is left out.
      client.function[f][k] = value();
      if (!client.function[f][k].empty())
        job.append(kFunctionKeys[k]).append("=").append(client.function[f][k]).append("\n");
    }
  }
  job_file.write(job);

  JobRunner runner(client, fixed_time);
  runner.Run(job_file.path);
  return 0;
}
