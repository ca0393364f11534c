// Arbitrary text through the XML element scanner and the value decoder. Whatever decodes and
// can be written again must read back to the same text.
#include "backend/api/xml_values.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/tagged_value.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Decodes one typed value from the text and writes it again; empty when either fails.
std::string normalised(const std::string& text)
{
  OwnedValue value;
  XmlFields fields(text.data(), text.size());
  std::string out;
  if (xml_decode_value(value.get(), &fields) != 0 || xml_encode_value(&out, value.get()) != 0)
    out.clear();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::string text(reinterpret_cast<const char*>(data), size);
  XmlElement element;
  xml_next_element(&element, text.data(), text.size());
  std::string once = normalised(text);
  if (!once.empty() && normalised(once) != once)
    __builtin_trap();
  return 0;
}
