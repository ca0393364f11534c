// Inside the value library only: the per-tag table of record sizes and the record
// operations (initial contents, release of owned parts, deep copy) that value_init,
// value_free, value_copy and the inline-first lists share. Other layers use tagged_value.h.
#pragma once

#include <cstddef>

#include "bacnet/value/value_types.h"

struct RecordKind {
  uint32_t tag;
  size_t size;
  void (*init)(void* record);
  // Releases what the record owns and zeroes those parts; the record stays valid.
  void (*release)(void* record);
  // Deep copy into a valid destination (its old contents are released first). 0, 1 for a
  // choice that cannot be copied, 1001 out of memory; a failure never leaves shared memory.
  int (*copy)(void* destination, const void* source);
};

// The record kind of a constructed tag, or null for tags without a record.
const RecordKind* record_kind(uint32_t tag);

// Deep copy of a whole value into a destination that is released first (any tag).
int value_copy_fresh(BACnetValue* destination, const BACnetValue* source);

// Entry operations of the inline-first lists.
void record_release(ReadAccessSpecification& record);
void record_release(ReadAccessResultElement& record);
void record_release(ReadAccessResult& record);
int record_copy(ReadAccessSpecification& destination, const ReadAccessSpecification& source);
int record_copy(ReadAccessResultElement& destination, const ReadAccessResultElement& source);
int record_copy(ReadAccessResult& destination, const ReadAccessResult& source);
