// Life of a tagged value: prepare for a tag, release, deep copy, assign through a BACnet
// array index, take out or collect list elements. Every caller of the stack uses these.
// No locks: a value belongs to one thread at a time (the stack thread, or an API thread
// holding the process-wide lock). Must not throw, and must not let two values share memory.
#pragma once

#include "bacnet/foundation/driver.h"
#include "bacnet/value/value_types.h"

// Zeroes the value without releasing anything. 0.
int value_clear(BACnetValue* value);

// Zeroes the value and prepares it for `tag`: primitive tags only set the tag, constructed
// tags get a record with its initial contents, list tags an empty array with 16 slots.
// 1 for a tag no operation creates (the value stays NULL); 1001 when the memory runs out
// (the tag stays set with no record, which is safe to release).
int value_init(BACnetValue* value, uint32_t tag);

// Releases everything the value owns, recursively, and leaves it NULL. 0.
int value_free(BACnetValue* value);
int value_release(BACnetValue* value);
int value_free_alias(BACnetValue* value);

// Deep copy into a destination that already has the source's tag. 0; 1 for a null
// argument, differing tags, a choice the tag does not know, or a copy that cannot be made;
// 1001 when the memory runs out. A failed copy leaves the destination releasable.
int value_copy(BACnetValue* destination, const BACnetValue* source);

// The assignment behind every property read and write: index -1 the whole value, 0 the
// element count of a list (as Unsigned), n >= 1 element n. A NULL destination takes the
// source's tag. A single element assigned into a list of its element tag is stored at
// index n (existing slot, or used + 1 to append); a NULL element empties the list.
// 0, 1, 43 (index past the list) or 1001.
int value_assign(BACnetValue* destination, const BACnetValue* source, int32_t index);

// Index < 1: the destination becomes a deep copy of the whole list. Index n >= 1: the
// destination becomes a copy of element n (43 when there is none). 0, 1, 43 or 1001.
int value_get_element(BACnetValue* destination, const BACnetValue* source, int32_t index);

// Collects constructed results into one value: a NULL target takes the element; a target
// holding one record becomes a list of `list_tag` with both; a collecting list (86-95,
// 113) gets the element appended. Ownership moves, nothing is copied; on success the
// element is left NULL. 0 or 1 (1001 when the list cannot grow).
int value_append_element(BACnetValue* target, uint32_t list_tag, BACnetValue* element);

// Keeps the context's log function for out-of-memory messages (level 14) when the value
// library's option byte is set. 0.
int value_set_log_callback(const DriverContext* context);
// Writes to the library's log function, when one is kept (used by the containers too).
void value_log(const char* text);

// Release of record parts; each leaves its part zeroed (the event parameter at its initial
// contents, choice 999).
int recipient_free(BACnetRecipient* recipient);
int value_free_tag51(BACnetEventParameter* parameter);
int notification_parameters_free(BACnetNotificationParameters* parameters);
int value_nop();

// Tag classes.
bool value_tag_is_primitive(uint32_t tag);    // 0-12
bool value_tag_is_record(uint32_t tag);       // tags with a record behind the first word
bool value_tag_is_list(uint32_t tag);         // 57, 58, 60-65, 67-96, 98, 113
bool value_tag_is_creatable(uint32_t tag);    // what value_init accepts
// The element tag of a list tag, or 0 when the list has none fixed.
uint32_t value_list_element_tag(uint32_t list_tag);
