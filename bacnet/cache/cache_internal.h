// Shared by the two halves of the cache (the dictionary in cache.cpp, the refresh cycle in
// cache_refresh.cpp); nothing outside the cache includes it. Entries are reached only under
// the global lock and only by key: no pointer to an entry is kept across an unlock.
#pragma once

#include "bacnet/cache/cache.h"

#include <string>
#include <vector>

struct CacheSubscriber {
  uint32_t client = 0;
  uint32_t handle = 0;
  uint8_t refresh = 0;
};

struct CacheEntry {
  CacheReference reference{};
  BACnetValue value{};
  BACnetValue write_value{};
  uint8_t write_priority = 0;
  int32_t status = kCacheNeverRead;
  uint32_t last_read = 0;    // tick of the last read request plus one, or of the last result
  uint32_t last_access = 0;  // tick of the last get or set
  uint32_t last_update = 0;  // tick of the last result
  uint32_t write_sent = 0;
  uint32_t write_requested = 0;
  uint32_t write_taken = 0;
  std::vector<CacheSubscriber> subscribers;  // sorted by client, then handle
  uint8_t write_result = 0;
  // The next result is told even when unchanged (a new entry, a new subscriber).
  bool announce = true;
  // Counts the results stored, so a waiting read sees one that came after it began.
  uint64_t results = 0;
  // Writes requested, the one a cycle took, and the last one that ended (answered,
  // dropped or refused); a waiting write ends when its number has ended.
  uint64_t writes_requested = 0;
  uint64_t write_in_cycle = 0;
  uint64_t writes_ended = 0;
};

namespace cache_detail {

// Now, in centiseconds (the seam's clock).
uint32_t now();

// Under the lock: the entry of a key, or null; the walk over every entry (the visit must not
// insert or remove); the removal of an entry.
CacheEntry* find_entry(const std::string& key);
void each_entry(void (*visit)(CacheEntry& entry, void* state), void* state);
void remove_entry(const std::string& key);
bool alive();

// Wakes every waiting helper (after a result, a write's end, or the end of the cache).
void wake_waiters();

const CacheSeams& seams();
void trace(const char* text);

// The refresh cycle's state is reset with the cache.
void refresh_reset();

}  // namespace cache_detail
