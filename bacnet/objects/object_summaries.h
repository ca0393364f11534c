// The searches over the object table behind the device's services: Who-Has, the alarm,
// event-information and enrollment summaries, and the list of active COV subscriptions.
// Stack thread only (they read records the stack thread owns); results are fresh values
// or copies that the caller releases. Must not change any object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bacnet/value/value_types.h"

// One Who-Has match: the owning local device, the object and its name.
struct WhoHasMatch {
  uint32_t owner;
  BACnetObjectId object;
  std::string name;
};

// The station a summary answers for: the network the request came in on and the local device it
// was addressed to. A summary there lists the objects that station answers, each identifier
// once; without a station, every object of every local device.
struct SummaryStation {
  int32_t network = -1;
  uint32_t owner = 0;
};

inline constexpr uint32_t WHO_HAS_BY_IDENTIFIER = 0;
inline constexpr uint32_t WHO_HAS_BY_NAME = 1;

// Objects of owners within low..high that match by identifier (choice 0) or by name
// (choice 1, a CHARACTER STRING, case-sensitive); each owner reports its first match in
// walk order. With a station, only the objects it answers. The matches are appended. 0.
int objtable_who_has(uint32_t low, uint32_t high, uint32_t choice, const BACnetObjectId* object,
                     const BACnetValue* name, std::vector<WhoHasMatch>& matches,
                     const SummaryStation* station = nullptr);

// Alarm summaries (tag 40, collected into tag 93) of the objects in alarm whose notify type
// is alarm. The result is released first. 0.
int objtable_alarm_summary(BACnetValue* result, const SummaryStation* station = nullptr);

// Event summaries (tag 112, collected into tag 113) for GetEventInformation, starting after
// the object named by last_received (type 999: from the first), at most max_count of them;
// more_events tells whether the walk stopped at the limit. The result is released first. 0.
int objtable_event_information(const BACnetObjectId* last_received, uint32_t max_count, BACnetValue* result,
                               bool* more_events, const SummaryStation* station = nullptr);

// The filters of GetEnrollmentSummary; the defaults are the absent filters.
struct EnrollmentFilter {
  uint32_t acknowledgment = 0;          // 0 all, 1 acked, 2 not acked
  BACnetRecipientProcess enrollment{};  // not_empty 0: no enrollment filter
  uint32_t event_state = 3;             // 0 offnormal, 1 fault, 2 normal, 3 all, 4 active
  uint32_t event_type = 999;
  uint32_t priority_min = 0xFFFFFFFF;
  uint32_t priority_max = 0xFFFFFFFF;
  uint32_t notification_class = 0xFFFFFFFF;
};

// Enrollment summaries (tag 41, collected into tag 94) of the objects that pass the
// filters. The result is released first. 0.
int objtable_enrollment_summary(const EnrollmentFilter& filter, BACnetValue* result,
                                const SummaryStation* station = nullptr);

// Every COV subscription of every object as a list (tag 85) of subscriptions (tag 110).
// The result is released first. 0, or -1 when the list cannot be made.
int objtable_cov_subscriptions(uint32_t owner, BACnetValue* result);
