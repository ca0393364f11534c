#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/value.h"
#include "value_samples.h"

using namespace valuetest;

namespace {

TEST(ValueGet, OtherTagsLeaveTheOutputAloneOrFail)
{
  Holder real(real_value(7.5f));
  uint32_t out = 4711;
  EXPECT_EQ(value_get_unsigned(&out, real.get()), 0);
  EXPECT_EQ(out, 4711u);
  uint8_t flag = 9;
  EXPECT_EQ(value_get_boolean(&flag, real.get()), 1);
  EXPECT_EQ(flag, 9);
  BitString bits{};
  EXPECT_EQ(value_get_bitstring(&bits, real.get()), 1);
  float f = 0;
  EXPECT_EQ(value_get_real(&f, real.get()), 0);
  EXPECT_EQ(f, 7.5f);
  EXPECT_EQ(value_get_real(nullptr, real.get()), 1);
  EXPECT_EQ(value_get_real(&f, nullptr), 1);
}

TEST(ValueSet, SettersReplaceWhatTheValueHeldAndCopyTheData)
{
  Holder v(make_sample(TAG_READ_ACCESS_RESULT));  // owned memory to be released
  uint32_t n = 12;
  ASSERT_EQ(value_set_unsigned(&n, v.get()), 0);
  EXPECT_EQ(v->tag, TAG_UNSIGNED);
  EXPECT_EQ(v->payload.unsigned_value, 12u);
  EXPECT_EQ(value_set_unsigned(nullptr, v.get()), 1);
  EXPECT_EQ(v->payload.unsigned_value, 12u);

  Owned<BitString, bitstring_free> bits(bits_of({1, 1, 0}));
  ASSERT_EQ(value_set_bitstring(bits.get(), v.get()), 0);
  EXPECT_NE(v->payload.bits.bits, bits->bits);
  EXPECT_EQ(v->payload.bits.capacity, 3u);
  EXPECT_EQ(v->payload.bits.count, 3u);

  ASSERT_EQ(value_set_charstring("Kessel", v.get()), 0);
  EXPECT_STREQ(v->payload.text, "Kessel");
  ASSERT_EQ(value_set_charstring(v->payload.text, v.get()), 0);  // its own text
  EXPECT_STREQ(v->payload.text, "Kessel");
  ASSERT_EQ(value_set_charstring(nullptr, v.get()), 0);
  EXPECT_EQ(v->tag, TAG_CHARACTER_STRING);
  EXPECT_EQ(v->payload.text, nullptr);

  Owned<OctetString, octetstring_free> octets;
  const uint8_t raw[] = {0xC0, 0xA8, 0x01, 0x02};
  octetstring_set(octets.get(), raw, 4);
  ASSERT_EQ(value_set_octetstring(octets.get(), v.get()), 0);
  ASSERT_EQ(value_set_octetstring(&v->payload.octets, v.get()), 0);  // its own octets
  EXPECT_EQ(v->payload.octets.length, 4u);
  EXPECT_EQ(std::memcmp(v->payload.octets.data, raw, 4), 0);

  BACnetDeviceObjectPropertyReference ref{{0, 1}, 85, -1, {8, 5}};
  ASSERT_EQ(value_set_tag36(&ref, v.get()), 0);
  ASSERT_EQ(value_set_tag36(value_record<BACnetDeviceObjectPropertyReference>(v.get()), v.get()), 0);
  EXPECT_EQ(value_record<BACnetDeviceObjectPropertyReference>(v.get())->device.instance, 5u);
}

TEST(ValueSet, LocalTimeAndDateRefuseWrites)
{
  ManualClock clock;
  std::tm tm{};
  tm.tm_year = 124;
  tm.tm_mon = 0;
  tm.tm_mday = 15;
  tm.tm_hour = 8;
  tm.tm_min = 20;
  tm.tm_isdst = -1;
  clock.set_wall(static_cast<uint32_t>(mktime(&tm)));
  os_set_clock(&clock);
  Holder v(real_value(1.0f));
  EXPECT_EQ(value_set_local_time(v.get(), 0xFF), 1);
  EXPECT_EQ(v->tag, TAG_REAL);
  ASSERT_EQ(value_set_local_time(v.get(), 0x100), 0);  // only the low byte counts
  EXPECT_EQ(v->tag, TAG_TIME);
  EXPECT_EQ(v->payload.time.hour, 8);
  EXPECT_EQ(v->payload.time.minute, 20);
  ASSERT_EQ(value_set_local_date(v.get(), 0), 0);
  EXPECT_EQ(v->tag, TAG_DATE);
  EXPECT_EQ(v->payload.date.day, 15);
  EXPECT_EQ(v->payload.date.weekday, 1);
  os_set_clock(nullptr);
}

TEST(ValuePut, CharacterStringsGoBothWays)
{
  Holder v;
  char* text = strdup("Vorlauf");
  ASSERT_EQ(value_put_charstring(&text, v.get(), 0), 0);
  EXPECT_NE(v->payload.text, text);
  std::free(text);
  text = strdup("alt");
  ASSERT_EQ(value_put_charstring(&text, v.get(), 1), 0);  // the old text is released
  EXPECT_STREQ(text, "Vorlauf");
  EXPECT_NE(text, v->payload.text);
  value_set_charstring(nullptr, v.get());
  ASSERT_EQ(value_put_charstring(&text, v.get(), 1), 0);
  EXPECT_EQ(text, nullptr);

  Holder number(unsigned_value(3));
  text = strdup("bleibt");
  EXPECT_EQ(value_put_charstring(&text, number.get(), 1), 0);
  EXPECT_STREQ(text, "bleibt");
  std::free(text);
}

TEST(ValuePut, PlainWordsAndBitsGoBothWays)
{
  Holder v;
  float f = 19.5f;
  ASSERT_EQ(value_put_real(&f, v.get(), 0), 0);
  float back = 0;
  ASSERT_EQ(value_put_real(&back, v.get(), 1), 0);
  EXPECT_EQ(back, 19.5f);
  uint32_t e = 0;
  EXPECT_EQ(value_put_enumerated(&e, v.get(), 1), 0);  // another tag: nothing copied
  EXPECT_EQ(e, 0u);
  uint8_t b = 0;
  EXPECT_EQ(value_put_boolean(&b, v.get(), 1), 1);

  Owned<BitString, bitstring_free> flags(bits_of({0, 1, 0, 0}));
  ASSERT_EQ(value_put_bitstring(flags.get(), v.get(), 0), 0);
  Owned<BitString, bitstring_free> out;
  ASSERT_EQ(value_put_bitstring(out.get(), v.get(), 1), 0);
  EXPECT_EQ(out->count, 4u);
  EXPECT_EQ(out->bits[1], 1);
  EXPECT_NE(out->bits, v->payload.bits.bits);

  BACnetObjectId id{8, 4194303};
  ASSERT_EQ(value_put_objectid(&id, v.get(), 0), 0);
  BACnetObjectId id_back{};
  value_put_objectid(&id_back, v.get(), 1);
  EXPECT_EQ(id_back.instance, 4194303u);

  uint32_t word = 5;
  EXPECT_EQ(value_put_tag20(&word, v.get(), 0), 1);
  EXPECT_EQ(v->tag, TAG_NULL);
  v->tag = 20;
  v->payload.unsigned_value = 66;
  ASSERT_EQ(value_put_tag20(&word, v.get(), 1), 0);
  EXPECT_EQ(word, 66u);
}

TEST(ValuePut, RecordsAreCopiedDeeplyBothWays)
{
  Holder v;
  Owned<BACnetRecipient, recipient_free> recipient;
  recipient->choice = 1;
  recipient->address.network = 5;
  const uint8_t mac[] = {192, 168, 0, 9, 0xBA, 0xC0};
  octetstring_set(&recipient->address.mac, mac, 6);
  ASSERT_EQ(value_put_tag30(recipient.get(), v.get(), 0), 0);
  auto* stored = value_record<BACnetRecipient>(v.get());
  EXPECT_NE(stored->address.mac.data, recipient->address.mac.data);

  Owned<BACnetRecipient, recipient_free> back;
  back->choice = 1;
  octetstring_set(&back->address.mac, mac, 2);  // released by the read
  ASSERT_EQ(value_put_tag30(back.get(), v.get(), 1), 0);
  EXPECT_EQ(back->address.network, 5u);
  ASSERT_EQ(back->address.mac.length, 6u);
  EXPECT_NE(back->address.mac.data, stored->address.mac.data);

  BACnetAddressValue address{};
  ASSERT_EQ(value_put_tag21(&address, v.get(), 1), 0);  // another tag: nothing
  EXPECT_EQ(address.mac.data, nullptr);

  Holder parameter(make_sample(TAG_EVENT_PARAMETER));
  BACnetEventParameter copy{};
  copy.choice = EVENT_PARAMETER_NONE;
  ASSERT_EQ(value_put_tag51(&copy, parameter.get(), 1), 0);
  Holder again;
  ASSERT_EQ(value_put_tag51(&copy, again.get(), 0), 0);
  EXPECT_EQ(describe(*again), describe(*parameter));
  value_free_tag51(&copy);
  EXPECT_EQ(copy.choice, EVENT_PARAMETER_NONE);

  BACnetTimeStamp stamp{};
  stamp.choice = 1;
  stamp.sequence = 77;
  ASSERT_EQ(value_put_tag27(&stamp, v.get(), 0), 0);
  BACnetTimeStamp stamp_back{};
  value_put_tag27(&stamp_back, v.get(), 1);
  EXPECT_EQ(stamp_back.sequence, 77u);
  BACnetValue hollow{TAG_TIMESTAMP, {}};
  EXPECT_EQ(value_put_tag27(&stamp_back, &hollow, 1), 1);
}

TEST(ValueTransfer, WritesAndReadsThroughTheArrayIndex)
{
  Holder property(make_sample(TAG_UNSIGNED_LIST));
  Holder request;
  ASSERT_EQ(value_transfer(request.get(), property.get(), 0, 1), 0);  // read the length
  EXPECT_EQ(request->payload.unsigned_value, 3u);
  request.reset();
  ASSERT_EQ(value_transfer(request.get(), property.get(), 2, 1), 0);  // read element 2
  EXPECT_EQ(request->tag, TAG_UNSIGNED);

  Holder written(unsigned_value(99));
  ASSERT_EQ(value_transfer(written.get(), property.get(), 4, 0), 0);  // append element 4
  EXPECT_EQ(value_array(property.get())->used, 4u);
  EXPECT_EQ(value_array(property.get())->elements[3].payload.unsigned_value, 99u);
  EXPECT_EQ(value_transfer(written.get(), property.get(), -2, 0), 1);
}

TEST(ValueCopyChoice, CopiesWhatTheEventTypeUses)
{
  for (uint32_t choice : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 10u, 8u}) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    Holder source;
    value_init(source.get(), TAG_NOTIFICATION_PARAMETERS);
    auto* s = value_record<BACnetNotificationParameters>(source.get());
    s->choice = choice;
    if (choice <= 5)
      s->status_flags = bits_of({1, 0, 0, 0});
    switch (choice) {
    case 0: s->bits = bits_of({1, 0}); break;
    case 1: s->new_state = {2, 3}; break;
    case 2: s->changed_choice = 0; s->bits = bits_of({0, 1}); break;
    case 3: s->command_value = real_value(1.0f); s->feedback_value = text_value("Rückmeldung"); break;
    case 4:
    case 5: s->reals[0] = 1; s->reals[1] = 2; s->reals[2] = 3; break;
    case 6: s->property_values = make_sample(TAG_PROPERTY_VALUE_LIST); break;
    case 10: s->buffer_property = {{20, 1}, 131, -1, {999, 0}}; s->previous_notification = 4; s->current_notification = 9; break;
    }
    Holder copy(make_sample(TAG_NOTIFICATION_PARAMETERS, 1));  // old contents to release
    ASSERT_EQ(value_copy(copy.get(), source.get()), 0);
    EXPECT_EQ(describe(*copy), describe(*source));
    std::set<const void*> a = owned_blocks(*source);
    for (const void* block : owned_blocks(*copy))
      EXPECT_EQ(a.count(block), 0u);
  }
  EXPECT_EQ(value_copy_choice(nullptr, nullptr), 1);
}

}  // namespace
