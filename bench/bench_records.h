// Typical constructed values for the figures of copying, comparing and the objects-file, XML
// and wire forms: a notification class's recipient list, an event enrolment's parameters,
// the property values of a COV notification and a command object's actions.
#pragma once

#include <initializer_list>

#include "bacnet/value/value.h"

namespace bench_records {

inline void set_bits(BitString& b, std::initializer_list<uint8_t> bits)
{
  bitstring_set(&b, bits.begin(), uint32_t(bits.size()));
}

// Three recipients: two devices and one address, each on working days by day.
inline BACnetValue destination_list()
{
  BACnetValue list{};
  value_init(&list, TAG_DESTINATION_LIST);
  for (uint32_t i = 0; i < 3; ++i) {
    BACnetValue element{};
    value_init(&element, TAG_DESTINATION);
    auto* d = value_record<BACnetDestination>(&element);
    set_bits(d->valid_days, {1, 1, 1, 1, 1, 0, 0});
    d->from = {6, 0, 0, 0};
    d->to = {18, 30, 0, 0};
    if (i < 2) {
      d->recipient.choice = 0;
      d->recipient.device = {8, 1000 + i};
    } else {
      const uint8_t mac[6] = {10, 111, 1, 2, 0xBA, 0xC0};
      d->recipient.choice = 1;
      d->recipient.address.network = 5;
      octetstring_set(&d->recipient.address.mac, mac, 6);
    }
    d->process_id = 40 + i;
    d->issue_confirmed = i == 0;
    set_bits(d->transitions, {1, 1, 1});
    value_array_append(value_array(&list), &element);
  }
  return list;
}

// A change of bitstring with two alarm values.
inline BACnetValue event_parameter()
{
  BACnetValue value{};
  value_init(&value, TAG_EVENT_PARAMETER);
  auto* p = value_record<BACnetEventParameter>(&value);
  p->choice = 0;
  p->time_delay = 30;
  set_bits(p->bitmask, {1, 1, 0, 1});
  value_init(&p->values, TAG_BIT_STRING_LIST);
  for (uint8_t last : {0, 1}) {
    BACnetValue bits{};
    BitString b{};
    set_bits(b, {1, 0, 0, last});
    value_set_bitstring(&b, &bits);
    bitstring_free(&b);
    value_array_append(value_array(&p->values), &bits);
  }
  return value;
}

// Present value with its priority, status flags and the description.
inline BACnetValue property_values()
{
  BACnetValue list{};
  value_init(&list, TAG_PROPERTY_VALUE_LIST);
  for (uint32_t property : {85u, 111u, 28u}) {
    BACnetValue element{};
    value_init(&element, TAG_PROPERTY_VALUE);
    auto* pv = value_record<BACnetPropertyValue>(&element);
    pv->property = property;
    if (property == 85) {
      float real = 21.5f;
      value_set_real(&real, &pv->value);
      pv->priority = 8;
    } else if (property == 111) {
      BitString flags{};
      set_bits(flags, {0, 0, 0, 0});
      value_set_bitstring(&flags, &pv->value);
      bitstring_free(&flags);
    } else {
      value_set_charstring("Raumtemperatur", &pv->value);
    }
    value_array_append(value_array(&list), &element);
  }
  return list;
}

// Two writes of a setpoint, the second to another device after a delay.
inline BACnetValue action_commands()
{
  BACnetValue list{};
  value_init(&list, TAG_ACTION_COMMAND_LIST);
  for (uint32_t i = 0; i < 2; ++i) {
    BACnetValue element{};
    value_init(&element, TAG_ACTION_COMMAND);
    auto* c = value_record<BACnetActionCommand>(&element);
    c->device = i == 0 ? BACnetObjectId{999, 0} : BACnetObjectId{8, 1001};
    c->object = {2, 7};
    c->property = 85;
    float real = 20.0f + float(i);
    value_set_real(&real, &c->value);
    c->priority = 9;
    c->post_delay = i * 30;
    c->quit_on_failure = 1;
    value_array_append(value_array(&list), &element);
  }
  return list;
}

}  // namespace bench_records
