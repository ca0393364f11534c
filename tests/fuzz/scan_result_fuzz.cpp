// The backend's scan result file as the device list reads it: any bytes give a list and no
// crash; every listed instance that can be chosen is a valid device instance.
#include "gui/core/scan_result.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  for (const scan::Device& d : scan::ReadScanResult(bytes)) {
    if (auto id = scan::DeviceInstance(d.device_id); id && (*id < 0 || *id > 4194302))
      std::abort();
  }
  return 0;
}
