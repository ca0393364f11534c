// DeviceCommunicationControl and ReinitializeDevice (guarded by the device-management
// password). Stack thread only: the handlers run in the confirmed dispatcher. The
// communication state and a restart belong to the host's hooks; without them the stack
// acknowledges and carries on.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>

// The device-management password of ReinitializeDevice.
inline constexpr const char* kDeviceManagementPassword = "KELDOR";

int services_device_communication_control(const BACnetAddress& local, const ServiceRequest& request,
                                          ServiceAnswer* answer, bool snet_present,
                                          const BACnetAddress& routed_source);
int services_reinitialize_device(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                 bool snet_present, const BACnetAddress& routed_source);
