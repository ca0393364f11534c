// WriteProperty requests from the network, decoded and written into a populated object
// database, then read back: every refusal must be a clean error code, never a crash, a
// hang or a leak, whatever the value's shape.
#include <cstddef>
#include <cstdint>

#include "bacnet/codec/codec_requests.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kOwner = 17;

bool populate()
{
  objtable_create();
  for (const ObjectTypeSpec* spec : object_type_specs())
    object_CreateObject(kOwner, spec->type, 1);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static bool ready = populate();
  (void)ready;
  pdu_buffer buffer = pdu_buffer_view(data, static_cast<uint32_t>(size));
  Owned<WritePropertyRequest, pdu_free_write_property_request> request;
  if (pdu_decode_write_property_request(&buffer, request.get()) == 0) {
    object_WriteObjectProperty(0, kOwner, request->object.type, request->object.instance, request->property,
                               request->array_index, &request->value, request->priority);
    OwnedValue back;
    object_ReadObjectProperty(0, kOwner, request->object.type, request->object.instance, request->property,
                              request->array_index, back.get());
  }
  return 0;
}
