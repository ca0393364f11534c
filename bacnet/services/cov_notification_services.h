// The COV notifications other devices send to the local device, confirmed and unconfirmed:
// the host hook hears each one, and every notified value goes into the remote-property cache
// under the initiating device, the monitored object and the value's property. Stack thread
// only, called by the dispatchers. Must not answer a notification it could not decode with
// anything but an Error (confirmed) or silence (unconfirmed).
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/codec/codec_cov_services.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>

// Stores each value of the notification in the cache, in order; with a trace, one line per
// value. 0, or -1 for a list of values whose element list is missing (nothing is stored).
int services_cov_notification_to_cache(const CovNotificationRequest& notification, DriverLogFunction trace);

// UnconfirmedCOVNotification: hook 2 and the trace only for port 0. 0, or -1 when the
// request does not decode.
int services_unconfirmed_cov_notification_received(uint8_t port_index, const ServiceRequest& request);
// ConfirmedCOVNotification: hook 10 on every port, then SimpleACK; Error (object, 255) for a
// request that does not decode or whose list of values is missing.
int services_confirmed_cov_notification(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                        bool snet_present, const BACnetAddress& routed_source);
