// The identity this program's BACnet device shows to the network.
#pragma once

#include "bacnet/client/client_request.h"

#include <cstdint>

namespace stack_identity {

// The Device object, the start-up I-Am and every I-Am answer carry this one number.
inline constexpr uint32_t kVendorIdentifier = kMakerVendorIdentifier;
inline constexpr const char* kObjectName = "ZOR17-Server";
inline constexpr const char* kModelName = "ZOR17-Server";
inline constexpr const char* kVendorName = "Ambrel";
inline constexpr const char* kDescription = "ZOR17-Server";
inline constexpr const char* kLocation = "localhost";
inline constexpr const char* kSoftwareVersion = "1.0.0.2";
inline constexpr const char* kBanner[] = {"Drovak BACnet Server", "----------------------------------------",
                                          "-------------------"};

}  // namespace stack_identity
