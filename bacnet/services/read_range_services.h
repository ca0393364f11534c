// ReadRange on the log buffer of the local Trend Logs: the selection by position, by time,
// by time range or by sequence number, cut to what the requester's max-APDU code allows.
// Stack thread only, called by the confirmed dispatcher. Reads the log, never changes it.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>

// The records selected from a log buffer of `used` records: positions [first, last), 1-based.
struct RangeSelection {
  uint32_t first = 1;
  uint32_t last = 1;
  bool more_items = false;      // the selection was cut
  bool sequence_reported = false;
};

// The records one answer may carry by the requester's max-segments/max-APDU octet.
uint32_t services_read_range_limit(uint8_t max_segments_apdu);
// The selection of the request's range from the log; 0, or the BACnet error code (class
// object) plus one that refuses it.
uint32_t services_select_range(const ReadRangeRequest& request, const BACnetValueArray* log, uint32_t total_records,
                               uint32_t limit, RangeSelection* selection);

int services_read_range(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                        bool snet_present, const BACnetAddress& routed_source);
