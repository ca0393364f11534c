// The alarm and event services of the local device: AcknowledgeAlarm, the received
// ConfirmedEventNotification (handed to the host's hook), GetAlarmSummary,
// GetEnrollmentSummary and GetEventInformation, and SubscribeCOV. Stack thread only, called
// by the confirmed dispatcher; they read and mark the objects and leave the notifications to
// the behaviour engine.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>

int services_acknowledge_alarm(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                               bool snet_present, const BACnetAddress& routed_source);
int services_confirmed_event_notification(const BACnetAddress& local, const ServiceRequest& request,
                                          ServiceAnswer* answer, bool snet_present, const BACnetAddress& routed_source);
int services_get_alarm_summary(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                               bool snet_present, const BACnetAddress& routed_source);
int services_get_enrollment_summary(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                    bool snet_present, const BACnetAddress& routed_source);
int services_get_event_information(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                   bool snet_present, const BACnetAddress& routed_source);
int services_subscribe_cov(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                           bool snet_present, const BACnetAddress& routed_source);

// How many event summaries one GetEventInformation answer may carry for this requester.
uint32_t services_event_summary_limit(const ServiceRequest& request);
