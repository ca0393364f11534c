// Service parameters: exact octets, round trips and the refusals of malformed input.
#include "bacnet/codec/codec_acks.h"
#include "bacnet/value/value.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

template <class Record, class Encode>
std::string hex_of_request(const Record& record, Encode encode)
{
  Encoded e;
  if (encode(&e.buffer, &record) != 0)
    return "failed";
  return e.hex();
}

TEST(WhoIs, RangesAndTheLoneLowLimit)
{
  EXPECT_EQ(hex_of_request(WhoIsRequest{-1, -1}, pdu_encode_who_is_request), "");
  EXPECT_EQ(hex_of_request(WhoIsRequest{5, 10}, pdu_encode_who_is_request), "09 05 19 0A");
  EXPECT_EQ(hex_of_request(WhoIsRequest{5, -1}, pdu_encode_who_is_request), "09 05 1B 3F FF FF")
      << "a low limit alone goes out with the highest instance";
}

TEST(WhoIs, DecodesRangesAndTreatsALoneHighLimitAsAll)
{
  WhoIsRequest request{7, 7};
  Received lone_high("19 0A");
  ASSERT_EQ(pdu_decode_who_is_request(&lone_high.buffer, &request), 0);
  EXPECT_EQ(request.low_limit, -1);
  EXPECT_EQ(request.high_limit, -1);
  Received range("09 05 1B 3F FF FF");
  ASSERT_EQ(pdu_decode_who_is_request(&range.buffer, &request), 0);
  EXPECT_EQ(request.low_limit, 5);
  EXPECT_EQ(request.high_limit, 4194303);
  Received cut("09");
  EXPECT_EQ(pdu_decode_who_is_request(&cut.buffer, &request), PDU_MALFORMED);
}

TEST(IAm, ExactOctetsAndMistaggedFields)
{
  IAmRequest iam{{8, 1234}, 480, 3, 0};
  EXPECT_EQ(hex_of_request(iam, pdu_encode_iam_request), "C4 02 00 04 D2 22 01 E0 91 03 21 00");
  IAmRequest back;
  Received in("C4 02 00 04 D2 22 01 E0 91 03 21 00");
  ASSERT_EQ(pdu_decode_iam_request(&in.buffer, &back), 0);
  EXPECT_EQ(back.device.instance, 1234u);
  EXPECT_EQ(back.max_apdu, 480u);
  EXPECT_EQ(back.segmentation, 3u);
  Received mistagged("C4 02 00 04 D2 92 01 E0 91 03 21 00");
  EXPECT_EQ(pdu_decode_iam_request(&mistagged.buffer, &back), PDU_MALFORMED);
  Received cut("C4 02 00 04 D2 22 01 E0 91 03");
  EXPECT_EQ(pdu_decode_iam_request(&cut.buffer, &back), PDU_MALFORMED);
}

TEST(WhoHas, ByIdentifierAndByName)
{
  WhoHasRequest by_id;
  by_id.choice = 0;
  by_id.object = {10, 1};
  EXPECT_EQ(hex_of_request(by_id, pdu_encode_who_has_request), "09 00 1B 3F FF FF 2C 02 80 00 01");
  WhoHasRequest by_name;
  by_name.low_limit = 1;
  by_name.high_limit = 9;
  by_name.choice = 1;
  by_name.object_name = "File 1";
  std::string hex = hex_of_request(by_name, pdu_encode_who_has_request);
  EXPECT_EQ(hex, "09 01 19 09 3D 07 00 46 69 6C 65 20 31");
  WhoHasRequest back;
  Received in(hex);
  ASSERT_EQ(pdu_decode_who_has_request(&in.buffer, &back), 0);
  EXPECT_EQ(back.choice, 1);
  EXPECT_EQ(back.object_name, "File 1");
  Received no_limits("2C 02 80 00 01");
  ASSERT_EQ(pdu_decode_who_has_request(&no_limits.buffer, &back), 0);
  EXPECT_EQ(back.low_limit, 0u);
  EXPECT_EQ(back.high_limit, 4194303u);
  EXPECT_EQ(back.choice, 0);
}

TEST(IHave, RoundTrip)
{
  IHaveRequest ihave{{8, 1234}, {10, 1}, "File 1"};
  std::string hex = hex_of_request(ihave, pdu_encode_ihave_request);
  EXPECT_EQ(hex, "C4 02 00 04 D2 C4 02 80 00 01 75 07 00 46 69 6C 65 20 31");
  IHaveRequest back;
  Received in(hex);
  ASSERT_EQ(pdu_decode_ihave_request(&in.buffer, &back), 0);
  EXPECT_EQ(back.object.type, 10u);
  EXPECT_EQ(back.object_name, "File 1");
}

TEST(ReadProperty, ExactOctetsAndTrailingOctet)
{
  ReadPropertyRequest request{{8, 1234}, 76, -1};
  EXPECT_EQ(hex_of_request(request, pdu_encode_read_property_request), "0C 02 00 04 D2 19 4C");
  request.array_index = 0;
  EXPECT_EQ(hex_of_request(request, pdu_encode_read_property_request), "0C 02 00 04 D2 19 4C 29 00");
  ReadPropertyRequest back;
  Received trailing("0C 02 00 04 D2 19 4C 00");
  EXPECT_EQ(pdu_decode_read_property_request(&trailing.buffer, &back), 1);
  Received plain("0C 02 00 04 D2 19 4C");
  ASSERT_EQ(pdu_decode_read_property_request(&plain.buffer, &back), 0);
  EXPECT_EQ(back.array_index, -1);
  EXPECT_EQ(back.property, 76u);
  Received wrong_tag("0C 02 00 04 D2 29 4C");
  EXPECT_EQ(pdu_decode_read_property_request(&wrong_tag.buffer, &back), PDU_MALFORMED);
}

TEST(ReadPropertyMultiple, RoundTripAndFirstOctetRule)
{
  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> request;
  ReadAccessSpecification spec{};
  spec.object = {8, 1234};
  BACnetPropertyReference name{77, -1}, list{76, 2};
  inline_list_add(&spec.references, &name);
  inline_list_add(&spec.references, &list);
  inline_list_add(&request->specifications, &spec);
  std::string hex = hex_of_request(*request, pdu_encode_read_property_multiple_request);
  EXPECT_EQ(hex, "0C 02 00 04 D2 1E 09 4D 09 4C 19 02 1F");

  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> back;
  Received in(hex + " 0C 02 80 00 01 1E 09 55 1F");
  ASSERT_EQ(pdu_decode_read_property_multiple_request(&in.buffer, back.get()), 0);
  ASSERT_EQ(back->specifications.count, 2u);
  ReadAccessSpecification* first = inline_list_get(&back->specifications, 0);
  ASSERT_EQ(first->references.count, 2u);
  EXPECT_EQ(inline_list_get(&first->references, 1)->array_index, 2);
  EXPECT_EQ(inline_list_get(&back->specifications, 1)->object.type, 10u);

  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> bad;
  Received not_object("1C 02 00 04 D2 1E 09 4D 1F");
  EXPECT_EQ(pdu_decode_read_property_multiple_request(&not_object.buffer, bad.get()), PDU_MALFORMED);
  Received empty("");
  EXPECT_EQ(pdu_decode_read_property_multiple_request(&empty.buffer, bad.get()), PDU_MALFORMED);
  Received unclosed("0C 02 00 04 D2 1E 09 4D");
  EXPECT_EQ(pdu_decode_read_property_multiple_request(&unclosed.buffer, bad.get()), PDU_MALFORMED);
}

TEST(WriteProperty, PriorityRangeAndValue)
{
  WritePropertyRequest request;
  request.object = {2, 3};
  request.property = 85;
  request.value.tag = TAG_REAL;
  request.value.payload.real = 72.5f;
  request.priority = 8;
  std::string hex = hex_of_request(request, pdu_encode_write_property_request);
  EXPECT_EQ(hex, "0C 00 80 00 03 19 55 3E 44 42 91 00 00 3F 49 08");

  Owned<WritePropertyRequest, pdu_free_write_property_request> back;
  Received in(hex);
  ASSERT_EQ(pdu_decode_write_property_request(&in.buffer, back.get()), 0);
  EXPECT_EQ(back->priority, 8u);
  EXPECT_EQ(back->value.tag, TAG_REAL);
  EXPECT_FLOAT_EQ(back->value.payload.real, 72.5f);
  Received no_priority("0C 00 80 00 03 19 55 3E 44 42 91 00 00 3F");
  ASSERT_EQ(pdu_decode_write_property_request(&no_priority.buffer, back.get()), 0);
  EXPECT_EQ(back->priority, 0u);
  Received zero("0C 00 80 00 03 19 55 3E 44 42 91 00 00 3F 49 00");
  EXPECT_EQ(pdu_decode_write_property_request(&zero.buffer, back.get()), PDU_MALFORMED);
  Received seventeen("0C 00 80 00 03 19 55 3E 44 42 91 00 00 3F 49 11");
  EXPECT_EQ(pdu_decode_write_property_request(&seventeen.buffer, back.get()), PDU_MALFORMED);
}

TEST(AtomicReadFile, RequestForTheFirstBlock)
{
  AtomicReadFileRequest request{{10, 1}, FILE_ACCESS_STREAM, 0, 146};
  EXPECT_EQ(hex_of_request(request, pdu_encode_atomic_read_file_request), "C4 02 80 00 01 0E 31 00 21 92 0F");
  AtomicReadFileRequest back;
  Received in("C4 02 80 00 01 0E 31 00 21 92 0F");
  ASSERT_EQ(pdu_decode_atomic_read_file_request(&in.buffer, &back), 0);
  EXPECT_EQ(back.file.instance, 1u);
  EXPECT_EQ(back.access, uint32_t(FILE_ACCESS_STREAM));
  EXPECT_EQ(back.count, 146u);
  request.access = FILE_ACCESS_RECORD;
  request.start = 2;
  request.count = 1;
  EXPECT_EQ(hex_of_request(request, pdu_encode_atomic_read_file_request), "C4 02 80 00 01 1E 31 02 21 01 1F");
}

TEST(AtomicReadFile, AccessOtherThanStreamOrRecordIsRefused)
{
  AtomicReadFileRequest request{{10, 1}, 7, 0, 146};
  EXPECT_EQ(hex_of_request(request, pdu_encode_atomic_read_file_request), "failed");
  AtomicReadFileRequest back;
  Received in("C4 02 80 00 01 2E 31 00 21 92 2F");
  EXPECT_EQ(pdu_decode_atomic_read_file_request(&in.buffer, &back), PDU_MALFORMED);
  AtomicReadFileAck ack;
  Received answer("11 2E 31 00 63 01 02 03 2F");
  EXPECT_EQ(pdu_decode_atomic_read_file_ack(&answer.buffer, &ack), PDU_MALFORMED);
  AtomicWriteFileAck write_ack;
  Received write_answer("29 00");
  EXPECT_EQ(pdu_decode_atomic_write_file_ack(&write_answer.buffer, &write_ack), PDU_MALFORMED);
}

TEST(AtomicReadFile, AcknowledgementOfThreeOctets)
{
  AtomicReadFileAck ack;
  ack.end_of_file = true;
  ack.data = {1, 2, 3};
  EXPECT_EQ(hex_of_request(ack, pdu_encode_atomic_read_file_ack), "11 0E 31 00 63 01 02 03 0F");
  AtomicReadFileAck back;
  Received in("11 0E 31 00 63 01 02 03 0F");
  ASSERT_EQ(pdu_decode_atomic_read_file_ack(&in.buffer, &back), 0);
  EXPECT_TRUE(back.end_of_file);
  EXPECT_EQ(back.data, (std::vector<uint8_t>{1, 2, 3}));
  Received short_data("11 0E 31 00 64 01 02 03 0F");
  EXPECT_EQ(pdu_decode_atomic_read_file_ack(&short_data.buffer, &back), PDU_MALFORMED);
  Received record("10 1E 31 04 21 01 62 0A 0B 1F");
  ASSERT_EQ(pdu_decode_atomic_read_file_ack(&record.buffer, &back), 0);
  EXPECT_EQ(back.access, uint32_t(FILE_ACCESS_RECORD));
  EXPECT_EQ(back.start, 4);
  EXPECT_EQ(back.record_count, 1u);
  EXPECT_EQ(back.data, (std::vector<uint8_t>{0x0A, 0x0B}));
}

TEST(AtomicWriteFile, RequestAndAcknowledgement)
{
  AtomicWriteFileRequest request;
  request.file = {10, 4};
  request.data = {0x10, 0x20};
  std::string hex = hex_of_request(request, pdu_encode_atomic_write_file_request);
  EXPECT_EQ(hex, "C4 02 80 00 04 0E 31 00 62 10 20 0F");
  AtomicWriteFileRequest back;
  Received in(hex);
  ASSERT_EQ(pdu_decode_atomic_write_file_request(&in.buffer, &back), 0);
  EXPECT_EQ(back.data, request.data);

  EXPECT_EQ(hex_of_request(AtomicWriteFileAck{FILE_ACCESS_STREAM, 0}, pdu_encode_atomic_write_file_ack), "09 00");
  AtomicWriteFileAck ack;
  Received stream("09 00");
  ASSERT_EQ(pdu_decode_atomic_write_file_ack(&stream.buffer, &ack), 0);
  EXPECT_EQ(ack.access, uint32_t(FILE_ACCESS_STREAM));
  EXPECT_EQ(ack.start, 0);
  Received record("19 05");
  ASSERT_EQ(pdu_decode_atomic_write_file_ack(&record.buffer, &ack), 0);
  EXPECT_EQ(ack.access, uint32_t(FILE_ACCESS_RECORD));
  EXPECT_EQ(ack.start, 5);
}

TEST(ReadPropertyAck, ObjectNameAndIndex)
{
  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  ack->object = {8, 1234};
  ack->property = 77;
  value_set_charstring("abc", &ack->value);
  EXPECT_EQ(hex_of_request(*ack, pdu_encode_read_property_ack), "0C 02 00 04 D2 19 4D 3E 74 00 61 62 63 3F");
  ack->array_index = 0;
  EXPECT_EQ(hex_of_request(*ack, pdu_encode_read_property_ack), "0C 02 00 04 D2 19 4D 29 00 3E 74 00 61 62 63 3F");

  Owned<ReadPropertyAck, pdu_free_read_property_ack> back;
  Received in("0C 02 00 04 D2 19 4D 3E 74 00 61 62 63 3F");
  ASSERT_EQ(pdu_decode_read_property_ack(&in.buffer, back.get()), 0);
  EXPECT_EQ(back->array_index, -1);
  ASSERT_EQ(back->value.tag, TAG_CHARACTER_STRING);
  EXPECT_STREQ(back->value.payload.text, "abc");
}

TEST(ReadPropertyMultipleAck, ValuesAndErrorsRoundTrip)
{
  const std::string hex =
      "0C 02 00 04 D2 1E 29 4D 4E 74 00 61 62 63 4F 29 55 5E 91 02 91 20 5F 1F";
  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> ack;
  Received in(hex);
  ASSERT_EQ(pdu_decode_read_property_multiple_ack(&in.buffer, ack.get()), 0);
  ASSERT_EQ(ack->results.count, 1u);
  ReadAccessResult* result = inline_list_get(&ack->results, 0);
  ASSERT_EQ(result->results.count, 2u);
  ReadAccessResultElement* name = inline_list_get(&result->results, 0);
  EXPECT_EQ(name->choice, 0u);
  EXPECT_STREQ(name->value.payload.text, "abc");
  ReadAccessResultElement* missing = inline_list_get(&result->results, 1);
  EXPECT_EQ(missing->choice, 1u);
  EXPECT_EQ(missing->error_class, 2u);
  EXPECT_EQ(missing->error_code, 32u);
  EXPECT_EQ(hex_of_request(*ack, pdu_encode_read_property_multiple_ack), hex);

  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> bad;
  Received wrong_start("09 4D 1E 1F");
  EXPECT_EQ(pdu_decode_read_property_multiple_ack(&wrong_start.buffer, bad.get()), PDU_MALFORMED);
}

TEST(ErrorParameters, PlainErrorAlsoBeyondTheKnownChoices)
{
  ErrorParameters error{12, {2, 32}};
  EXPECT_EQ(hex_of_request(error, pdu_encode_error), "91 02 91 20");
  ErrorParameters back{6, {}};
  Received in("91 02 91 20");
  ASSERT_EQ(pdu_decode_error(&in.buffer, &back), 0);
  EXPECT_EQ(back.error.error_class, 2u);
  EXPECT_EQ(back.error.error_code, 32u);
  // Peers read an empty error as malformed: later services answer with the plain pair.
  ErrorParameters beyond{27, {1, 1}};
  EXPECT_EQ(hex_of_request(beyond, pdu_encode_error), "91 01 91 01");
  for (uint8_t choice : {21, 23, 25, 27, 29, 40}) {
    Received plain("91 02 91 20");
    ErrorParameters read{choice, {}};
    EXPECT_EQ(pdu_decode_error(&plain.buffer, &read), 0) << int(choice);
    EXPECT_EQ(read.error.error_code, 32u);
  }
  Received cut("91 02");
  back.service_choice = 12;
  EXPECT_EQ(pdu_decode_error(&cut.buffer, &back), PDU_MALFORMED);
}

}  // namespace
