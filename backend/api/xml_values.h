// The XML form of every tagged value: the envelope "<TYPE>tag</TYPE><DATA>content</DATA>",
// one content form per primitive tag, per constructed record and for lists. Any thread; no
// state. Must not: build a value the value library could not release, or put an element of
// another tag into a list whose element tag is fixed.
#pragma once

#include "backend/api/xml_fields.h"
#include "bacnet/value/value_types.h"

#include <string>

// Writes the envelope of the value. 0, or -1 for a tag without a form or a choice without an
// alternative (what was written so far stays in `out`).
int xml_encode_value(std::string* out, const BACnetValue* value);
// Reads a TYPE element and the element `data_name` behind it from `fields`, moving past both.
// The value is released first; on failure it is left for the caller to release. 0 or -1.
int xml_decode_value(BACnetValue* value, XmlFields* fields, const char* data_name = "DATA");

// A field that holds a whole typed value: "<name>" envelope "</name>".
int xml_encode_value_field(std::string* out, const char* name, const BACnetValue* value);
int xml_decode_value_field(BACnetValue* value, XmlFields* fields, const char* name);

// The content of a constructed record, without the envelope (the record of `tag`, as
// value_types.h defines it).
int xml_encode_record(std::string* out, uint32_t tag, const void* record);
int xml_decode_record(uint32_t tag, void* record, XmlFields content);
bool xml_record_has_form(uint32_t tag);
