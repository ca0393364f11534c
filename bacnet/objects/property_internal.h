// Inside the object database only: the call record that a property function passes to the
// handlers of its computed properties, the handlers that live beside the Device object,
// and the network write checks. Other layers use property_access.h.
#pragma once

#include <cstdint>

#include "bacnet/objects/object_record.h"
#include "bacnet/objects/property_access.h"

struct PropertyCall {
  int32_t network;
  uint32_t owner;
  ObjectRecord* record;
  const FieldSpec* field;
  uint32_t property;
  int32_t index;
  uint8_t direction;  // PROPERTY_READ or PROPERTY_WRITE
  BACnetValue* value;
  uint32_t priority;

  bool reading() const { return direction == PROPERTY_READ; }
};

// Moves a stored field between the record and the caller's value by the field's kind.
int property_move_field(PropertyCall& call);

// Adds a log-status record (time stamp now, status bit `bit` := `set`) to a Trend Log's
// buffer, dropping the oldest record when `ring` is set and the buffer is full.
int trendlog_add_status_record(ObjectRecord* record, uint32_t bit, uint8_t set, bool ring);

// Device object handlers (device_object.cpp), by Handler.
int device_handler(Handler handler, PropertyCall& call);

// Network write check of one property (property_checks.cpp): 0 or the refusal.
int property_check_write(ObjectRecord* record, const FieldSpec& field, int32_t index, const BACnetValue* value);
// The time values of a day or an exception (one, a list of them or none): 0 or the refusal.
int property_check_time_values(const BACnetValue& times);
// Network write rules of a remote device (type 1001).
int property_check_remote_write(uint32_t property, const BACnetValue* value);
