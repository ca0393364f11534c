// The job runner: reads the INI job file, keeps the job's log, runs the SCAN_DEVICE, READ
// and WRITE functions in file order through a stack client, and writes the end lines.
// Runs on the main thread; it blocks while the stack client waits for answers.
// Must not: touch stack state itself — everything BACnet goes through JobStackClient.
#pragma once

#include "backend/job_file.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the job runner needs of the BACnet stack. ScanDevices gives 0 when its Who-Is went
// out. Results of the file operations: 0 done, -3 not one of our units, -2 fewer octets than
// asked, -1 failure without a code, n > 0 the BACnet error code.
class JobStackClient {
public:
  virtual ~JobStackClient() = default;
  virtual int Start(int32_t local_device, const std::string& ip, int udp_port, int network) = 0;
  virtual int Stop() = 0;
  virtual int ScanDevices(uint32_t low, uint32_t high, int wait_seconds, FILE* result) = 0;
  virtual int ReadFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end,
                             FILE* output, bool check_model) = 0;
  virtual int WriteFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end,
                              FILE* input, bool check_model) = 0;
};

// Supplies the wall clock for the time lines; tests pin it.
using LocalClock = std::tm (*)();

class JobRunner {
public:
  explicit JobRunner(JobStackClient& client, LocalClock clock = nullptr);
  ~JobRunner();

  void Run(const std::string& config_path);

  // Parts of Run, public for tests.
  // 0 read; 2 link values refused; 3 the file goes beyond its limits; 4 no GENERAL section;
  // 6 and 7 the link's section missing; 8 no usable LOCAL_DEVICE_ID.
  int ReadConfig(const std::string& path);
  int ExecuteFunctions();
  int ScanDevices(const KeyMap& function);
  int ReadFileObject(const KeyMap& function);
  int WriteFileObject(const KeyMap& function);
  void AppendLog(const std::string& text);
  void LogTime(const char* label);
  void DumpSection(const KeyMap& function);
  static void CreateDirectories(const std::string& path);
  void ClearSections();
  void RemoveSectionsWithoutTodo();

  enum LinkType { kNone = 0, kBacnetIp = 1, kBacnetMstp = 2 };
  LinkType link_type() const { return link_type_; }

private:
  void Log(int id);
  void Log(int id, const std::string& argument);
  void LogNumber(int id, int number);
  // A number key of a READ or WRITE: logs `missing_message` when it is absent and
  // `out_of_range_message` when it lies outside low..high, and then gives none.
  std::optional<int64_t> RequiredNumber(const KeyMap& function, const char* key, int64_t low, int64_t high,
                                        int missing_message, int out_of_range_message);
  // Checks DEVICE_ID, FILE_INSTANCE, START, END and the local file key of a READ or WRITE.
  bool ReadTransferKeys(const KeyMap& function, const char* file_key, int missing_file_message,
                        uint32_t& device, uint32_t& instance, int32_t& start, int32_t& end,
                        std::string& file);
  int FinishTransfer(const KeyMap& function, int result);
  // READ (reading) or WRITE of one File object through its local file.
  int TransferFileObject(const KeyMap& function, bool reading);

  JobStackClient& client_;
  LocalClock clock_;
  std::string config_path_;
  std::string log_file_path_;
  std::map<std::string, std::unique_ptr<KeyMap>> sections_;
  std::vector<KeyMap*> functions_;
  LinkType link_type_ = kNone;
  std::string ip_address_;
  int udp_port_ = 0;
  std::string com_port_;
  int baud_rate_ = 0;
  int mac_address_ = 0;
  int32_t local_device_id_ = 0;
};
