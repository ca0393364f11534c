#include "bacnet/value/value_containers.h"

#include <cstring>

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_compare.h"
#include "bacnet/value/value_memory.h"
#include "bacnet/value/value_records.h"

// ---- Octet strings -----------------------------------------------------------------------

void octetstring_init(OctetString* s)
{
  if (s)
    *s = {};
}

void octetstring_free(OctetString* s)
{
  if (!s)
    return;
  value_mem_free(s->data);
  *s = {};
}

int octetstring_alloc(OctetString* s, uint32_t n)
{
  if (!s)
    return VALUE_BAD_ARGUMENT;
  octetstring_free(s);
  if (n == 0)
    return VALUE_OK;
  s->data = static_cast<uint8_t*>(value_mem_alloc(n));
  if (!s->data)
    return VALUE_NO_MEMORY;
  s->length = n;
  return VALUE_OK;
}

int octetstring_set(OctetString* s, const uint8_t* source, uint32_t n)
{
  if (!s || (n && !source))
    return VALUE_BAD_ARGUMENT;
  // The source may be the string's own octets: copy before releasing.
  uint8_t* copy = nullptr;
  if (n) {
    copy = static_cast<uint8_t*>(value_mem_alloc(n));
    if (!copy) {
      octetstring_free(s);
      value_log("Set Octets Error - Insufficient resource");
      return VALUE_NO_MEMORY;
    }
    std::memcpy(copy, source, n);
  }
  octetstring_free(s);
  s->data = copy;
  s->length = n;
  return VALUE_OK;
}

int octetstring_grow(ByteBuffer* buffer, uint32_t n)
{
  if (!buffer)
    return VALUE_BAD_ARGUMENT;
  if (buffer->used <= buffer->capacity && buffer->capacity - buffer->used >= n)
    return VALUE_OK;
  uint64_t wanted = uint64_t(buffer->capacity) + n;
  void* grown = nullptr;
  if (wanted <= UINT32_MAX)
    grown = buffer->capacity ? value_mem_realloc(buffer->data, wanted) : value_mem_alloc(wanted);
  if (!grown) {
    value_mem_free(buffer->data);
    *buffer = {};
    return VALUE_NO_MEMORY;
  }
  buffer->data = static_cast<uint8_t*>(grown);
  buffer->capacity = static_cast<uint32_t>(wanted);
  return VALUE_OK;
}

// ---- Bit strings -------------------------------------------------------------------------

void bitstring_init(BitString* b)
{
  if (b)
    *b = {};
}

void bitstring_free(BitString* b)
{
  if (!b)
    return;
  value_mem_free(b->bits);
  *b = {};
}

int bitstring_set(BitString* b, const uint8_t* source, uint32_t n)
{
  if (!b || (n && !source))
    return VALUE_BAD_ARGUMENT;
  uint8_t* copy = nullptr;
  if (n) {
    copy = static_cast<uint8_t*>(value_mem_alloc(n));
    if (!copy) {
      bitstring_free(b);
      value_log("Set Bit String Error - Insufficient resource");
      return VALUE_NO_MEMORY;
    }
    std::memcpy(copy, source, n);
  }
  bitstring_free(b);
  b->bits = copy;
  b->capacity = n;
  b->count = n;
  return VALUE_OK;
}

int bitstring_copy(BitString* destination, const BitString* source)
{
  if (!destination || !source)
    return VALUE_BAD_ARGUMENT;
  if (destination == source)
    return VALUE_OK;
  uint32_t n = source->bits ? source->capacity : 0;
  return bitstring_set(destination, source->bits, n) == VALUE_OK ? VALUE_OK : VALUE_BAD_ARGUMENT;
}

int bitstring_append_bit(BitString* b, uint8_t bit)
{
  if (!b)
    return VALUE_BAD_ARGUMENT;
  if (b->count >= b->capacity || !b->bits) {
    uint32_t wanted = b->count + 1;
    void* grown = value_mem_realloc(b->bits, wanted);
    if (!grown) {
      value_log("Set Bit Error - Insufficient resource");
      return VALUE_NO_MEMORY;
    }
    b->bits = static_cast<uint8_t*>(grown);
    b->capacity = wanted;
  }
  b->bits[b->count++] = bit;
  return VALUE_OK;
}

int bitstring_set_bit(BitString* b, uint32_t i, uint8_t bit)
{
  if (!b || !b->bits || i >= b->capacity)
    return VALUE_BAD_ARGUMENT;
  b->bits[i] = bit;
  return VALUE_OK;
}

void bitstring_put_bit(BitString* b, uint32_t i, uint8_t bit)
{
  bitstring_set_bit(b, i, bit);
}

uint8_t bitstring_get_bit(const BitString* b, uint32_t i)
{
  if (!b || !b->bits || i >= b->capacity)
    return 0;
  return b->bits[i];
}

// ---- Element arrays ----------------------------------------------------------------------

int value_array_reserve(BACnetValueArray* array, uint32_t n)
{
  if (!array)
    return VALUE_BAD_ARGUMENT;
  if (array->capacity - array->used >= n)
    return VALUE_OK;
  uint64_t wanted = uint64_t(array->capacity) + n;
  if (wanted > UINT32_MAX / sizeof(BACnetValue))
    return VALUE_NO_MEMORY;
  BACnetValue* grown;
  if (!array->elements) {
    grown = static_cast<BACnetValue*>(value_mem_calloc(wanted, sizeof(BACnetValue)));
  } else {
    grown = static_cast<BACnetValue*>(value_mem_realloc(array->elements, wanted * sizeof(BACnetValue)));
    if (grown)
      std::memset(static_cast<void*>(grown + array->capacity), 0, n * sizeof(BACnetValue));
  }
  if (!grown)
    return VALUE_NO_MEMORY;
  array->elements = grown;
  array->capacity = static_cast<uint32_t>(wanted);
  return VALUE_OK;
}

int value_array_append(BACnetValueArray* array, BACnetValue* element)
{
  if (!array || !element)
    return VALUE_BAD_ARGUMENT;
  if (value_array_reserve(array, 16) != VALUE_OK) {
    value_log("Set Array Error - Insufficient resource");
    return VALUE_NO_MEMORY;
  }
  array->elements[array->used] = *element;
  value_clear(element);
  array->used++;
  array->count++;
  return VALUE_OK;
}

void value_array_free(BACnetValueArray* array)
{
  if (!array)
    return;
  if (array->elements)
    for (uint32_t i = 0; i < array->capacity; ++i)
      value_free(&array->elements[i]);
  value_mem_free(array->elements);
  *array = {};
}

int value_list_create(BACnetValue* value, uint32_t n)
{
  if (!value)
    return VALUE_BAD_ARGUMENT;
  value_clear(value);
  value->tag = TAG_LIST;
  auto* array = static_cast<BACnetValueArray*>(value_mem_calloc(1, sizeof(BACnetValueArray)));
  if (!array)
    return VALUE_NO_MEMORY;
  value->payload.array = array;
  return value_array_reserve(array, n);
}

int value_list_remove(BACnetValueArray* array, const BACnetValue* key)
{
  if (!array || !key || array->used == 0 || !array->elements)
    return VALUE_BAD_ARGUMENT;
  // Walk by the total order the lists are sorted with; take a probe that the wildcard
  // comparison calls equal as found as well.
  uint32_t low = 0;
  uint32_t high = array->used;
  uint32_t found = array->used;
  while (low < high) {
    uint32_t mid = low + (high - low) / 2;
    const BACnetValue* probe = &array->elements[mid];
    if (value_compare(probe, key) == 0) {
      found = mid;
      break;
    }
    int order = value_order(probe, key);
    if (order == 0)
      break;
    if (order < 0)
      low = mid + 1;
    else
      high = mid;
  }
  if (found == array->used)
    return VALUE_BAD_ARGUMENT;

  uint32_t remaining = array->used - 1;
  value_free(&array->elements[found]);
  if (remaining == 0) {
    value_array_free(array);
    return VALUE_OK;
  }
  auto* compact = static_cast<BACnetValue*>(value_mem_calloc(remaining, sizeof(BACnetValue)));
  if (!compact) {
    // Keep the array whole: close the gap in place instead of compacting.
    std::memmove(static_cast<void*>(&array->elements[found]), &array->elements[found + 1],
                 (array->used - found - 1) * sizeof(BACnetValue));
    value_clear(&array->elements[array->used - 1]);
    array->used = remaining;
    if (array->count)
      array->count--;
    return VALUE_OK;
  }
  std::memcpy(static_cast<void*>(compact), array->elements, found * sizeof(BACnetValue));
  std::memcpy(static_cast<void*>(compact + found), array->elements + found + 1,
              (remaining - found) * sizeof(BACnetValue));
  value_mem_free(array->elements);
  array->elements = compact;
  array->capacity = remaining;
  array->used = remaining;
  if (array->count)
    array->count--;
  return VALUE_OK;
}

// ---- Inline-first lists ------------------------------------------------------------------

namespace {

constexpr uint32_t kInlineListLimit = 65536;
constexpr uint32_t kInlineListStep = 16;

void entry_release(BACnetPropertyReference&) {}
void entry_release(ReadAccessSpecification& e) { record_release(e); }
void entry_release(ReadAccessResultElement& e) { record_release(e); }
void entry_release(ReadAccessResult& e) { record_release(e); }

int entry_copy(BACnetPropertyReference& d, const BACnetPropertyReference& s)
{
  d = s;
  return VALUE_OK;
}
int entry_copy(ReadAccessSpecification& d, const ReadAccessSpecification& s) { return record_copy(d, s); }
int entry_copy(ReadAccessResultElement& d, const ReadAccessResultElement& s) { return record_copy(d, s); }
int entry_copy(ReadAccessResult& d, const ReadAccessResult& s) { return record_copy(d, s); }

template <class Entry>
Entry* list_get(const InlineList<Entry>* list, uint32_t i)
{
  if (!list || list->count == 0 || i >= list->count)
    return nullptr;
  if (i == 0)
    return const_cast<Entry*>(&list->first);
  return list->overflow ? &list->overflow[i] : nullptr;
}

template <class Entry>
Entry* list_add(InlineList<Entry>* list, const Entry* entry)
{
  if (!list)
    return nullptr;
  if (list->count == 0) {
    list->first = entry ? *entry : Entry{};
    list->count = 1;
    return &list->first;
  }
  if (list->count >= kInlineListLimit - 1)
    return nullptr;
  if (!list->overflow) {
    uint32_t slots = (list->count / kInlineListStep + 1) * kInlineListStep;
    list->overflow = static_cast<Entry*>(value_mem_calloc(slots, sizeof(Entry)));
    if (!list->overflow)
      return nullptr;
  } else if (list->count % kInlineListStep == 0) {
    uint32_t slots = list->count + kInlineListStep;
    auto* grown = static_cast<Entry*>(value_mem_calloc(slots, sizeof(Entry)));
    if (!grown)
      return nullptr;
    std::memcpy(static_cast<void*>(grown), list->overflow, list->count * sizeof(Entry));
    value_mem_free(list->overflow);
    list->overflow = grown;
  }
  Entry* slot = &list->overflow[list->count];
  *slot = entry ? *entry : Entry{};
  list->count++;
  return slot;
}

template <class Entry>
void list_free(InlineList<Entry>* list)
{
  if (!list)
    return;
  for (uint32_t i = 0; i < list->count; ++i)
    if (Entry* e = list_get(list, i))
      entry_release(*e);
  value_mem_free(list->overflow);
  *list = {};
}

template <class Entry>
int list_copy(InlineList<Entry>* destination, const InlineList<Entry>* source)
{
  if (!destination || !source)
    return VALUE_BAD_ARGUMENT;
  if (destination == source)
    return VALUE_OK;
  list_free(destination);
  if (source->count == 0)
    return VALUE_OK;
  if (source->count > 1) {
    uint32_t slots = (source->count + kInlineListStep - 1) / kInlineListStep * kInlineListStep;
    destination->overflow = static_cast<Entry*>(value_mem_calloc(slots, sizeof(Entry)));
    if (!destination->overflow)
      return VALUE_BAD_ARGUMENT;
  }
  // The count follows each entry that is complete, so a failure leaves a list that releases
  // exactly what it holds.
  for (uint32_t i = 0; i < source->count; ++i) {
    Entry* d = i == 0 ? &destination->first : &destination->overflow[i];
    const Entry* s = list_get(source, i);
    *d = Entry{};
    int rc = s ? entry_copy(*d, *s) : VALUE_OK;
    destination->count = i + 1;
    if (rc != VALUE_OK) {
      list_free(destination);
      return VALUE_BAD_ARGUMENT;
    }
  }
  return VALUE_OK;
}

}  // namespace

BACnetPropertyReference* inline_list_get(const PropertyReferenceList* list, uint32_t i) { return list_get(list, i); }
BACnetPropertyReference* inline_list_add(PropertyReferenceList* list, const BACnetPropertyReference* entry)
{
  return list_add(list, entry);
}
void inline_list_free(PropertyReferenceList* list) { list_free(list); }
int inline_list_copy(PropertyReferenceList* destination, const PropertyReferenceList* source)
{
  return list_copy(destination, source);
}

ReadAccessSpecification* inline_list_get(const ReadAccessSpecificationList* list, uint32_t i) { return list_get(list, i); }
ReadAccessSpecification* inline_list_add(ReadAccessSpecificationList* list, const ReadAccessSpecification* entry)
{
  return list_add(list, entry);
}
void inline_list_free(ReadAccessSpecificationList* list) { list_free(list); }
int inline_list_copy(ReadAccessSpecificationList* destination, const ReadAccessSpecificationList* source)
{
  return list_copy(destination, source);
}

ReadAccessResultElement* inline_list_get(const ResultElementList* list, uint32_t i) { return list_get(list, i); }
ReadAccessResultElement* inline_list_add(ResultElementList* list, const ReadAccessResultElement* entry)
{
  return list_add(list, entry);
}
void inline_list_free(ResultElementList* list) { list_free(list); }
int inline_list_copy(ResultElementList* destination, const ResultElementList* source)
{
  return list_copy(destination, source);
}

ReadAccessResult* inline_list_get(const ReadAccessResultList* list, uint32_t i) { return list_get(list, i); }
ReadAccessResult* inline_list_add(ReadAccessResultList* list, const ReadAccessResult* entry)
{
  return list_add(list, entry);
}
void inline_list_free(ReadAccessResultList* list) { list_free(list); }
int inline_list_copy(ReadAccessResultList* destination, const ReadAccessResultList* source)
{
  return list_copy(destination, source);
}
