// Arbitrary payloads through the text command parser, the item parsers and the XML request
// decoders, with calls that answer at once: every payload gets a non-empty answer.
#include "backend/api/api_text.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/value/value.h"
#include "tests/backend/api/api_fake_calls.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Answers that exercise the answer writers: a value for every read, an acknowledgement for
// every write.
void install_answers()
{
  auto& c = api_fake::calls();
  c.read_property = [](ClientCallRecord* r) {
    auto* a = static_cast<ReadPropertyAck*>(r->answer);
    a->value.tag = TAG_REAL;
    a->value.payload.real = 21.5f;
  };
  c.read_property_multiple = [](ClientCallRecord* r) {
    auto* q = static_cast<const ReadPropertyMultipleRequest*>(r->request);
    auto* a = static_cast<ReadPropertyMultipleAck*>(r->answer);
    for (uint32_t i = 0; i < q->specifications.count; ++i) {
      ReadAccessResult* result = inline_list_add(&a->results, nullptr);
      if (!result)
        return;
      result->object = inline_list_get(&q->specifications, i)->object;
      ReadAccessResultElement* e = inline_list_add(&result->results, nullptr);
      if (e)
        *e = {85, -1, i % 2, {}, 1, 31};
    }
  };
  auto ack = [](ClientCallRecord* r) { r->acknowledged = 1; };
  c.write_property = c.write_property_multiple = c.add_list_element = c.delete_object = ack;
  c.create_object = [](ClientCallRecord* r) { *static_cast<BACnetObjectId*>(r->answer) = {2, 1}; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  api_fake::Installed fake;
  install_answers();
  std::string answer = api_text_answer(reinterpret_cast<const char*>(data), size);
  if (answer.empty())
    __builtin_trap();
  return 0;
}
