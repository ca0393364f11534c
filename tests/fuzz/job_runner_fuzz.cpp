// The job runner's values from arbitrary input, run against a stack client that only checks
// what reaches it: every request names a valid device, File instance and byte range, the
// stack starts only with a dotted IPv4 address and a port number, and scans stay within the
// instance range. The input's lines are, in order, the outcome of every transfer and the
// values of a fixed job; the file keys point into a scratch folder, so no input names a file
// of its own.
#include "backend/job_runner.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kMaxInstance = 4194302;

// The keys the input fills after the link's three (LOCAL_DEVICE_ID, IP, PORT), in order, for
// each of two functions.
const char* const kFunctionKeys[] = {"TODO",        "DEVICE_ID",      "FILE_INSTANCE", "START",
                                     "END",         "RANGE_LOW",      "RANGE_HIGH",    "SCAN_TIME",
                                     "STOP_ON_ERROR", "ON_ERROR_SKIP_NEXT"};
constexpr int kFunctions = 2;

struct Scratch {
  std::filesystem::path dir;
  Scratch()
  {
    char name[] = "/tmp/zor17-job-fuzz-XXXXXX";
    if (!mkdtemp(name))
      std::abort();
    dir = name;
    std::ofstream(dir / "source.bin", std::ios::binary) << "0123456789";
  }
  ~Scratch() { std::filesystem::remove_all(dir); }
  std::string path(const char* name) const { return (dir / name).string(); }
};

class CheckingClient : public JobStackClient {
public:
  int transfer_result = 0;

  int Start(int32_t local_device, const std::string& ip, int udp_port, int) override
  {
    in_addr parsed{};
    if (local_device < 0 || uint32_t(local_device) > kMaxInstance || inet_pton(AF_INET, ip.c_str(), &parsed) != 1 ||
        udp_port < 1 || udp_port > 65535)
      __builtin_trap();
    return 0;
  }
  int Stop() override { return 0; }
  int ScanDevices(uint32_t low, uint32_t high, int wait_seconds, FILE* result) override
  {
    if (low > high || high > kMaxInstance || wait_seconds < 0 || !result)
      __builtin_trap();
    std::fputs("Device ID; Device Name; SoftwareVersion\n", result);
    return 0;
  }
  int ReadFileObject(uint32_t device, uint32_t instance, int32_t start, int32_t end, FILE* output, bool) override
  {
    check(device, instance, start, end);
    std::fputs("ABC", output);
    return transfer_result;
  }
  int WriteFileObject(uint32_t device, uint32_t instance, int32_t start, int32_t end, FILE* input, bool) override
  {
    check(device, instance, start, end);
    char buffer[16];
    (void)std::fread(buffer, 1, sizeof buffer, input);
    return transfer_result;
  }

private:
  static void check(uint32_t device, uint32_t instance, int32_t start, int32_t end)
  {
    int64_t count = int64_t(end) - int64_t(start);
    if (device > kMaxInstance || instance > kMaxInstance || count < 0 || count > INT32_MAX)
      __builtin_trap();
  }
};

std::tm fixed_time() { return std::tm{}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static Scratch scratch;
  std::vector<std::string> values;
  std::string text(reinterpret_cast<const char*>(data), size);
  for (size_t at = 0; at <= text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos)
      end = text.size();
    values.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  size_t next = 0;
  auto value = [&]() { return next < values.size() ? values[next++] : std::string(); };

  CheckingClient client;
  // -3 .. 3: every kind of outcome, so that failures skip and stop functions too.
  client.transfer_result = int(unsigned(std::atoi(value().c_str())) % 7) - 3;
  std::string job = "[GENERAL]\nLOGFILE=" + scratch.path("log.txt") + "\nLINK=BACnet_IP\nLOCAL_DEVICE_ID=" + value();
  job += "\n[BACnet_IP]\nIP=" + value();
  job += "\nPORT=" + value() + "\n";
  for (int f = 0; f < kFunctions; ++f) {
    job += "[F" + std::to_string(f) + "]\nRESULTFILE=" + scratch.path("result.bin") +
           "\nSOURCEFILE=" + scratch.path("source.bin") + "\n";
    for (const char* key : kFunctionKeys)
      job += std::string(key) + "=" + value() + "\n";
  }
  const std::string job_path = scratch.path("config.ini");
  std::ofstream(job_path, std::ios::binary | std::ios::trunc) << job;

  JobRunner runner(client, fixed_time);
  runner.Run(job_path);
  return 0;
}
