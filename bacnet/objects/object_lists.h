// The list-element operations of the local objects: AddListElement and RemoveListElement
// with the network's checks, and the stack's own insertions and removals (COV subscriptions,
// trend-log records) that keep each list in its order, free of duplicates where it must be,
// or as a ring. Results are the BACnet error code plus one. Stack thread only; must not
// reach a record from another thread (API threads go through the request queues).
#pragma once

#include <cstdint>

#include "bacnet/value/value_types.h"

struct ObjectRecord;

// The service bodies: checks in the network's order (not a list: 23; unknown type: 32; the
// type's own rules: 10, 38, 41, 43, 33), then the insertion or removal. `ring` applies to
// the log buffer only.
int object_AddListElement(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                          uint8_t ring, BACnetValue* element);
int object_RemoveListElement(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                             BACnetValue* element);

// The stack's own door: finds the object (missing: 1), inserts or removes, and marks the
// database changed on success.
int object_AddListElements(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                           uint8_t ring, BACnetValue* element);
int object_RemoveListElements(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                              BACnetValue* element);

// On a record: 0, 1 (wrong kind, duplicate, element not found, no such list), 10 or 43.
int object_InsertListElements(ObjectRecord* record, uint32_t owner, uint32_t type, uint32_t instance,
                              uint32_t property, int32_t index, uint8_t ring, BACnetValue* element);
int object_ExtractListElements(ObjectRecord* record, uint32_t owner, uint32_t type, uint32_t instance,
                               uint32_t property, int32_t index, BACnetValue* element);

// Releases element `index` of the array and closes the gap.
void object_list_erase(BACnetValueArray* array, uint32_t index);
