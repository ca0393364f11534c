// Objects files of any content, loaded into a database that holds one object of every stored
// type: a file may fail, but never crash, hang, leak or allocate beyond its own bytes.
#include <cstddef>
#include <cstdint>

#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/serialize.h"

namespace {

constexpr uint32_t kOwner = 1234;

void populate()
{
  objtable_create();
  for (const ObjectTypeSpec* spec : object_type_specs())
    if (spec->saved && spec->type != OBJECT_CALENDAR && spec->type != OBJECT_NOTIFICATION_CLASS)
      object_CreateObject(kOwner, spec->type, spec->type == OBJECT_DEVICE ? kOwner : 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  // Fresh each time: a load inserts the Calendars and Notification Classes it finds.
  populate();
  serialize_LoadBytes(data, size);
  objtable_destroy();
  return 0;
}
