#include "bacnet/value/tagged_value.h"

#include <atomic>
#include <cstring>

#include "bacnet/value/value_access.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_memory.h"
#include "bacnet/value/value_records.h"

namespace {

// Set once at stack start; read on every out-of-memory message.
std::atomic<DriverLogFunction> log_function{nullptr};

constexpr uint32_t kValueLogLevel = 14;
constexpr size_t kValueOptionByte = 13;
constexpr uint32_t kNewListSlots = 16;

// The fixed element tag of each list tag (0: none fixed).
struct ListElement {
  uint32_t list_tag;
  uint32_t element_tag;
};
constexpr ListElement kListElements[] = {
    {TAG_PRIORITY_ARRAY, TAG_PRIORITY_VALUE},
    {TAG_LOG_BUFFER, TAG_LOG_RECORD},
    {TAG_CALENDAR_ENTRY_LIST, TAG_CALENDAR_ENTRY},
    {TAG_ACTION_LIST_LIST, TAG_ACTION_LIST},
    {TAG_ACTION_COMMAND_LIST, TAG_ACTION_COMMAND},
    {TAG_CHARACTER_STRING_LIST, TAG_CHARACTER_STRING},
    {TAG_OBJECT_ID_LIST, TAG_OBJECT_ID},
    {TAG_SESSION_KEY_LIST, TAG_SESSION_KEY},
    {TAG_RECIPIENT_LIST, TAG_RECIPIENT},
    {TAG_ADDRESS_BINDING_LIST, TAG_ADDRESS_BINDING},
    {TAG_READ_ACCESS_SPECIFICATION_LIST, TAG_READ_ACCESS_SPECIFICATION},
    {TAG_READ_ACCESS_RESULT_LIST, TAG_READ_ACCESS_RESULT},
    {TAG_RESULT_ELEMENT_LIST, TAG_READ_ACCESS_RESULT_ELEMENT},
    {TAG_UNSIGNED_LIST, TAG_UNSIGNED},
    {TAG_DESTINATION_LIST, TAG_DESTINATION},
    {TAG_DAILY_SCHEDULE_LIST, TAG_DAILY_SCHEDULE},
    {TAG_SPECIAL_EVENT_LIST, TAG_SPECIAL_EVENT},
    {TAG_REFERENCE_LIST, TAG_DEVICE_OBJECT_PROPERTY_REFERENCE},
    {TAG_TIME_VALUE_LIST, TAG_TIME_VALUE},
    {TAG_BIT_STRING_LIST, TAG_BIT_STRING},
    {TAG_PROPERTY_STATES_LIST, TAG_PROPERTY_STATES},
    {TAG_OBJECT_PROPERTY_VALUE_LIST, TAG_OBJECT_PROPERTY_VALUE},
    {TAG_TIMESTAMP_LIST, TAG_TIMESTAMP},
    {TAG_TAGGED_DATA_LIST, TAG_TAGGED_DATA},
};

bool in_range(uint32_t tag, uint32_t low, uint32_t high)
{
  return tag >= low && tag <= high;
}

// Tags whose lists value_get_element walks.
bool element_source_tag(uint32_t tag)
{
  return tag == 57 || tag == 58 || in_range(tag, 60, 65) || in_range(tag, 67, 96) || tag == 98;
}

// Source tags that value_assign takes as one value (primitive or constructed).
bool assignable_single_tag(uint32_t tag)
{
  return in_range(tag, 0, 12) || in_range(tag, 21, 30) || tag == 32 || tag == 33 || in_range(tag, 36, 38) ||
         tag == 42 || in_range(tag, 44, 51) || in_range(tag, 54, 56) || tag == 97 || tag == 110;
}

// Source list tags that value_assign answers by array index.
bool indexed_list_tag(uint32_t tag)
{
  return tag == 57 || tag == 58 || in_range(tag, 60, 65) || in_range(tag, 67, 84) || tag == 98;
}

// Records that value_append_element turns into the first element of a collection.
bool collectable_record_tag(uint32_t tag)
{
  return in_range(tag, 38, 44) || tag == 49 || tag == 53 || tag == 56 || tag == 112;
}

bool collection_tag(uint32_t tag)
{
  return in_range(tag, 86, 95) || tag == 113;
}

// Moves a value: the destination takes the words, the source is left NULL.
void move_value(BACnetValue* destination, BACnetValue* source)
{
  *destination = *source;
  value_clear(source);
}

void free_text(BACnetValue* value)
{
  value_mem_free(value->payload.text);
}

void free_record(BACnetValue* value)
{
  const RecordKind* kind = record_kind(value->tag);
  if (kind && value->payload.record) {
    kind->release(value->payload.record);
    value_mem_free(value->payload.record);
  }
}

void free_list(BACnetValue* value)
{
  if (value->payload.array) {
    value_array_free(value->payload.array);
    value_mem_free(value->payload.array);
  }
}

// Builds a deep copy of a whole list in `copy` (a NULL value). The walk keeps its position
// in the source's count word, as every whole-array walk does.
int copy_whole_list(BACnetValue* copy, const BACnetValue* source)
{
  BACnetValueArray* from = source->payload.array;
  uint32_t used = from ? from->used : 0;
  int rc = value_list_create(copy, used);
  copy->tag = source->tag;
  if (rc != VALUE_OK)
    return rc;
  for (uint32_t i = 0; i < used; ++i) {
    from->count = i;
    BACnetValue element{};
    rc = value_copy_fresh(&element, &from->elements[i]);
    if (rc == VALUE_OK)
      rc = value_array_append(copy->payload.array, &element);
    value_free(&element);
    if (rc != VALUE_OK)
      return rc;
  }
  if (from)
    from->count = used;
  return VALUE_OK;
}

// Stores one element into a list of its element tag at a 1-based index.
int assign_element(BACnetValue* list, const BACnetValue* element, int32_t index)
{
  uint32_t element_tag = value_list_element_tag(list->tag);
  if (element_tag == 0 || index < 1)
    return VALUE_BAD_ARGUMENT;
  BACnetValueArray* array = list->payload.array;
  if (element->tag == TAG_NULL) {
    // Writing NULL relinquishes the whole list.
    if (array)
      value_array_free(array);
    return VALUE_OK;
  }
  if (element->tag != element_tag || !array)
    return VALUE_BAD_ARGUMENT;
  uint32_t slot = static_cast<uint32_t>(index);
  if (slot <= array->used)
    return value_assign(&array->elements[slot - 1], element, -1);
  if (slot != array->used + 1)
    return VALUE_BAD_ARGUMENT;
  BACnetValue fresh{};
  int rc = value_assign(&fresh, element, -1);
  if (rc == VALUE_OK)
    rc = value_array_append(array, &fresh);
  value_free(&fresh);
  return rc;
}

}  // namespace

// ---- Tag classes -------------------------------------------------------------------------

bool value_tag_is_primitive(uint32_t tag)
{
  return tag <= TAG_OBJECT_ID;
}

bool value_tag_is_record(uint32_t tag)
{
  return record_kind(tag) != nullptr;
}

bool value_tag_is_list(uint32_t tag)
{
  return tag == 57 || tag == 58 || in_range(tag, 60, 65) || in_range(tag, 67, 96) || tag == 98 || tag == 113;
}

bool value_tag_is_creatable(uint32_t tag)
{
  if (tag == TAG_RECIPIENT_PROCESS)
    return false;
  return value_tag_is_primitive(tag) || value_tag_is_record(tag) || value_tag_is_list(tag);
}

uint32_t value_list_element_tag(uint32_t list_tag)
{
  for (const ListElement& e : kListElements)
    if (e.list_tag == list_tag)
      return e.element_tag;
  return 0;
}

BACnetValueArray* value_array(const BACnetValue* value)
{
  if (!value || !value_tag_is_list(value->tag))
    return nullptr;
  return value->payload.array;
}

// ---- Life --------------------------------------------------------------------------------

int value_clear(BACnetValue* value)
{
  if (value)
    std::memset(static_cast<void*>(value), 0, sizeof *value);
  return VALUE_OK;
}

int value_init(BACnetValue* value, uint32_t tag)
{
  if (!value)
    return VALUE_BAD_ARGUMENT;
  value_clear(value);
  if (!value_tag_is_creatable(tag))
    return VALUE_BAD_ARGUMENT;
  value->tag = tag;
  if (value_tag_is_primitive(tag))
    return VALUE_OK;
  if (const RecordKind* kind = record_kind(tag)) {
    void* record = value_mem_calloc(1, kind->size);
    if (!record)
      return VALUE_NO_MEMORY;
    kind->init(record);
    value->payload.record = record;
    return VALUE_OK;
  }
  auto* array = static_cast<BACnetValueArray*>(value_mem_calloc(1, sizeof(BACnetValueArray)));
  if (!array)
    return VALUE_NO_MEMORY;
  value->payload.array = array;
  return value_array_reserve(array, kNewListSlots);
}

int value_free(BACnetValue* value)
{
  if (!value)
    return VALUE_OK;
  switch (value->tag) {
  case TAG_OCTET_STRING:
    value_mem_free(value->payload.octets.data);
    break;
  case TAG_CHARACTER_STRING:
    free_text(value);
    break;
  case TAG_BIT_STRING:
    value_mem_free(value->payload.bits.bits);
    break;
  default:
    if (value_tag_is_list(value->tag))
      free_list(value);
    else
      free_record(value);
    break;
  }
  return value_clear(value);
}

int value_release(BACnetValue* value)
{
  return value_free(value);
}

int value_free_alias(BACnetValue* value)
{
  return value_free(value);
}

int value_nop()
{
  return VALUE_OK;
}

// ---- Copy --------------------------------------------------------------------------------

int value_copy(BACnetValue* destination, const BACnetValue* source)
{
  if (!destination || !source || destination->tag != source->tag)
    return VALUE_BAD_ARGUMENT;
  if (destination == source)
    return VALUE_OK;
  BACnetValue::Payload& d = destination->payload;
  const BACnetValue::Payload& s = source->payload;
  switch (source->tag) {
  case TAG_NULL:
    d.words[0] = d.words[1] = 0;
    return VALUE_OK;
  case TAG_BOOLEAN:
  case TAG_UNSIGNED:
  case TAG_SIGNED:
  case TAG_REAL:
  case TAG_DOUBLE:
  case TAG_ENUMERATED:
  case TAG_DATE:
  case TAG_TIME:
  case TAG_OBJECT_ID:
    d = s;
    return VALUE_OK;
  case TAG_OCTET_STRING:
    return octetstring_set(&d.octets, s.octets.data, s.octets.data ? s.octets.length : 0);
  case TAG_CHARACTER_STRING: {
    char* copy = nullptr;
    if (s.text && !(copy = value_mem_strdup(s.text)))
      return VALUE_BAD_ARGUMENT;
    free_text(destination);
    d.text = copy;
    return VALUE_OK;
  }
  case TAG_BIT_STRING:
    return bitstring_copy(&d.bits, &s.bits);
  default:
    break;
  }

  if (const RecordKind* kind = record_kind(source->tag)) {
    if (!s.record) {
      free_record(destination);
      d.record = nullptr;
      return VALUE_OK;
    }
    if (!d.record) {
      d.record = value_mem_calloc(1, kind->size);
      if (!d.record)
        return VALUE_NO_MEMORY;
      kind->init(d.record);
    }
    return kind->copy(d.record, s.record);
  }

  if (value_tag_is_list(source->tag)) {
    BACnetValue copy{};
    int rc = copy_whole_list(&copy, source);
    if (rc != VALUE_OK) {
      value_free(&copy);
      return rc;
    }
    value_free(destination);
    move_value(destination, &copy);
    return VALUE_OK;
  }
  // A tag without known contents cannot be copied; saying so beats a silent success.
  return VALUE_BAD_ARGUMENT;
}

// ---- Assignment --------------------------------------------------------------------------

int value_assign(BACnetValue* destination, const BACnetValue* source, int32_t index)
{
  if (!destination || !source || source->tag > TAG_COV_SUBSCRIPTION)
    return VALUE_BAD_ARGUMENT;
  uint32_t tag = source->tag;

  if (assignable_single_tag(tag)) {
    if (destination->tag == TAG_NULL) {
      int rc = value_init(destination, tag);
      if (rc != VALUE_OK)
        return rc;
    }
    if (destination->tag != tag)
      return assign_element(destination, source, index);
    return value_copy(destination, source);
  }

  if (indexed_list_tag(tag)) {
    if (index < -1)
      return VALUE_BAD_ARGUMENT;
    if (index == -1) {
      if (destination->tag == TAG_NULL) {
        int rc = value_init(destination, tag);
        if (rc != VALUE_OK)
          return rc;
      }
      if (destination->tag != tag)
        return VALUE_BAD_ARGUMENT;
      return value_copy(destination, source);
    }
    if (index == 0) {
      uint32_t used = source->payload.array ? source->payload.array->used : 0;
      return value_set_unsigned(&used, destination);
    }
    return value_get_element(destination, source, index);
  }

  if (in_range(tag, 85, 96)) {
    if (destination->tag == TAG_NULL)
      value_init(destination, tag);
    if (destination->tag != tag)
      return VALUE_BAD_ARGUMENT;
    return value_copy(destination, source);
  }
  return VALUE_BAD_ARGUMENT;
}

int value_get_element(BACnetValue* destination, const BACnetValue* source, int32_t index)
{
  if (!destination || !source || !element_source_tag(source->tag))
    return VALUE_BAD_ARGUMENT;
  BACnetValue result{};
  if (index < 1) {
    int rc = copy_whole_list(&result, source);
    if (rc != VALUE_OK) {
      value_free(&result);
      value_free(destination);
      return VALUE_BAD_ARGUMENT;
    }
  } else {
    const BACnetValueArray* array = source->payload.array;
    if (!array || static_cast<uint32_t>(index) > array->used)
      return VALUE_INVALID_ARRAY_INDEX;
    const BACnetValue* element = &array->elements[index - 1];
    int rc = value_copy_fresh(&result, element);
    if (rc != VALUE_OK) {
      value_free(&result);
      return rc;
    }
  }
  // Built aside first: the destination may be part of the source.
  value_free(destination);
  move_value(destination, &result);
  return VALUE_OK;
}

int value_append_element(BACnetValue* target, uint32_t list_tag, BACnetValue* element)
{
  if (!target || !element || target->tag > TAG_EVENT_SUMMARY_LIST)
    return VALUE_BAD_ARGUMENT;
  if (target->tag == TAG_NULL) {
    move_value(target, element);
    return VALUE_OK;
  }
  if (collectable_record_tag(target->tag)) {
    if (!value_tag_is_list(list_tag))
      return VALUE_BAD_ARGUMENT;
    BACnetValue list{};
    int rc = value_init(&list, list_tag);
    if (rc != VALUE_OK) {
      value_free(&list);
      return rc;
    }
    BACnetValue former = *target;
    rc = value_array_append(list.payload.array, &former);
    if (rc == VALUE_OK)
      rc = value_array_append(list.payload.array, element);
    if (rc != VALUE_OK) {
      // Give the target its record back before the list goes.
      if (former.tag == TAG_NULL)
        move_value(&former, &list.payload.array->elements[0]);
      *target = former;
      list.payload.array->used = 0;
      value_free(&list);
      return rc;
    }
    *target = list;
    return VALUE_OK;
  }
  if (collection_tag(target->tag)) {
    if (!target->payload.array)
      return VALUE_NO_MEMORY;
    return value_array_append(target->payload.array, element);
  }
  return VALUE_BAD_ARGUMENT;
}

// ---- Log ---------------------------------------------------------------------------------

int value_set_log_callback(const DriverContext* context)
{
  if (context && context->options[kValueOptionByte])
    log_function.store(context->log);
  return VALUE_OK;
}

void value_log(const char* text)
{
  if (DriverLogFunction log = log_function.load())
    log(kValueLogLevel, text);
}
