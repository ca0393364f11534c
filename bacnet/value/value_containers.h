// The containers values are made of: octet strings, bit strings (one byte per bit), the
// growable element array of every list value and the small inline-first lists of the
// read-access records. Same thread rules and results as the tagged values (0, 1, 1001);
// out-of-memory messages go to the value library's log function at level 14.
#pragma once

#include "bacnet/value/value_types.h"

// ---- Octet strings -----------------------------------------------------------------------
void octetstring_init(OctetString* s);
// Releases the old octets and allocates n uninitialised ones; on failure the string is empty.
int octetstring_alloc(OctetString* s, uint32_t n);
// Releases the old octets and copies n octets from source (n = 0: empty). 0 or 1001.
int octetstring_set(OctetString* s, const uint8_t* source, uint32_t n);
// Releases the octets; the string is empty.
void octetstring_free(OctetString* s);
// Makes room for n more bytes (capacity grows by n when fewer are free); on failure the
// buffer is emptied and capacity becomes 0. 0 or 1001.
int octetstring_grow(ByteBuffer* buffer, uint32_t n);

// ---- Bit strings -------------------------------------------------------------------------
void bitstring_init(BitString* b);
void bitstring_free(BitString* b);
// Copies n bit bytes; capacity and count become n (n = 0: empty). 0 or 1001.
int bitstring_set(BitString* b, const uint8_t* source, uint32_t n);
// A copy of all of the source's slots (capacity and count = the source's capacity). 0 or 1.
int bitstring_copy(BitString* destination, const BitString* source);
// Appends one bit, growing by one slot when full. 0 or 1001.
int bitstring_append_bit(BitString* b, uint8_t bit);
// Stores a bit byte at i; 1 when b is null, holds no bits or i is not below capacity.
int bitstring_set_bit(BitString* b, uint32_t i, uint8_t bit);
// The same without the null check (an index out of range is still ignored).
void bitstring_put_bit(BitString* b, uint32_t i, uint8_t bit);
// The bit byte at i; 0 when i is not below capacity.
uint8_t bitstring_get_bit(const BitString* b, uint32_t i);

// ---- Element arrays ----------------------------------------------------------------------
// Makes room for n more elements (capacity grows by n, new slots zeroed, when fewer are
// free). 0 or 1001 (array unchanged).
int value_array_reserve(BACnetValueArray* array, uint32_t n);
// Moves the element into slot `used` after making sure 16 slots are free; the element is
// left NULL. 0 or 1001.
int value_array_append(BACnetValueArray* array, BACnetValue* element);
// Releases every slot, the storage, and zeroes the array.
void value_array_free(BACnetValueArray* array);
// Makes the value a list of tag 57 with room for n elements. 0 or 1001.
int value_list_create(BACnetValue* value, uint32_t n);
// Removes the element equal to key (binary search) from a list sorted by value_order;
// the storage is compacted to the remaining count. 0, or 1 when null, empty or not found.
int value_list_remove(BACnetValueArray* array, const BACnetValue* key);

// ---- Inline-first lists ------------------------------------------------------------------
// get: entry i (the caller keeps i below count), or null when the list is empty.
// add: copies the entry (when given) into the next position and returns it; what it owns
//      moves into the list. Null when the list is full (65536) or the memory runs out.
// free: releases what every entry owns, the overflow, and zeroes the list.
// copy: a deep copy of the source (the destination's old entries are released first).
//      0, or 1 on a null argument or when the memory runs out (destination left empty).
BACnetPropertyReference* inline_list_get(const PropertyReferenceList* list, uint32_t i);
BACnetPropertyReference* inline_list_add(PropertyReferenceList* list, const BACnetPropertyReference* entry);
void inline_list_free(PropertyReferenceList* list);
int inline_list_copy(PropertyReferenceList* destination, const PropertyReferenceList* source);

ReadAccessSpecification* inline_list_get(const ReadAccessSpecificationList* list, uint32_t i);
ReadAccessSpecification* inline_list_add(ReadAccessSpecificationList* list, const ReadAccessSpecification* entry);
void inline_list_free(ReadAccessSpecificationList* list);
int inline_list_copy(ReadAccessSpecificationList* destination, const ReadAccessSpecificationList* source);

ReadAccessResultElement* inline_list_get(const ResultElementList* list, uint32_t i);
ReadAccessResultElement* inline_list_add(ResultElementList* list, const ReadAccessResultElement* entry);
void inline_list_free(ResultElementList* list);
int inline_list_copy(ResultElementList* destination, const ResultElementList* source);

ReadAccessResult* inline_list_get(const ReadAccessResultList* list, uint32_t i);
ReadAccessResult* inline_list_add(ReadAccessResultList* list, const ReadAccessResult* entry);
void inline_list_free(ReadAccessResultList* list);
int inline_list_copy(ReadAccessResultList* destination, const ReadAccessResultList* source);
