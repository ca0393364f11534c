#include "bacnet/objects/object_table.h"

#include <libiberty/hashtab.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/station_index.h"
#include "bacnet/value/value.h"

namespace {

htab_t g_table = nullptr;

hashval_t hash_entry(const void* entry)
{
  return htab_hash_string(static_cast<const ObjectTableEntry*>(entry)->key);
}

int equal_entries(const void* a, const void* b)
{
  return std::strcmp(static_cast<const ObjectTableEntry*>(a)->key, static_cast<const ObjectTableEntry*>(b)->key) == 0;
}

void delete_entry(void* p)
{
  auto* entry = static_cast<ObjectTableEntry*>(p);
  std::free(entry->key);
  object_FreeObject(entry->object);
  std::free(entry);
}

ObjectTableEntry probe(const char* key)
{
  return ObjectTableEntry{0, const_cast<char*>(key), nullptr};
}

struct WalkState {
  const std::function<bool(const ObjectTableEntry&)>* visit;
};

int walk_one(void** slot, void* state)
{
  auto* walk = static_cast<WalkState*>(state);
  return (*walk->visit)(*static_cast<ObjectTableEntry*>(*slot)) ? 1 : 0;
}

}  // namespace

int objtable_create()
{
  if (g_table)
    return 0;
  // calloc/free keep libiberty's own allocator (which aborts) out of the way.
  g_table = htab_create_alloc(0, hash_entry, equal_entries, delete_entry, calloc, free);
  return g_table ? 0 : -1;
}

void objtable_destroy()
{
  if (!g_table)
    return;
  htab_delete(g_table);
  g_table = nullptr;
  station_index_clear();
}

ObjectRecord* objtable_find(const char* key)
{
  if (!g_table || !key)
    return nullptr;
  ObjectTableEntry p = probe(key);
  auto* entry = static_cast<ObjectTableEntry*>(htab_find(g_table, &p));
  return entry ? entry->object : nullptr;
}

ObjectRecord* objtable_insert(uint32_t owner, const char* key, ObjectRecord* object)
{
  if (!g_table || !key)
    return nullptr;
  ObjectTableEntry p = probe(key);
  void** slot = htab_find_slot(g_table, &p, INSERT);
  if (!slot)
    return nullptr;
  if (*slot)
    return static_cast<ObjectTableEntry*>(*slot)->object;
  auto* entry = static_cast<ObjectTableEntry*>(std::malloc(sizeof(ObjectTableEntry)));
  char* copy = strdup(key);
  if (!entry || !copy) {
    std::free(entry);
    std::free(copy);
    htab_clear_slot(g_table, slot);
    return nullptr;
  }
  *entry = ObjectTableEntry{owner, copy, object};
  *slot = entry;
  if (object)
    station_index_made(owner, object->id.type, object->id.instance);
  return object;
}

void objtable_remove(const char* key)
{
  if (!g_table || !key)
    return;
  ObjectTableEntry p = probe(key);
  void** slot = htab_find_slot(g_table, &p, NO_INSERT);
  if (!slot)
    return;
  auto* entry = static_cast<ObjectTableEntry*>(*slot);
  uint32_t owner = entry->owner;
  const ObjectRecord* object = entry->object;
  BACnetObjectId id = object ? object->id : BACnetObjectId{};
  htab_clear_slot(g_table, slot);  // releases the entry
  if (object)
    station_index_removed(owner, id.type, id.instance);
}

size_t objtable_count() { return g_table ? htab_elements(g_table) : 0; }

void objtable_walk(const std::function<bool(const ObjectTableEntry&)>& visit)
{
  if (!g_table)
    return;
  WalkState state{&visit};
  htab_traverse_noresize(g_table, walk_one, &state);
}

void objtable_layout(ObjectTableLayout* layout)
{
  layout->entries.clear();
  layout->slots = g_table ? htab_size(g_table) : 0;
  layout->removed = g_table ? g_table->n_deleted : 0;
  for (std::size_t slot = 0; slot < layout->slots; ++slot) {
    void* entry = g_table->entries[slot];
    if (entry != HTAB_EMPTY_ENTRY && entry != HTAB_DELETED_ENTRY)
      layout->entries.emplace_back(slot, static_cast<const ObjectTableEntry*>(entry));
  }
}

void objtable_timer_tick()
{
  auto timer = object_hooks().object_timer;
  if (!timer)
    return;
  objtable_walk([timer](const ObjectTableEntry& e) {
    timer(e.owner, e.object, 1);
    return true;
  });
}

void objtable_save_all(void* file, int (*write)(uint32_t owner, ObjectRecord* object, void* file))
{
  if (!write)
    return;
  objtable_walk([&](const ObjectTableEntry& e) {
    write(e.owner, e.object, file);
    return true;
  });
}

int objtable_object_list(uint32_t owner, BACnetValue* result)
{
  if (!result)
    return -1;
  value_free(result);
  if (value_init(result, TAG_OBJECT_ID_LIST) != VALUE_OK) {
    value_free(result);
    return -1;
  }
  BACnetValueArray* array = result->payload.array;
  int rc = 0;
  objtable_walk([&](const ObjectTableEntry& e) {
    if (e.owner != owner)
      return true;
    BACnetValue id{};
    value_set_objectid(&e.object->id, &id);
    if (value_array_append(array, &id) != VALUE_OK) {
      rc = -1;
      return false;
    }
    return true;
  });
  std::sort(array->elements, array->elements + array->used, value_less);
  return rc;
}

uint32_t objtable_free_instance(uint32_t owner, uint32_t type)
{
  std::vector<uint32_t> used;
  objtable_walk([&](const ObjectTableEntry& e) {
    if (e.owner == owner && e.object->type == type)
      used.push_back(e.object->id.instance);
    return true;
  });
  std::sort(used.begin(), used.end());
  uint32_t candidate = 0;
  for (uint32_t instance : used) {
    if (instance > candidate)
      break;
    if (instance == candidate)
      ++candidate;
  }
  return candidate;
}
