// The job runner's link to the BACnet stack: starts and stops the stack as a BACnet/IP
// device, scans by Who-Is, and reads and writes remote File objects through blocking calls,
// checking first that the remote device is one of our units.
// Runs on the main thread; only OnIAm runs on the stack thread (under the list's own lock).
#pragma once

#include "backend/job_runner.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class BACnetStackClient : public JobStackClient {
public:
  struct IAmRecord {
    uint32_t object_type = 0;
    uint32_t instance = 0;
    uint32_t max_apdu = 0;
    uint32_t segmentation = 0;
    uint32_t vendor = 0;
  };

  BACnetStackClient();
  ~BACnetStackClient() override;

  int Start(int32_t local_device, const std::string& ip, int udp_port, int network) override;
  int Stop() override;
  int ScanDevices(uint32_t low, uint32_t high, int wait_seconds, FILE* result) override;
  int ReadFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end, FILE* output,
                     bool check_model) override;
  int WriteFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end, FILE* input,
                      bool check_model) override;

  bool IsOwnModel(uint32_t device);
  // The text of a character-string property, empty when it cannot be read. `answered` is
  // false when the call failed here (no answer in time, a refused send, a Reject or Abort).
  std::string ReadString(uint32_t object_type, uint32_t instance, uint32_t property, bool* answered = nullptr);
  static int OnIAm(const void* request);

  // The wait of a device scan; tests may shorten it.
  std::function<void(std::chrono::milliseconds)> sleep;

private:
  // Collects the I-Ams answering a Who-Is for `wait`; with `own_i_ams` above 0 the wait ends
  // early once that many I-Ams of the local device have come back since the start. False,
  // at once, when the Who-Is could not be sent.
  bool CollectIAms(int32_t low, int32_t high, std::chrono::milliseconds wait, int own_i_ams = 0);
  std::vector<IAmRecord> TakeIAms();

  std::mutex iams_mutex_;
  std::condition_variable own_i_am_heard_;
  bool collecting_ = false;
  std::vector<IAmRecord> iams_;
  int32_t local_device_ = -1;
  int own_i_ams_ = 0;  // I-Ams of the local device heard since the start
  bool started_ = false;
};

// Maps a failed call's error part to the file operations' result: the BACnet error code for
// the services that carry one, -1 for every other failure (a code of 0 included: it means a
// local failure such as a time-out, never success).
int stack_client_error_result(int32_t status, uint32_t error_code);
