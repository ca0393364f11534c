// The job runner's link to the BACnet stack: starts and stops the stack as a BACnet/IP
// device, scans by Who-Is, and reads and writes remote File objects through blocking calls.
// Runs on the main thread; only OnIAm runs on the stack thread.
#pragma once

#include "backend/job_runner.h"

class BACnetStackClient : public JobStackClient {
public:
  int Start(int32_t local_device, const std::string& ip, int udp_port, int network) override;
  int Stop() override;
  int ScanDevices(uint32_t low, uint32_t high, int wait_seconds, FILE* result) override;
  int ReadFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end, FILE* output,
                     bool check_model) override;
  int WriteFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end, FILE* input,
                      bool check_model) override;
};
