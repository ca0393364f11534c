#include "backend/api/xml_values.h"

#include "bacnet/value/owned.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

#include <cstdio>

namespace {

constexpr uint32_t kNoElementTag = 0;

// Lists and arrays with a form: 57, 58, 60-65, 67-96, 98.
bool list_has_form(uint32_t tag)
{
  return tag == 57 || tag == 58 || (tag >= 60 && tag <= 65) || (tag >= 67 && tag <= 96) || tag == 98;
}

int encode_list(std::string* out, const BACnetValue& value)
{
  const BACnetValueArray* array = value.payload.array;
  uint32_t used = array ? array->used : 0;
  xml_put_u32(out, "SIZE", used);
  for (uint32_t i = 0; i < used; ++i)
    if (xml_encode_value_field(out, "ELEMENT", &array->elements[i]) != 0)
      return -1;
  return 0;
}

int decode_list(BACnetValue* value, XmlFields content)
{
  uint32_t size = 0;
  if (!content.u32("SIZE", &size) || !value->payload.array)
    return -1;
  uint32_t element_tag = value_list_element_tag(value->tag);
  for (uint32_t i = 0; i < size; ++i) {
    OwnedValue element;
    if (xml_decode_value_field(element.get(), &content, "ELEMENT") != 0 ||
        (element_tag != kNoElementTag && element->tag != element_tag))
      return -1;
    // A list that cannot grow keeps what it has.
    if (value_array_append(value->payload.array, element.get()) != 0)
      return 0;
  }
  return 0;
}

int encode_primitive(std::string* out, const BACnetValue& v)
{
  char text[64];
  const auto& p = v.payload;
  switch (v.tag) {
    case TAG_NULL: return 0;
    case TAG_BOOLEAN: std::snprintf(text, sizeof text, "%d", p.boolean); break;
    case TAG_UNSIGNED: std::snprintf(text, sizeof text, "%u", p.unsigned_value); break;
    case TAG_SIGNED: std::snprintf(text, sizeof text, "%d", p.signed_value); break;
    case TAG_ENUMERATED: std::snprintf(text, sizeof text, "%u", p.enumerated); break;
    case TAG_REAL: std::snprintf(text, sizeof text, "%f", double(p.real)); break;
    case TAG_DOUBLE: out->append(std::to_string(p.double_value)); return 0;  // "%f", any length
    case TAG_OCTET_STRING: xml_put_octets_content(out, p.octets); return 0;
    case TAG_CHARACTER_STRING: xml_put_text_content(out, p.text); return 0;
    case TAG_BIT_STRING: xml_put_bits_content(out, p.bits); return 0;
    case TAG_DATE: xml_put_date_content(out, p.date); return 0;
    case TAG_TIME: xml_put_time_content(out, p.time); return 0;
    case TAG_OBJECT_ID:
      xml_put_u32(out, "OBJECTTYPE", p.object_id.type);
      xml_put_u32(out, "INSTANCE", p.object_id.instance);
      return 0;
    default: return -1;
  }
  out->append(text);
  return 0;
}

int decode_primitive(BACnetValue* v, XmlFields content)
{
  auto& p = v->payload;
  bool ok = false;
  switch (v->tag) {
    case TAG_NULL: ok = true; break;
    case TAG_BOOLEAN: {
      int32_t b = 0;
      ok = content.as_i32(&b);
      p.boolean = b != 0;
      break;
    }
    case TAG_UNSIGNED: ok = content.as_u32(&p.unsigned_value); break;
    case TAG_SIGNED: ok = content.as_i32(&p.signed_value); break;
    case TAG_ENUMERATED: ok = content.as_u32(&p.enumerated); break;
    case TAG_REAL: ok = content.as_real(&p.real); break;
    case TAG_DOUBLE: ok = content.as_double(&p.double_value); break;
    case TAG_OCTET_STRING: ok = content.as_octets(&p.octets); break;
    case TAG_CHARACTER_STRING: ok = content.as_text(&p.text); break;
    case TAG_BIT_STRING: ok = content.as_bits(&p.bits); break;
    case TAG_DATE: ok = content.as_date(&p.date); break;
    case TAG_TIME: ok = content.as_time(&p.time); break;
    case TAG_OBJECT_ID: ok = content.object_id_fields(&p.object_id); break;
    default: break;
  }
  return ok ? 0 : -1;
}

}  // namespace

int xml_encode_value(std::string* out, const BACnetValue* value)
{
  if (!out || !value)
    return -1;
  xml_put_u32(out, "TYPE", value->tag);
  xml_open(out, "DATA");
  int rc = -1;
  if (value_tag_is_primitive(value->tag))
    rc = encode_primitive(out, *value);
  else if (list_has_form(value->tag))
    rc = encode_list(out, *value);
  else if (xml_record_has_form(value->tag) && value->payload.record)
    rc = xml_encode_record(out, value->tag, value->payload.record);
  if (rc != 0)
    return -1;
  xml_close(out, "DATA");
  return 0;
}

int xml_decode_value(BACnetValue* value, XmlFields* fields, const char* data_name)
{
  if (!value || !fields || fields->depth() >= kXmlMaxDepth)
    return -1;
  value_free(value);
  uint32_t tag = 0;
  if (!fields->u32("TYPE", &tag))
    return -1;
  bool has_form = value_tag_is_primitive(tag) || list_has_form(tag) || xml_record_has_form(tag);
  if (!has_form || value_init(value, tag) != 0)
    return -1;
  XmlFields content;
  if (!fields->take(data_name, &content))
    return -1;
  content = XmlFields(content.view().data(), content.view().size(), fields->depth() + 1);
  if (value_tag_is_primitive(tag))
    return decode_primitive(value, content);
  if (list_has_form(tag))
    return decode_list(value, content);
  return value->payload.record ? xml_decode_record(tag, value->payload.record, content) : -1;
}

int xml_encode_value_field(std::string* out, const char* name, const BACnetValue* value)
{
  xml_open(out, name);
  if (xml_encode_value(out, value) != 0)
    return -1;
  xml_close(out, name);
  return 0;
}

int xml_decode_value_field(BACnetValue* value, XmlFields* fields, const char* name)
{
  XmlFields content;
  if (!fields->take(name, &content))
    return -1;
  return xml_decode_value(value, &content);
}
