// Objects files of any content, loaded into a database that holds one object of every stored
// type: a file may fail, but never crash, hang, leak or allocate beyond its own bytes.
//
// The database is set up once. A load changes it in two ways only: it inserts the Calendars
// and Notification Classes it does not find, and it restores stored settings into objects it
// finds, which the restore hook names. After every input the inserted objects are taken out
// and the restored ones are made anew, which frees everything the input put in and leaves the
// database as set up. A load finds objects by key only, so where the table keeps them (or
// the gaps that taking objects out leaves) does not change what the next input does.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/serialize.h"

namespace {

constexpr uint32_t kOwner = 1234;

struct Key {
  uint32_t owner, type, instance;
  auto operator<=>(const Key&) const = default;
};

std::set<Key> g_set_up;       // every object of the database as set up
std::vector<Key> g_restored;  // objects the current input restored into

void note_restored(uint32_t owner, uint32_t type, uint32_t instance) { g_restored.push_back({owner, type, instance}); }

void populate()
{
  objtable_create();
  for (const ObjectTypeSpec* spec : object_type_specs()) {
    if (!spec->saved || spec->type == OBJECT_CALENDAR || spec->type == OBJECT_NOTIFICATION_CLASS)
      continue;
    const Key key{kOwner, spec->type, spec->type == OBJECT_DEVICE ? kOwner : 3};
    object_CreateObject(key.owner, key.type, key.instance);
    g_set_up.insert(key);
  }
  serialize_SetRestoreHook(note_restored);
}

void reset()
{
  for (const Key& key : g_restored) {
    if (g_set_up.count(key)) {
      object_DeleteObject(key.owner, key.type, key.instance);
      object_CreateObject(key.owner, key.type, key.instance);
    }
  }
  g_restored.clear();
  // A load never removes an object, so a count above the set-up one means insertions.
  if (objtable_count() == g_set_up.size())
    return;
  std::vector<std::string> inserted;
  objtable_walk([&](const ObjectTableEntry& e) {
    if (!g_set_up.count({e.owner, e.object->id.type, e.object->id.instance}))
      inserted.push_back(e.key);
    return true;
  });
  for (const std::string& key : inserted)
    objtable_remove(key.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const bool set_up = (populate(), true);
  (void)set_up;
  serialize_LoadBytes(data, size);
  reset();
  return 0;
}
