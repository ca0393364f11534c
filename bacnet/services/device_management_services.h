// DeviceCommunicationControl (the communication state the application layer obeys, with its
// time limit) and ReinitializeDevice (guarded by the device-management password). Stack
// thread only: the handlers run in the confirmed dispatcher, the timer in the once-a-second
// work. The stack itself never restarts here; a restart belongs to the host's hook.
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

// Once a second: communication disabled for a time comes back when the time is over.
void services_device_communication_timer();
// Forgets a running time limit (start-up, tests); the communication state stays as it is.
void services_device_communication_reset();
