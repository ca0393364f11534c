// The object table: every local object of every local device in one string-keyed hash
// table (libiberty htab), keyed by object_MakeKey. Owns the entries and, through them, the
// records; walks visit them in slot order (hash of the key and insertion order).
// Stack thread only; the table has no lock of its own. Walk callbacks must not insert or
// remove entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "bacnet/value/value_types.h"

struct ObjectRecord;

// One entry, owned by the table.
struct ObjectTableEntry {
  uint32_t owner;      // instance of the local device that holds the object
  char* key;           // owned copy of the key
  ObjectRecord* object;
};

// Creates the (empty) table; an existing one is kept. 0, or -1 when memory runs out.
int objtable_create();
// Deletes the table with every object.
void objtable_destroy();
// The object stored under the key; null for a missing key or table.
ObjectRecord* objtable_find(const char* key);
// Stores the object under the key and returns it; when the key exists, returns the stored
// object and stores nothing; null for a missing key or table or when memory runs out.
ObjectRecord* objtable_insert(uint32_t owner, const char* key, ObjectRecord* object);
// Removes the entry; the table releases key, object and entry.
void objtable_remove(const char* key);
// Number of entries.
size_t objtable_count();
// Calls `visit` for every entry in walk order; a false result stops the walk.
void objtable_walk(const std::function<bool(const ObjectTableEntry&)>& visit);

// Where the entries sit: the number of slots, the slots that removals left marked, and the slot
// of each entry in walk order. It decides the walk order and where later insertions land, so a
// test that brings the table back to an earlier state compares it.
struct ObjectTableLayout {
  std::size_t slots = 0;
  std::size_t removed = 0;
  std::vector<std::pair<std::size_t, const ObjectTableEntry*>> entries;
};
// Refills `layout` (keeping its room).
void objtable_layout(ObjectTableLayout* layout);

// Runs the behaviour engine's timer (object hooks) with the tick flag 1 for every object.
void objtable_timer_tick();
// Calls `write` (owner, object, file) for every object; results are not looked at.
void objtable_save_all(void* file, int (*write)(uint32_t owner, ObjectRecord* object, void* file));

// The owner's object list: a list (tag 65) of the identifiers of every object of that
// owner, sorted by type, then instance. 0, or -1 when the list cannot be made.
int objtable_object_list(uint32_t owner, BACnetValue* result);
// The lowest instance that no object of that owner and type uses.
uint32_t objtable_free_instance(uint32_t owner, uint32_t type);
