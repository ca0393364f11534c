// The services beyond the main road and the datatypes they carry: exact octets, the
// optional parameters and their absent markers, and the refusals of malformed input.
#include "bacnet/codec/pdu.h"
#include "codec_builders.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

template <class Record, class Encode>
std::string hex_of_record(const Record& record, Encode encode)
{
  Encoded e;
  if (encode(&e.buffer, &record) != 0)
    return "failed";
  return e.hex();
}

// ---- Datatypes -------------------------------------------------------------------------------

TEST(NotificationParameters, ChangeOfBitstringOctetsAndOwnClosingTags)
{
  Value v = tagged(TAG_NOTIFICATION_PARAMETERS);
  auto* p = value_record<BACnetNotificationParameters>(&*v);
  p->choice = 0;
  p->bits = bits_of({1, 0});
  p->status_flags = bits_of({0, 0, 0, 0});
  EXPECT_EQ(encode_hex(v.get()), "0E 0A 06 80 1A 04 00 0F");
  p->choice = 5;
  p->reals[0] = 1.0f;
  EXPECT_EQ(encode_hex(v.get()).substr(0, 2), "5E");
  EXPECT_EQ(encode_hex(v.get()).substr(encode_hex(v.get()).size() - 2), "5F");
  Value buffer_ready = tagged(TAG_NOTIFICATION_PARAMETERS);
  auto* ready = value_record<BACnetNotificationParameters>(&*buffer_ready);
  ready->choice = 10;
  ready->buffer_property = {{20, 1}, 131, -1, {999, 0}};
  ready->previous_notification = 1;
  ready->current_notification = 2;
  EXPECT_EQ(encode_hex(buffer_ready.get()), "AE 0E 0C 05 00 00 01 19 83 0F 19 01 29 02 AF");
}

TEST(NotificationParameters, UnknownEventTypesFailInsteadOfWritingNothing)
{
  for (uint32_t choice : {7u, 8u, 11u, 999u}) {
    Value notification = tagged(TAG_NOTIFICATION_PARAMETERS);
    value_record<BACnetNotificationParameters>(&*notification)->choice = choice;
    EXPECT_EQ(encode_hex(notification.get()), "failed") << choice;
    Value parameter = tagged(TAG_EVENT_PARAMETER);
    value_record<BACnetEventParameter>(&*parameter)->choice = choice;
    EXPECT_EQ(encode_hex(parameter.get()), "failed") << choice;
  }
  Value value_change = tagged(TAG_NOTIFICATION_PARAMETERS);
  auto* p = value_record<BACnetNotificationParameters>(&*value_change);
  p->choice = 2;
  p->changed_choice = 2;
  EXPECT_EQ(encode_hex(value_change.get()), "failed");
}

TEST(NotificationParameters, ComplexEventValuesAreReadBack)
{
  Received in("6E 09 55 2E 44 41 AC 00 00 2F 09 67 2E 91 00 2F 6F");
  Owned<BACnetNotificationParameters, notification_parameters_free> p;
  ASSERT_EQ(pdu_decode_notification_parameters(&in.buffer, p.get()), 0);
  EXPECT_TRUE(in.at_end());
  EXPECT_EQ(p->choice, 6u);
  ASSERT_EQ(p->property_values.tag, TAG_PROPERTY_VALUE_LIST);
  EXPECT_EQ(value_array(&p->property_values)->used, 2u);
  Received other("7E 7F");
  BACnetNotificationParameters q{};
  ASSERT_EQ(pdu_decode_notification_parameters(&other.buffer, &q), 0);
  EXPECT_EQ(other.buffer.pos, 1u) << "an unknown choice consumes its opening octet only";
  Received none("");
  EXPECT_EQ(pdu_decode_notification_parameters(&none.buffer, &q), PDU_MALFORMED);
}

TEST(EventParameter, ChangeOfBitstringValuesStandInsideTheirOwnTag)
{
  Value v = tagged(TAG_EVENT_PARAMETER);
  auto* p = value_record<BACnetEventParameter>(&*v);
  p->choice = 0;
  p->time_delay = 5;
  p->bitmask = bits_of({1, 1});
  p->values = v_bits({1, 0});
  EXPECT_EQ(encode_hex(v.get()), "0E 09 05 1A 06 C0 2E 82 06 80 2F 0F");
  Received in("0E 09 05 1A 06 C0 2E 82 06 80 82 06 40 2F 0F");
  BACnetEventParameter back{};
  back.choice = EVENT_PARAMETER_NONE;
  ASSERT_EQ(pdu_decode_event_parameter(&in.buffer, &back), 0);
  ASSERT_EQ(back.values.tag, TAG_BIT_STRING_LIST);
  EXPECT_EQ(value_array(&back.values)->used, 2u);
  value_free_tag51(&back);
  // Parameters written without their values still read.
  Received bare("0E 09 05 1A 06 C0 0F");
  ASSERT_EQ(pdu_decode_event_parameter(&bare.buffer, &back), 0);
  EXPECT_EQ(back.choice, 0u);
  value_free_tag51(&back);
}

TEST(EventParameter, BufferReadyIsWrittenUnderSevenAndReadUnderSevenOrTen)
{
  Value v = tagged(TAG_EVENT_PARAMETER);
  auto* p = value_record<BACnetEventParameter>(&*v);
  p->choice = 10;
  p->notification_threshold = 10;
  p->previous_count = 2;
  EXPECT_EQ(encode_hex(v.get()), "7E 09 0A 19 02 7F");
  for (const char* octets : {"7E 09 0A 19 02 7F", "AE 09 0A 19 02 AF"}) {
    Received in(octets);
    BACnetEventParameter back{};
    back.choice = EVENT_PARAMETER_NONE;
    ASSERT_EQ(pdu_decode_event_parameter(&in.buffer, &back), 0) << octets;
    EXPECT_EQ(back.choice, 10u);
    EXPECT_EQ(back.notification_threshold, 10u);
    EXPECT_EQ(back.previous_count, 2u);
    EXPECT_TRUE(in.at_end());
  }
  Received other("6E 6F");
  BACnetEventParameter untouched{};
  untouched.choice = EVENT_PARAMETER_NONE;
  ASSERT_EQ(pdu_decode_event_parameter(&other.buffer, &untouched), 0);
  EXPECT_EQ(untouched.choice, EVENT_PARAMETER_NONE);
}

TEST(ConstructedValues, UnknownChoicesFailTheEncoder)
{
  Value stamp = tagged(TAG_TIMESTAMP);
  value_record<BACnetTimeStamp>(&*stamp)->choice = 3;
  Value entry = tagged(TAG_CALENDAR_ENTRY);
  value_record<BACnetCalendarEntry>(&*entry)->choice = 3;
  Value recipient = tagged(TAG_RECIPIENT);  // prepared with no choice
  Value priority = tagged(TAG_PRIORITY_VALUE);
  value_record<BACnetPriorityValue>(&*priority)->choice = 5;
  Value states = tagged(TAG_PROPERTY_STATES);
  value_record<BACnetPropertyStates>(&*states)->choice = 12;
  Value increment = tagged(TAG_COV_INCREMENT);
  value_record<BACnetCOVIncrement>(&*increment)->choice = 2;
  Value log = tagged(TAG_LOG_RECORD);
  value_record<BACnetLogRecord>(&*log)->choice = 11;
  Value special = tagged(TAG_SPECIAL_EVENT);
  value_record<BACnetSpecialEvent>(&*special)->period_choice = 2;
  for (BACnetValue* v : {&*stamp, &*entry, &*recipient, &*priority, &*states, &*increment, &*log, &*special})
    EXPECT_EQ(encode_hex(v), "failed") << v->tag;
}

TEST(ConstructedValues, ActionCommandLeavesAbsentFieldsOut)
{
  BACnetActionCommand command{};
  command.device = {999, 0};
  command.object = {1, 3};
  command.property = 85;
  command.array_index = -1;
  command.value = v_real(50.0f);
  EXPECT_EQ(hex_of_record(command, pdu_encode_action_command), "1C 00 40 00 03 29 55 4E 44 42 48 00 00 4F 79 00 89 00");
  command.device = {8, 1234};
  command.priority = 8;
  command.post_delay = 30;
  EXPECT_EQ(hex_of_record(command, pdu_encode_action_command),
            "0C 02 00 04 D2 1C 00 40 00 03 29 55 4E 44 42 48 00 00 4F 59 08 69 1E 79 00 89 00");
  value_free(&command.value);
  BACnetActionCommand back{};
  Received bare("1C 00 40 00 03 29 55 4E 44 42 48 00 00 4F 79 00 89 00");
  ASSERT_EQ(pdu_decode_action_command(&bare.buffer, &back), 0);
  EXPECT_EQ(back.device.type, 999u);
  EXPECT_EQ(back.post_delay, 0u);
  EXPECT_EQ(back.priority, 0u);
  value_free(&back.value);
}

TEST(ConstructedValues, SmallDatatypesRoundTrip)
{
  BACnetSessionKey key{octets_of({1, 2, 3, 4, 5, 6, 7, 8}), address_of(5, {7})};
  std::string hex = hex_of_record(key, pdu_encode_session_key);
  EXPECT_EQ(hex, "65 08 01 02 03 04 05 06 07 08 21 05 61 07");
  octetstring_free(&key.key);
  octetstring_free(&key.peer.mac);

  BACnetRecipientProcess process{0, {0, {8, 5}, {}}, 3};
  hex = hex_of_record(process, pdu_encode_recipient_process);
  EXPECT_EQ(hex, "0E 0C 02 00 00 05 0F 19 03");
  BACnetRecipientProcess process_back{};
  Received process_in(hex);
  ASSERT_EQ(pdu_decode_recipient_process(&process_in.buffer, &process_back), 0);
  EXPECT_EQ(process_back.not_empty, 1u);
  EXPECT_EQ(process_back.recipient.device.instance, 5u);
  Received unwrapped("0C 02 00 00 05 19 03");
  EXPECT_EQ(pdu_decode_recipient_process(&unwrapped.buffer, &process_back), PDU_MALFORMED);

  BACnetObjectPropertyValue value{};
  value.object = {2, 3};
  value.property = 85;
  value.array_index = -1;
  value.value = v_real(21.5f);
  value.priority = 8;
  hex = hex_of_record(value, pdu_encode_object_property_value);
  EXPECT_EQ(hex, "0C 00 80 00 03 19 55 3E 44 41 AC 00 00 3F 49 08");
  value_free(&value.value);

  PropertyCondition criterion{85, 2, 3, v_real(20.0f)};
  hex = hex_of_record(criterion, pdu_encode_selection_criterion);
  EXPECT_EQ(hex, "09 55 19 02 29 03 3E 44 41 A0 00 00 3F");
  value_free(&criterion.comparison);
}

TEST(ConstructedValues, WriteAccessSpecificationTakesPropertyValuesOnly)
{
  WriteAccessSpecification spec{{2, 3}, v_property_value(85, v_real(21.5f))};
  std::string hex = hex_of_record(spec, pdu_encode_write_access_specification);
  EXPECT_EQ(hex, "0C 00 80 00 03 1E 09 55 2E 44 41 AC 00 00 2F 1F");
  value_free(&spec.properties);
  spec.properties = v_real(1.0f);
  EXPECT_EQ(hex_of_record(spec, pdu_encode_write_access_specification), "failed");
  value_free(&spec.properties);
  EXPECT_EQ(hex_of_record(spec, pdu_encode_write_access_specification), "failed") << "nothing to write";
}

// ---- Alarm and event services ----------------------------------------------------------------

TEST(AcknowledgeAlarm, AbsentSourceIsLeftOutAndAllSixAreRequired)
{
  AcknowledgeAlarmRequest request;
  request.process_id = 1;
  request.event_object = {0, 1};
  request.event_state = 0;
  request.timestamp = stamp_sequence(1);
  request.ack_timestamp = stamp_sequence(2);
  EXPECT_EQ(hex_of_record(request, pdu_encode_acknowledge_alarm_request),
            "09 01 1C 00 00 00 01 29 00 3E 19 01 3F 5E 19 02 5F")
      << "no [4] of another type in its place";
  request.source = v_unsigned(4);
  EXPECT_EQ(hex_of_record(request, pdu_encode_acknowledge_alarm_request),
            "09 01 1C 00 00 00 01 29 00 3E 19 01 3F 5E 19 02 5F");
  value_free(&request.source);
  Owned<AcknowledgeAlarmRequest, pdu_free_acknowledge_alarm_request> back;
  Received without_source("09 01 1C 00 00 00 01 29 00 3E 19 01 3F 5E 19 02 5F");
  EXPECT_EQ(pdu_decode_acknowledge_alarm_request(&without_source.buffer, back.get()), PDU_MALFORMED);
}

TEST(EventNotification, AcknowledgmentNotificationLeavesOutFlagStateAndValues)
{
  EventNotificationRequest request;
  request.process_id = 1;
  request.object = {0, 1};
  request.timestamp = stamp_sequence(3);
  request.notify_type = NOTIFY_ACK_NOTIFICATION;
  request.ack_required = true;
  request.from_state = 2;
  request.to_state = 0;
  request.message = v_unsigned(1);  // not a text: no [7]
  std::string hex = hex_of_record(request, pdu_encode_event_notification_request);
  EXPECT_EQ(hex, "09 01 1C 02 00 00 00 2C 00 00 00 01 3E 19 03 3F 49 00 59 00 69 00 89 02 B9 00");
  value_free(&request.message);
  Owned<EventNotificationRequest, pdu_free_event_notification_request> back;
  back->from_state = 7;
  Received in(hex);
  ASSERT_EQ(pdu_decode_event_notification_request(&in.buffer, back.get()), 0);
  EXPECT_EQ(back->notify_type, 2u);
  EXPECT_EQ(back->parameters.tag, TAG_NULL);
  EXPECT_EQ(back->from_state, 0u);
  EXPECT_EQ(back->message.tag, TAG_NULL);
  Received unclosed(hex + " CE 0E 0A 06 80 1A 04 00 0F");
  EXPECT_EQ(pdu_decode_event_notification_request(&unclosed.buffer, back.get()), PDU_MALFORMED);
}

TEST(GetAlarmSummary, AcknowledgementCollectsOneOrMoreEntries)
{
  GetAlarmSummaryAck ack;
  Received empty("");
  ASSERT_EQ(pdu_decode_get_alarm_summary_ack(&empty.buffer, &ack), 0);
  EXPECT_EQ(ack.summaries.tag, TAG_NULL);
  Received one("C4 00 00 00 01 91 03 82 05 60");
  ASSERT_EQ(pdu_decode_get_alarm_summary_ack(&one.buffer, &ack), 0);
  EXPECT_EQ(ack.summaries.tag, TAG_ALARM_SUMMARY);
  Received two("C4 00 00 00 01 91 03 82 05 60 C4 00 C0 00 02 91 02 82 05 E0");
  ASSERT_EQ(pdu_decode_get_alarm_summary_ack(&two.buffer, &ack), 0);
  ASSERT_EQ(ack.summaries.tag, TAG_ALARM_SUMMARY_LIST);
  EXPECT_EQ(value_array(&ack.summaries)->used, 2u);
  EXPECT_EQ(hex_of_record(ack, pdu_encode_get_alarm_summary_ack),
            "C4 00 00 00 01 91 03 82 05 60 C4 00 C0 00 02 91 02 82 05 E0");
  pdu_free_get_alarm_summary_ack(&ack);
  ack.summaries = v_real(1.0f);
  EXPECT_EQ(hex_of_record(ack, pdu_encode_get_alarm_summary_ack), "failed");
  pdu_free_get_alarm_summary_ack(&ack);
}

TEST(GetEnrollmentSummary, AbsentFiltersAreLeftOutAndReadBackAsAbsent)
{
  GetEnrollmentSummaryRequest request;
  EXPECT_EQ(hex_of_record(request, pdu_encode_get_enrollment_summary_request), "09 00");
  request.min_priority = 1;  // a priority filter needs both bounds
  EXPECT_EQ(hex_of_record(request, pdu_encode_get_enrollment_summary_request), "09 00");
  Owned<GetEnrollmentSummaryRequest, pdu_free_get_enrollment_summary_request> back;
  back->event_state_filter = 0;
  back->notification_class = 4;
  Received alone("09 00");
  ASSERT_EQ(pdu_decode_get_enrollment_summary_request(&alone.buffer, back.get()), 0);
  EXPECT_EQ(back->event_state_filter, 3u);
  EXPECT_EQ(back->event_type_filter, 999u);
  EXPECT_EQ(back->min_priority, -1);
  EXPECT_EQ(back->max_priority, -1);
  EXPECT_EQ(back->notification_class, -1);
  EXPECT_EQ(back->enrollment_filter.not_empty, 0u);
  Received all_bits("09 00 2C FF FF FF FF 3C FF FF FF FF");
  ASSERT_EQ(pdu_decode_get_enrollment_summary_request(&all_bits.buffer, back.get()), 0);
  EXPECT_EQ(back->event_state_filter, 3u);
  EXPECT_EQ(back->event_type_filter, 999u);
  Received half_priority("09 00 4E 09 01 4F");
  EXPECT_EQ(pdu_decode_get_enrollment_summary_request(&half_priority.buffer, back.get()), PDU_MALFORMED);
}

TEST(GetEnrollmentSummary, AcknowledgementWithoutDataLeavesTheRecord)
{
  Owned<GetEnrollmentSummaryAck, pdu_free_get_enrollment_summary_ack> ack;
  ack->summaries = v_unsigned(5);
  Received empty("");
  ASSERT_EQ(pdu_decode_get_enrollment_summary_ack(&empty.buffer, ack.get()), 0);
  EXPECT_EQ(ack->summaries.tag, TAG_UNSIGNED);
  Received without_class("C4 00 00 00 01 91 05 91 03 21 64");
  ASSERT_EQ(pdu_decode_get_enrollment_summary_ack(&without_class.buffer, ack.get()), 0);
  ASSERT_EQ(ack->summaries.tag, TAG_ENROLLMENT_SUMMARY);
  EXPECT_EQ(value_record<EnrollmentSummaryEntry>(&ack->summaries)->priority, 100u);
}

TEST(GetEventInformation, EmptyAcknowledgementAndMalformedSummaries)
{
  Owned<GetEventInformationAck, pdu_free_get_event_information_ack> ack;
  EXPECT_EQ(hex_of_record(*ack, pdu_encode_get_event_information_ack), "0E 0F 19 00");
  ack->more_events = true;
  Received in("0E 0F 19 00");
  ASSERT_EQ(pdu_decode_get_event_information_ack(&in.buffer, ack.get()), 0);
  EXPECT_EQ(ack->summaries.tag, TAG_NULL);
  EXPECT_FALSE(ack->more_events);
  // A broken summary is malformed input like any other, not a result of its own.
  Received broken("0E 0C 00 00 00 01 19 03 0F 19 00");
  EXPECT_EQ(pdu_decode_get_event_information_ack(&broken.buffer, ack.get()), PDU_MALFORMED);
  Received no_opening("0C 00 00 00 01");
  EXPECT_EQ(pdu_decode_get_event_information_ack(&no_opening.buffer, ack.get()), PDU_MALFORMED);

  GetEventInformationRequest request;
  EXPECT_EQ(hex_of_record(request, pdu_encode_get_event_information_request), "");
  request.last_received = {0, 9};
  Received none("");
  ASSERT_EQ(pdu_decode_get_event_information_request(&none.buffer, &request), 0);
  EXPECT_EQ(request.last_received.type, 999u);
}

// ---- COV -------------------------------------------------------------------------------------

TEST(SubscribeCov, LifetimeChoosesTheOptionalParameters)
{
  SubscribeCovRequest request{1, {0, 1}, false, -1};
  EXPECT_EQ(hex_of_record(request, pdu_encode_subscribe_cov_request), "09 01 1C 00 00 00 01");
  request.issue_confirmed = true;
  request.lifetime = 60;
  EXPECT_EQ(hex_of_record(request, pdu_encode_subscribe_cov_request), "09 01 1C 00 00 00 01 29 01 39 3C");
  request.lifetime = 0;
  EXPECT_EQ(hex_of_record(request, pdu_encode_subscribe_cov_request), "09 01 1C 00 00 00 01 29 01");
  SubscribeCovRequest back;
  Received cancel("09 01 1C 00 00 00 01");
  ASSERT_EQ(pdu_decode_subscribe_cov_request(&cancel.buffer, &back), 0);
  EXPECT_EQ(back.lifetime, -1);
  Received flag_only("09 01 1C 00 00 00 01 29 00");
  ASSERT_EQ(pdu_decode_subscribe_cov_request(&flag_only.buffer, &back), 0);
  EXPECT_EQ(back.lifetime, 0);
  EXPECT_FALSE(back.issue_confirmed);
}

TEST(CovNotification, SingleValueStaysSingleAndWrongValuesDoNotEncode)
{
  CovNotificationRequest request;
  request.process_id = 1;
  request.device = {8, 1234};
  request.object = {0, 1};
  request.values = v_property_value(85, v_real(21.5f));
  std::string hex = hex_of_record(request, pdu_encode_confirmed_cov_notification_request);
  EXPECT_EQ(hex, "09 01 1C 02 00 04 D2 2C 00 00 00 01 39 00 4E 09 55 2E 44 41 AC 00 00 2F 4F");
  EXPECT_EQ(hex_of_record(request, pdu_encode_unconfirmed_cov_notification_request), hex);
  CovNotificationRequest back;
  Received in(hex);
  ASSERT_EQ(pdu_decode_cov_notification_request(&in.buffer, &back), 0);
  EXPECT_EQ(back.values.tag, TAG_PROPERTY_VALUE);
  pdu_free_cov_notification_request(&back);
  pdu_free_cov_notification_request(&request);
  request.values = v_real(21.5f);
  EXPECT_EQ(hex_of_record(request, pdu_encode_confirmed_cov_notification_request), "failed")
      << "a value that is no property value is not sent as an empty list";
  pdu_free_cov_notification_request(&request);
  Received bad_priority("09 01 1C 02 00 04 D2 2C 00 00 00 01 39 00 4E 09 55 2E 44 41 AC 00 00 2F 39 00 4F");
  EXPECT_EQ(pdu_decode_cov_notification_request(&bad_priority.buffer, &back), PDU_MALFORMED);
  pdu_free_cov_notification_request(&back);
}

// ---- Objects and lists -----------------------------------------------------------------------

TEST(CreateObject, SpecifierAloneAndTheChoiceRules)
{
  Owned<CreateObjectRequest, pdu_free_create_object_request> back;
  back->initial_values = v_unsigned(7);
  Received type_only("0E 09 00 0F");
  ASSERT_EQ(pdu_decode_create_object_request(&type_only.buffer, back.get()), 0);
  EXPECT_EQ(back->choice, 0);
  EXPECT_EQ(back->object_type, 0u);
  EXPECT_EQ(back->initial_values.tag, TAG_UNSIGNED) << "no initial values: the field keeps what was prepared";
  Received unopened("09 00");
  EXPECT_EQ(pdu_decode_create_object_request(&unopened.buffer, back.get()), PDU_MALFORMED);
  Received bad_value("0E 09 0A 0F 1E 09 4D 2E 73 00 41 42 2F 39 00 1F");
  EXPECT_EQ(pdu_decode_create_object_request(&bad_value.buffer, back.get()), PDU_MALFORMED)
      << "a failing initial value fails the request";

  Owned<CreateObjectRequest, pdu_free_create_object_request> request;
  EXPECT_EQ(hex_of_record(*request, pdu_encode_create_object_request), "failed") << "no specifier chosen";
  request->choice = 1;
  request->object = {10, 6};
  request->initial_values = v_real(1.0f);
  EXPECT_EQ(hex_of_record(*request, pdu_encode_create_object_request), "failed");

  BACnetObjectId id{};
  Received context("0C 02 80 00 06");
  ASSERT_EQ(pdu_decode_create_object_ack(&context.buffer, &id), 0);
  EXPECT_EQ(id.instance, 6u);
}

TEST(ListElement, AnyValueIsWrittenAndReadByItsProperty)
{
  ListElementRequest request;
  request.object = {8, 1234};
  request.property = 76;
  request.elements = v_list(TAG_OBJECT_ID_LIST, {v_object(10, 6)});
  std::string hex = hex_of_record(request, pdu_encode_list_element_request);
  EXPECT_EQ(hex, "0C 02 00 04 D2 19 4C 3E C4 02 80 00 06 3F") << "a decoded list goes back out whole";
  pdu_free_list_element_request(&request);
  EXPECT_EQ(hex_of_record(request, pdu_encode_list_element_request), "0C 02 00 04 D2 19 4C 3E 3F");
  Owned<ListElementRequest, pdu_free_list_element_request> back;
  Received in(hex);
  ASSERT_EQ(pdu_decode_list_element_request(&in.buffer, back.get()), 0);
  EXPECT_EQ(back->elements.tag, TAG_OBJECT_ID_LIST);
}

TEST(WritePropertyMultiple, OneSpecificationStaysSingleTwoBecomeAList)
{
  const std::string one = "0C 00 80 00 03 1E 09 55 2E 44 41 AC 00 00 2F 39 08 1F";
  Owned<WritePropertyMultipleRequest, pdu_free_write_property_multiple_request> back;
  Received single(one);
  ASSERT_EQ(pdu_decode_write_property_multiple_request(&single.buffer, back.get()), 0);
  EXPECT_EQ(back->specifications.tag, TAG_WRITE_ACCESS_SPECIFICATION);
  Received two(one + " 0C 02 00 04 D2 1E 09 4D 2E 73 00 41 42 2F 1F");
  ASSERT_EQ(pdu_decode_write_property_multiple_request(&two.buffer, back.get()), 0);
  ASSERT_EQ(back->specifications.tag, TAG_WRITE_ACCESS_SPECIFICATION_LIST);
  EXPECT_EQ(value_array(&back->specifications)->used, 2u);
  Received empty("");
  EXPECT_EQ(pdu_decode_write_property_multiple_request(&empty.buffer, back.get()), PDU_MALFORMED);
  Received not_object("1C 00 80 00 03 1E 1F");
  EXPECT_EQ(pdu_decode_write_property_multiple_request(&not_object.buffer, back.get()), PDU_MALFORMED);
  Owned<WritePropertyMultipleRequest, pdu_free_write_property_multiple_request> nothing;
  EXPECT_EQ(hex_of_record(*nothing, pdu_encode_write_property_multiple_request), "failed");
  nothing->specifications = v_list(TAG_WRITE_ACCESS_SPECIFICATION_LIST, {});
  EXPECT_EQ(hex_of_record(*nothing, pdu_encode_write_property_multiple_request), "");
}

TEST(ReadPropertyConditional, EmptyCriteriaListAndCriteriaInOrder)
{
  ReadPropertyConditionalRequest request;
  request.criteria = v_list(TAG_SELECTION_CRITERIA_LIST, {});
  EXPECT_EQ(hex_of_record(request, pdu_encode_read_property_conditional_request), "0E 09 00 1E 1F 0F");
  pdu_free_read_property_conditional_request(&request);
  EXPECT_EQ(hex_of_record(request, pdu_encode_read_property_conditional_request), "0E 09 00 0F");
  request.criteria = v_list(TAG_SELECTION_CRITERIA_LIST,
                            {v_record<PropertyCondition>([](PropertyCondition& c) { c = {85, -1, 3, v_real(20.0f)}; }),
                             v_record<PropertyCondition>([](PropertyCondition& c) { c = {36, -1, 0, v_enum(3)}; })});
  EXPECT_EQ(hex_of_record(request, pdu_encode_read_property_conditional_request),
            "0E 09 00 1E 09 55 29 03 3E 44 41 A0 00 00 3F 09 24 29 00 3E 91 03 3F 1F 0F");
  pdu_free_read_property_conditional_request(&request);
  request.criteria = v_real(1.0f);
  EXPECT_EQ(hex_of_record(request, pdu_encode_read_property_conditional_request), "failed");
  pdu_free_read_property_conditional_request(&request);

  ReadPropertyConditionalAck ack;
  Received none("");
  EXPECT_EQ(pdu_decode_read_property_conditional_ack(&none.buffer, &ack), 0) << "no object met the conditions";
  EXPECT_EQ(ack.results.count, 0u);
}

TEST(ReadRange, RangesAndTheUnknownRange)
{
  ReadRangeRequest request{{20, 1}, 131, -1, RANGE_BY_POSITION, 1, {}, {}, 10};
  EXPECT_EQ(hex_of_record(request, pdu_encode_read_range_request), "0C 05 00 00 01 19 83 3E 21 01 31 0A 3F");
  request.range = 6;
  EXPECT_EQ(hex_of_record(request, pdu_encode_read_range_request), "failed");
  ReadRangeRequest back;
  back.range = 3;
  Received unknown("0C 05 00 00 01 19 83 8E 8F");
  ASSERT_EQ(pdu_decode_read_range_request(&unknown.buffer, &back), 0);
  EXPECT_EQ(back.range, uint32_t(RANGE_NONE));
  Received unclosed("0C 05 00 00 01 19 83 3E 21 01 31 0A");
  EXPECT_EQ(pdu_decode_read_range_request(&unclosed.buffer, &back), PDU_MALFORMED);
}

TEST(ReadRange, FirstSequenceNumberOnlyWithItems)
{
  ReadRangeAck ack;
  ack.object = {20, 1};
  ack.property = 131;
  ack.result_flags = {1, 1, 0};
  ack.first_sequence = 9;
  EXPECT_EQ(hex_of_record(ack, pdu_encode_read_range_ack), "0C 05 00 00 01 19 83 3A 05 C0 49 00 5E 5F");
  Owned<ReadRangeAck, pdu_free_read_range_ack> back;
  back->first_sequence = 4;
  Received in("0C 05 00 00 01 19 83 3A 05 C0 49 00 5E 5F");
  ASSERT_EQ(pdu_decode_read_range_ack(&in.buffer, back.get()), 0);
  EXPECT_EQ(back->first_sequence, 0u);
  EXPECT_EQ(back->result_flags, (std::vector<uint8_t>{1, 1, 0}));
  ASSERT_EQ(back->items.tag, TAG_LOG_BUFFER);
  EXPECT_EQ(value_array(&back->items)->used, 0u);
}

// ---- Device management and messages ----------------------------------------------------------

TEST(DeviceCommunicationControl, AbsentDurationAndPasswordAreLeftOut)
{
  Owned<DeviceCommunicationControlRequest, pdu_free_device_communication_control_request> request;
  request->enable_disable = 1;
  EXPECT_EQ(hex_of_record(*request, pdu_encode_device_communication_control_request), "19 01")
      << "a missing password must not go out as a NULL";
  request->password = v_unsigned(3);
  EXPECT_EQ(hex_of_record(*request, pdu_encode_device_communication_control_request), "19 01");
  value_free(&request->password);
  request->duration = 0;
  request->password = v_text("KELDOR");
  std::string hex = hex_of_record(*request, pdu_encode_device_communication_control_request);
  EXPECT_EQ(hex, "09 00 19 01 2D 07 00 4B 45 4C 44 4F 52");
  Owned<DeviceCommunicationControlRequest, pdu_free_device_communication_control_request> back;
  back->duration = -1;
  Received without_duration("19 00");
  ASSERT_EQ(pdu_decode_device_communication_control_request(&without_duration.buffer, back.get()), 0);
  EXPECT_EQ(back->duration, -1);
  EXPECT_EQ(back->password.tag, TAG_NULL);
  Received in(hex);
  ASSERT_EQ(pdu_decode_device_communication_control_request(&in.buffer, back.get()), 0);
  EXPECT_EQ(back->duration, 0);
  EXPECT_STREQ(back->password.payload.text, "KELDOR");
}

TEST(Authenticate, AbsentNameAndPasswordAreLeftOut)
{
  Owned<AuthenticateRequest, pdu_free_authenticate_request> request;
  request->pseudo_random = 5;
  request->expected_invoke_id = 7;
  EXPECT_EQ(hex_of_record(*request, pdu_encode_authenticate_request), "09 05 19 07 49 00");
  request->operator_name = v_text("a");
  request->operator_password = v_text("b");
  EXPECT_EQ(hex_of_record(*request, pdu_encode_authenticate_request), "09 05 19 07 2A 00 61 3A 00 62 49 00");
  AuthenticateAck ack;
  Received in("22 30 3A");
  ASSERT_EQ(pdu_decode_authenticate_ack(&in.buffer, &ack), 0);
  EXPECT_EQ(ack.modified_random, 12346u);
}

TEST(TextMessage, ClassIsOptionalBothWays)
{
  Owned<TextMessageRequest, pdu_free_text_message_request> back;
  Received numeric("0C 02 00 04 D2 1E 09 05 1F 29 00 3B 00 48 69");
  ASSERT_EQ(pdu_decode_text_message_request(&numeric.buffer, back.get()), 0);
  EXPECT_EQ(back->class_choice, MESSAGE_CLASS_NUMERIC);
  EXPECT_EQ(back->message_class.payload.unsigned_value, 5u);
  Received without_class("0C 02 00 04 D2 29 00 3B 00 48 69");
  ASSERT_EQ(pdu_decode_text_message_request(&without_class.buffer, back.get()), 0);
  EXPECT_EQ(back->class_choice, MESSAGE_CLASS_NONE);
  EXPECT_STREQ(back->message.payload.text, "Hi");
  Received stray("0C 02 00 04 D2 4E 4F 29 00 3B 00 48 69");
  EXPECT_EQ(pdu_decode_text_message_request(&stray.buffer, back.get()), PDU_MALFORMED);
  Received date_for_message("0C 02 00 04 D2 29 00 A4 7A 0C 09 03");
  EXPECT_EQ(pdu_decode_text_message_request(&date_for_message.buffer, back.get()), PDU_MALFORMED)
      << "an application-tagged Date in place of the message [3]";

  TextMessageRequest request;
  request.source = {8, 1234};
  request.message = v_text("Hi");
  EXPECT_EQ(hex_of_record(request, pdu_encode_text_message_request), "0C 02 00 04 D2 29 00 3B 00 48 69");
  request.class_choice = MESSAGE_CLASS_NUMERIC;
  request.message_class = v_text("5");
  EXPECT_EQ(hex_of_record(request, pdu_encode_text_message_request), "failed") << "a class of the wrong type";
  request.class_choice = 2;
  EXPECT_EQ(hex_of_record(request, pdu_encode_text_message_request), "failed") << "an unknown class choice";
  pdu_free_text_message_request(&request);
  request.class_choice = MESSAGE_CLASS_NONE;
  EXPECT_EQ(hex_of_record(request, pdu_encode_text_message_request), "failed") << "no message";
}

TEST(PrivateTransfer, NullParametersAndTheRequiredErrorParameters)
{
  PrivateTransferRequest request{260, 1, {}};
  EXPECT_EQ(hex_of_record(request, pdu_encode_private_transfer_request), "0A 01 04 19 01 2E 00 2F");
  PrivateTransferRequest back;
  Received without("0A 01 04 19 01");
  ASSERT_EQ(pdu_decode_private_transfer(&without.buffer, &back), 0);
  EXPECT_EQ(back.parameters.tag, TAG_NULL);

  Owned<ErrorParameters, pdu_free_error> error(ErrorParameters{SERVICE_CONFIRMED_PRIVATE_TRANSFER, {}});
  Received with_parameters("0E 91 05 91 00 0F 1A 01 04 29 01 3E 21 09 3F");
  ASSERT_EQ(pdu_decode_error(&with_parameters.buffer, error.get()), 0);
  EXPECT_EQ(error->vendor_id, 260u);
  EXPECT_EQ(error->parameters.payload.unsigned_value, 9u);
  Received ends_after_service("0E 91 05 91 00 0F 1A 01 04 29 01");
  EXPECT_EQ(pdu_decode_error(&ends_after_service.buffer, error.get()), PDU_MALFORMED);
}

TEST(ErrorParameters, SpecialFormsOfTheListAndObjectServices)
{
  for (uint8_t choice : {8, 9, 10}) {
    ErrorParameters error{choice, {2, 37}};
    error.first_failed_element = 3;
    EXPECT_EQ(hex_of_record(error, pdu_encode_error), "0E 91 02 91 25 0F 19 03") << int(choice);
  }
  ErrorParameters plain_read{SERVICE_ADD_LIST_ELEMENT, {}};
  Received plain("91 02 91 25");
  EXPECT_EQ(pdu_decode_error(&plain.buffer, &plain_read), PDU_MALFORMED) << "the list services answer with [0]{ }";
  ErrorParameters vt{SERVICE_VT_CLOSE, {}};
  Received without_sessions("0E 91 06 91 00 0F");
  ASSERT_EQ(pdu_decode_error(&without_sessions.buffer, &vt), 0);
  EXPECT_TRUE(vt.vt_sessions.empty());
}

}  // namespace
