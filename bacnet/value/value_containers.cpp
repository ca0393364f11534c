#include "bacnet/value/value_containers.h"

void octetstring_init(OctetString* /*s*/) {  }
int octetstring_alloc(OctetString* /*s*/, uint32_t /*n*/) { return 1; }
int octetstring_set(OctetString* /*s*/, const uint8_t* /*source*/, uint32_t /*n*/) { return 1; }
void octetstring_free(OctetString* /*s*/) {  }
int octetstring_grow(ByteBuffer* /*buffer*/, uint32_t /*n*/) { return 1; }
void bitstring_init(BitString* /*b*/) {  }
void bitstring_free(BitString* /*b*/) {  }
int bitstring_set(BitString* /*b*/, const uint8_t* /*source*/, uint32_t /*n*/) { return 1; }
int bitstring_copy(BitString* /*destination*/, const BitString* /*source*/) { return 1; }
int bitstring_append_bit(BitString* /*b*/, uint8_t /*bit*/) { return 1; }
int bitstring_set_bit(BitString* /*b*/, uint32_t /*i*/, uint8_t /*bit*/) { return 1; }
void bitstring_put_bit(BitString* /*b*/, uint32_t /*i*/, uint8_t /*bit*/) {  }
uint8_t bitstring_get_bit(const BitString* /*b*/, uint32_t /*i*/) { return 0; }
int value_array_reserve(BACnetValueArray* /*array*/, uint32_t /*n*/) { return 1; }
int value_array_append(BACnetValueArray* /*array*/, BACnetValue* /*element*/) { return 1; }
void value_array_free(BACnetValueArray* /*array*/) {  }
int value_list_create(BACnetValue* /*value*/, uint32_t /*n*/) { return 1; }
int value_list_remove(BACnetValueArray* /*array*/, const BACnetValue* /*key*/) { return 1; }
BACnetPropertyReference* inline_list_get(const PropertyReferenceList* /*list*/, uint32_t /*i*/) { return nullptr; }
BACnetPropertyReference* inline_list_add(PropertyReferenceList* /*list*/, const BACnetPropertyReference* /*entry*/) { return nullptr; }
void inline_list_free(PropertyReferenceList* /*list*/) { }
int inline_list_copy(PropertyReferenceList* /*destination*/, const PropertyReferenceList* /*source*/) { return 1; }
ReadAccessSpecification* inline_list_get(const ReadAccessSpecificationList* /*list*/, uint32_t /*i*/) { return nullptr; }
ReadAccessSpecification* inline_list_add(ReadAccessSpecificationList* /*list*/, const ReadAccessSpecification* /*entry*/) { return nullptr; }
void inline_list_free(ReadAccessSpecificationList* /*list*/) { }
int inline_list_copy(ReadAccessSpecificationList* /*destination*/, const ReadAccessSpecificationList* /*source*/) { return 1; }
ReadAccessResultElement* inline_list_get(const ResultElementList* /*list*/, uint32_t /*i*/) { return nullptr; }
ReadAccessResultElement* inline_list_add(ResultElementList* /*list*/, const ReadAccessResultElement* /*entry*/) { return nullptr; }
void inline_list_free(ResultElementList* /*list*/) { }
int inline_list_copy(ResultElementList* /*destination*/, const ResultElementList* /*source*/) { return 1; }
ReadAccessResult* inline_list_get(const ReadAccessResultList* /*list*/, uint32_t /*i*/) { return nullptr; }
ReadAccessResult* inline_list_add(ReadAccessResultList* /*list*/, const ReadAccessResult* /*entry*/) { return nullptr; }
void inline_list_free(ReadAccessResultList* /*list*/) { }
int inline_list_copy(ReadAccessResultList* /*destination*/, const ReadAccessResultList* /*source*/) { return 1; }
