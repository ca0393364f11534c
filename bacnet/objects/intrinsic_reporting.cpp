#include "bacnet/objects/intrinsic_reporting.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/event_notify.h"
#include "bacnet/objects/object_lists.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kStateBinaryValue = 1;    // PropertyStates choice of a binary present value
constexpr uint32_t kStateUnsignedValue = 11;  // and of a multi-state one

float real_of(ObjectRecord* object, uint32_t property)
{
  const float* f = object_real(object, property);
  return f ? *f : 0.0f;
}

// What one run of a reporting object works from.
struct Reading {
  OwnedValue present;  // REAL, ENUMERATED or UNSIGNED
  uint32_t reliability = 0;
  bool out_of_service = false;
  int32_t delay_countdown = 1;  // time delay + 1
  uint32_t time_delay = 0;
};

void read_object(ObjectRecord* object, Reading* in)
{
  if (object->spec->command_choice != 0) {
    object_EvaluatePresentValue(object, in->present.get());
  } else if (const float* real = object_real(object, PROP_PRESENT_VALUE)) {
    value_set_real(real, in->present.get());
  } else if (const FieldSpec* f = object_field_spec(*object->spec, PROP_PRESENT_VALUE)) {
    uint32_t word = object_word_value(object, PROP_PRESENT_VALUE);
    if (f->kind == FieldKind::Enumerated)
      value_set_enumerated(&word, in->present.get());
    else
      value_set_unsigned(&word, in->present.get());
  }
  in->reliability = object_word_value(object, PROP_RELIABILITY);
  const uint8_t* oos = object_boolean(object, PROP_OUT_OF_SERVICE);
  in->out_of_service = oos && *oos;
  in->time_delay = object_word_value(object, PROP_TIME_DELAY);
  in->delay_countdown = int32_t(std::min<uint32_t>(in->time_delay, INT32_MAX - 1) + 1);
}

// ---- Target states -----------------------------------------------------------------------

struct Target {
  uint32_t state;
  int32_t countdown;
};

// False: the target stays as it is.
using TargetRule = bool (*)(ObjectRecord*, const Reading&, uint32_t current_target, Target*);

bool analog_target(ObjectRecord* object, const Reading& in, uint32_t current, Target* t)
{
  if (in.reliability != 0) {
    *t = {EVENT_STATE_FAULT, 1};
    return true;
  }
  float pv = in.present->payload.real;
  float high = real_of(object, PROP_HIGH_LIMIT);
  float low = real_of(object, PROP_LOW_LIMIT);
  float deadband = real_of(object, PROP_DEADBAND);
  if (pv > high) {
    *t = {EVENT_STATE_HIGH_LIMIT, in.delay_countdown};
    return true;
  }
  if (pv < low) {
    *t = {EVENT_STATE_LOW_LIMIT, in.delay_countdown};
    return true;
  }
  // Back inside the limits: a limit state is left only beyond the deadband.
  if (current == EVENT_STATE_NORMAL || (current == EVENT_STATE_HIGH_LIMIT && !(pv < high - deadband)) ||
      (current == EVENT_STATE_LOW_LIMIT && !(pv > low + deadband)))
    return false;
  *t = {EVENT_STATE_NORMAL, in.delay_countdown};
  return true;
}

bool alarm_value_target(ObjectRecord* object, const Reading& in, uint32_t, Target* t)
{
  if (in.reliability != 0)
    *t = {EVENT_STATE_FAULT, 1};
  else if (in.present->payload.enumerated == object_word_value(object, PROP_ALARM_VALUE))
    *t = {EVENT_STATE_OFFNORMAL, in.delay_countdown};
  else
    *t = {EVENT_STATE_NORMAL, in.delay_countdown};
  return true;
}

bool feedback_target(ObjectRecord* object, const Reading& in, uint32_t, Target* t)
{
  if (in.reliability != 0)
    *t = {EVENT_STATE_FAULT, 1};
  else if (in.present->payload.unsigned_value != object_word_value(object, PROP_FEEDBACK_VALUE))
    *t = {EVENT_STATE_OFFNORMAL, in.delay_countdown};
  else
    *t = {EVENT_STATE_NORMAL, in.delay_countdown};
  return true;
}

bool in_state_list(ObjectRecord* object, uint32_t property, uint32_t state)
{
  const BACnetValue* list = object_value(object, property);
  if (!list)
    return false;
  if (list->tag == TAG_UNSIGNED)
    return list->payload.unsigned_value == state;
  const BACnetValueArray* array = value_array(list);
  for (uint32_t i = 0; array && i < array->used; ++i)
    if (array->elements[i].tag == TAG_UNSIGNED && array->elements[i].payload.unsigned_value == state)
      return true;
  return false;
}

bool state_list_target(ObjectRecord* object, const Reading& in, uint32_t, Target* t)
{
  uint32_t pv = in.present->payload.unsigned_value;
  if (in_state_list(object, PROP_FAULT_VALUES, pv))
    *t = {EVENT_STATE_FAULT, 1};
  else if (in.reliability != 0 && in.out_of_service)
    *t = {EVENT_STATE_FAULT, in.delay_countdown};
  else if (in_state_list(object, PROP_ALARM_VALUES, pv))
    *t = {EVENT_STATE_OFFNORMAL, in.delay_countdown};
  else
    *t = {EVENT_STATE_NORMAL, in.delay_countdown};
  return true;
}

// ---- Event values ------------------------------------------------------------------------

BACnetNotificationParameters* new_parameters(BACnetValue* out, uint32_t choice, const BitString* status_flags)
{
  if (value_init(out, TAG_NOTIFICATION_PARAMETERS) != VALUE_OK)
    return nullptr;
  auto* p = value_record<BACnetNotificationParameters>(out);
  p->choice = choice;
  if (status_flags)
    bitstring_copy(&p->status_flags, status_flags);
  return p;
}

using EventValues = void (*)(ObjectRecord*, const Reading&, uint32_t from, uint32_t to, BACnetValue* out);

void out_of_range_values(ObjectRecord* object, const Reading& in, uint32_t from, uint32_t to, BACnetValue* out)
{
  auto* p = new_parameters(out, EVENT_TYPE_OUT_OF_RANGE, object_bits(object, PROP_STATUS_FLAGS));
  if (!p)
    return;
  // A return to normal names the limit of the state it left.
  uint32_t limit_state = to == EVENT_STATE_NORMAL ? from : to;
  p->reals[0] = in.present->payload.real;
  p->reals[1] = real_of(object, PROP_DEADBAND);
  p->reals[2] = real_of(object, limit_state == EVENT_STATE_LOW_LIMIT ? PROP_LOW_LIMIT : PROP_HIGH_LIMIT);
}

void change_of_state_values(ObjectRecord* object, const Reading& in, uint32_t, uint32_t, BACnetValue* out)
{
  auto* p = new_parameters(out, EVENT_TYPE_CHANGE_OF_STATE, object_bits(object, PROP_STATUS_FLAGS));
  if (!p)
    return;
  bool binary = in.present->tag == TAG_ENUMERATED;
  p->new_state = {binary ? kStateBinaryValue : kStateUnsignedValue, in.present->payload.unsigned_value};
}

void command_failure_values(ObjectRecord* object, const Reading& in, uint32_t, uint32_t, BACnetValue* out)
{
  auto* p = new_parameters(out, EVENT_TYPE_COMMAND_FAILURE, object_bits(object, PROP_STATUS_FLAGS));
  if (!p)
    return;
  value_assign(&p->command_value, in.present.get(), -1);
  uint32_t feedback = object_word_value(object, PROP_FEEDBACK_VALUE);
  if (in.present->tag == TAG_ENUMERATED)
    value_set_enumerated(&feedback, &p->feedback_value);
  else
    value_set_unsigned(&feedback, &p->feedback_value);
}

// ---- One reporting run -------------------------------------------------------------------

enum class CovKind : uint8_t { Real, Word };

struct ReportingProfile {
  TargetRule target;
  EventValues values;
  CovKind cov;
  bool limit_enables;  // analog: each limit has its own enable bit
  bool state_counting;  // Binary Input: change-of-state time and count, elapsed active time
};

constexpr ReportingProfile kAnalog{analog_target, out_of_range_values, CovKind::Real, true, false};
constexpr ReportingProfile kBinaryInput{alarm_value_target, change_of_state_values, CovKind::Word, false, true};
constexpr ReportingProfile kBinaryValue{alarm_value_target, change_of_state_values, CovKind::Word, false, false};
constexpr ReportingProfile kOutput{feedback_target, command_failure_values, CovKind::Word, false, false};
constexpr ReportingProfile kStateList{state_list_target, change_of_state_values, CovKind::Word, false, false};

uint32_t packed_flags(const BitString* flags)
{
  uint32_t packed = 0;
  for (uint32_t i = 0; flags && i < flags->count && i < 32; ++i)
    packed |= uint32_t(bitstring_get_bit(flags, i) != 0) << i;
  return packed;
}

bool transition_enabled(const ReportingProfile& profile, ObjectRecord* object, uint32_t from, uint32_t to)
{
  if (!bitstring_get_bit(object_bits(object, PROP_EVENT_ENABLE), event_transition_of(to)))
    return false;
  if (!profile.limit_enables)
    return true;
  const BitString* limits = object_bits(object, PROP_LIMIT_ENABLE);
  constexpr uint32_t kLowLimitEnable = 0, kHighLimitEnable = 1;
  uint32_t limit_state = to == EVENT_STATE_NORMAL ? from : to;
  if (limit_state == EVENT_STATE_HIGH_LIMIT)
    return bitstring_get_bit(limits, kHighLimitEnable) != 0;
  if (limit_state == EVENT_STATE_LOW_LIMIT)
    return bitstring_get_bit(limits, kLowLimitEnable) != 0;
  return true;
}

void send_cov(uint32_t owner, ObjectRecord* object, const BACnetValue& present, const BitString* flags)
{
  const BACnetValue* subscriptions = object_value(object, PROP_COV_SUBSCRIBERS);
  if (!subscriptions || subscriptions->tag == TAG_NULL)
    return;
  OwnedValue values;
  for (uint32_t property : {PROP_PRESENT_VALUE, PROP_STATUS_FLAGS}) {
    OwnedValue element;
    if (value_init(element.get(), TAG_PROPERTY_VALUE) != VALUE_OK)
      return;
    auto* pv = value_record<BACnetPropertyValue>(element.get());
    pv->property = property;
    pv->array_index = -1;
    int rc = property == PROP_PRESENT_VALUE ? value_assign(&pv->value, &present, -1)
                                            : value_set_bitstring(flags, &pv->value);
    if (rc != VALUE_OK || value_append_element(values.get(), TAG_PROPERTY_VALUE_LIST, element.get()) != VALUE_OK)
      return;
  }
  cov_notify_destinations(owner, object->id, values.get(), subscriptions);
}

// Lifetimes count whole seconds: a subscription whose time is up leaves the list.
void count_down_lifetimes(ObjectRecord* object)
{
  BACnetValue* subscriptions = object_value(object, PROP_COV_SUBSCRIBERS);
  BACnetValueArray* list = subscriptions && subscriptions->tag == TAG_DESTINATION_LIST ? value_array(subscriptions) : nullptr;
  for (uint32_t i = 0; list && i < list->used;) {
    auto* d = value_record<BACnetDestination>(&list->elements[i]);
    if (d && d->lifetime != 0 && --d->lifetime == 0)
      object_list_erase(list, i);
    else
      ++i;
  }
}

void state_counting(ObjectRecord* object, int tick_flag, uint32_t present, bool changed)
{
  if (changed) {
    if (BACnetDateTime* stamp = object_datetime(object, PROP_CHANGE_OF_STATE_TIME))
      time_now_to_bacnet(stamp);
    if (uint32_t* count = object_word(object, PROP_CHANGE_OF_STATE_COUNT))
      ++*count;
  }
  if (tick_flag && present == 1)
    if (uint32_t* elapsed = object_word(object, PROP_ELAPSED_ACTIVE_TIME))
      ++*elapsed;
}

void run_reporting(const ReportingProfile& profile, uint32_t owner, int tick_flag, ObjectRecord* object)
{
  ObjectEngineState* engine = object ? object_engine(object) : nullptr;
  uint32_t* state = object_word(object, PROP_EVENT_STATE);
  BitString* flags = object_bits(object, PROP_STATUS_FLAGS);
  BitString* acked = object_bits(object, PROP_ACKED_TRANSITIONS);
  if (!engine || !state || !flags || !acked)
    return;
  event_settle_acknowledgments(owner, object);

  const uint32_t from = *state;
  const uint32_t old_flags = packed_flags(flags);
  Reading in;
  read_object(object, &in);

  bool committed = false;
  uint32_t to = from;
  if (!object_reporting_on(object)) {
    *state = in.reliability != 0 ? EVENT_STATE_FAULT : EVENT_STATE_NORMAL;
    engine->target_state = *state;
    engine->countdown = 0;
  } else {
    Target target{};
    if (profile.target(object, in, engine->target_state, &target) && target.state != engine->target_state) {
      engine->target_state = target.state;
      engine->countdown = target.countdown;
    }
    if (engine->countdown > 0 && (tick_flag || in.time_delay == 0) && --engine->countdown == 0) {
      to = engine->target_state;
      // Between the two limits the way leads through normal.
      if ((from == EVENT_STATE_HIGH_LIMIT && to == EVENT_STATE_LOW_LIMIT) ||
          (from == EVENT_STATE_LOW_LIMIT && to == EVENT_STATE_HIGH_LIMIT)) {
        to = EVENT_STATE_NORMAL;
        engine->target_state = EVENT_STATE_NORMAL;
      }
      committed = to != from;
      *state = to;
    }
  }
  uint32_t transition = event_transition_of(to);
  bool notify = committed && transition_enabled(profile, object, from, to);
  if (committed && !notify)
    bitstring_set_bit(acked, transition, 1);

  bitstring_set_bit(flags, 0, *state != EVENT_STATE_NORMAL);
  bitstring_set_bit(flags, 1, in.reliability != 0);
  bitstring_set_bit(flags, 2, 0);
  bitstring_set_bit(flags, 3, in.out_of_service);

  const BACnetValue& present = *in.present;
  bool force = (engine->force_flags & kEngineForceCov) != 0;
  bool flags_changed = packed_flags(flags) != old_flags;
  if (profile.cov == CovKind::Real) {
    float increment = real_of(object, PROP_COV_INCREMENT);
    if (flags_changed || force || std::fabs(present.payload.real - engine->last_cov_real) > increment) {
      send_cov(owner, object, present, flags);
      engine->last_cov_real = present.payload.real;
    }
  } else {
    bool changed = present.payload.unsigned_value != engine->last_cov_word;
    if (profile.state_counting)
      state_counting(object, tick_flag, present.payload.unsigned_value, changed);
    if (flags_changed || force || changed) {
      send_cov(owner, object, present, flags);
      engine->last_cov_word = present.payload.unsigned_value;
    }
  }

  if (notify) {
    OwnedValue values;
    profile.values(object, in, from, to, values.get());
    uint32_t notify_type = object_word_value(object, PROP_NOTIFY_TYPE);
    event_generate(owner, object->type, object, from, to, values.get(), notify_type);
    engine->recorded_state[transition] = to;
  }
  engine->force_flags = 0;
  // Extra runs after writes and acknowledgments take no time off a subscription.
  if (tick_flag)
    count_down_lifetimes(object);
}

// ---- Event Enrollment --------------------------------------------------------------------

struct Monitored {
  OwnedValue value;
  OwnedValue second;  // command-failure: the feedback value; floating-limit: the setpoint
};

int read_reference(uint32_t owner, const BACnetDeviceObjectPropertyReference& ref, BACnetValue* out)
{
  return object_ReadObjectProperty(-1, object_ReferenceOwner(&ref, owner), ref.object.type, ref.object.instance,
                                   ref.property, ref.array_index, out);
}

bool read_monitored(uint32_t owner, ObjectRecord* ee, const BACnetEventParameter& p, Monitored* m)
{
  const BACnetDeviceObjectPropertyReference* ref = object_reference(ee, PROP_OBJECT_PROPERTY_REFERENCE);
  if (!ref || read_reference(owner, *ref, m->value.get()) != 0)
    return false;
  if (p.choice == EVENT_TYPE_COMMAND_FAILURE || p.choice == EVENT_TYPE_FLOATING_LIMIT)
    if (read_reference(owner, p.reference, m->second.get()) != 0)
      return false;
  if (p.choice == EVENT_TYPE_FLOATING_LIMIT)
    return m->value->tag == TAG_REAL && m->second->tag == TAG_REAL;
  if (p.choice == EVENT_TYPE_OUT_OF_RANGE)
    return m->value->tag == TAG_REAL;
  return true;
}

// The state a limit algorithm leads to from `state`: a limit is crossed from normal, and a
// limit state is left only beyond the deadband back inside it.
uint32_t limit_state(uint32_t state, float v, float high, float low, float deadband)
{
  if (state == EVENT_STATE_NORMAL && v > high)
    return EVENT_STATE_HIGH_LIMIT;
  if (state == EVENT_STATE_NORMAL && v < low)
    return EVENT_STATE_LOW_LIMIT;
  if (state == EVENT_STATE_HIGH_LIMIT && v < high - deadband)
    return EVENT_STATE_NORMAL;
  if (state == EVENT_STATE_LOW_LIMIT && v > low + deadband)
    return EVENT_STATE_NORMAL;
  return state;
}

// The transition an Event Enrollment's algorithm names from its current state, with its
// event values; false when none does.
bool enrollment_transition(const BACnetEventParameter& p, uint32_t state, Monitored& m, uint32_t* to,
                           BACnetValue* values)
{
  uint32_t next = state;
  float reals[3] = {};
  BACnetPropertyStates matched{};
  switch (p.choice) {
  case EVENT_TYPE_CHANGE_OF_STATE: {
    bool in_list = value_matches_property_states(&p.values, m.value.get(), &matched) == 1;
    if (state == EVENT_STATE_NORMAL && in_list)
      next = EVENT_STATE_OFFNORMAL;
    else if (state == EVENT_STATE_OFFNORMAL && !in_list)
      next = EVENT_STATE_NORMAL;
    break;
  }
  case EVENT_TYPE_COMMAND_FAILURE: {
    bool agree = value_matches_condition(m.value.get(), m.second.get()) == 1;
    if (state == EVENT_STATE_NORMAL && !agree)
      next = EVENT_STATE_OFFNORMAL;
    else if (state == EVENT_STATE_OFFNORMAL && agree)
      next = EVENT_STATE_NORMAL;
    break;
  }
  case EVENT_TYPE_FLOATING_LIMIT:
  case EVENT_TYPE_OUT_OF_RANGE: {
    // Floating: the limits lie about the setpoint; out of range: they stand as given.
    bool floating = p.choice == EVENT_TYPE_FLOATING_LIMIT;
    float v = m.value->payload.real;
    float sp = floating ? m.second->payload.real : 0.0f;
    next = limit_state(state, v, floating ? sp + p.high_limit : p.high_limit,
                       floating ? sp - p.low_limit : p.low_limit, p.deadband);
    uint32_t side = next == EVENT_STATE_NORMAL ? state : next;
    reals[0] = v;
    reals[1] = floating ? sp : p.deadband;
    reals[2] = side == EVENT_STATE_LOW_LIMIT ? p.low_limit : p.high_limit;
    break;
  }
  default:
    return false;
  }
  if (next == state)
    return false;
  *to = next;
  // The status flags of the event values tell only whether the object leaves normal.
  const uint8_t flags[4] = {uint8_t(next != EVENT_STATE_NORMAL), 0, 0, 0};
  Owned<BitString, bitstring_free> status;
  bitstring_set(status.get(), flags, 4);
  auto* n = new_parameters(values, p.choice, status.get());
  if (!n)
    return true;
  if (p.choice == EVENT_TYPE_CHANGE_OF_STATE) {
    n->new_state = matched;
  } else if (p.choice == EVENT_TYPE_COMMAND_FAILURE) {
    value_assign(&n->command_value, m.value.get(), -1);
    value_assign(&n->feedback_value, m.second.get(), -1);
  } else {
    std::copy(reals, reals + 3, n->reals);
  }
  return true;
}

}  // namespace

void object_AnalogInputTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kAnalog, owner, tick, o); }
void object_AnalogOutputTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kAnalog, owner, tick, o); }
void object_AnalogValueTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kAnalog, owner, tick, o); }
void object_BinaryInputTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kBinaryInput, owner, tick, o); }
void object_BinaryOutputTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kOutput, owner, tick, o); }
void object_BinaryValueTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kBinaryValue, owner, tick, o); }
void object_MultiStateInputTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kStateList, owner, tick, o); }
void object_MultiStateOutputTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kOutput, owner, tick, o); }
void object_MultiStateValueTimer(uint32_t owner, int tick, ObjectRecord* o) { run_reporting(kStateList, owner, tick, o); }

void object_EventEnrollmentTimer(uint32_t owner, ObjectRecord* ee)
{
  uint32_t* condition_time = object_word(ee, PROP_CONDITION_TIME);
  uint32_t* state = object_word(ee, PROP_EVENT_STATE);
  const BACnetEventParameter* p = object_event_parameter(ee, PROP_EVENT_PARAMETERS);
  if (!condition_time || !state || !p)
    return;
  const uint32_t now = os_wall_seconds();
  bool pending = false;
  uint32_t type = object_word_value(ee, PROP_EVENT_TYPE);
  bool known = type == EVENT_TYPE_CHANGE_OF_STATE || type == EVENT_TYPE_COMMAND_FAILURE ||
               type == EVENT_TYPE_FLOATING_LIMIT || type == EVENT_TYPE_OUT_OF_RANGE;
  Monitored m;
  if (p->choice == type && known && read_monitored(owner, ee, *p, &m)) {
    uint32_t to = 0;
    OwnedValue values;
    if (enrollment_transition(*p, *state, m, &to, values.get())) {
      // The delay counts from the last run in which no transition was pending.
      if (int64_t(now) - int64_t(*condition_time) >= int64_t(p->time_delay)) {
        uint32_t from = *state;
        *state = to;
        uint32_t notify_type = object_word_value(ee, PROP_NOTIFY_TYPE);
        event_generate(owner, OBJECT_EVENT_ENROLLMENT, ee, from, to, values.get(), notify_type);
      } else {
        pending = true;
      }
    }
    event_process_transition_bits(owner, ee);
  }
  if (!pending)
    *condition_time = now;
}
