#include "client_fixture.h"

#include "bacnet/codec/codec_object_services.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <cstdlib>

using namespace clienttest;

namespace {

using Answer = std::optional<std::vector<uint8_t>>;

bool is_request(const Frame& f) { return f.apdu.size() >= 4 && (f.apdu[0] >> 4) == 0; }

std::vector<uint8_t> header(uint8_t type, const Frame& f) { return {type, f.apdu[2], f.apdu[3]}; }

std::vector<uint8_t> with(std::vector<uint8_t> head, const std::vector<uint8_t>& data)
{
  head.insert(head.end(), data.begin(), data.end());
  return head;
}

std::vector<uint8_t> name_ack(const char* text)
{
  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  ack->object = {8, 1234};
  ack->property = 77;
  value_set_charstring(text, &ack->value);
  std::vector<uint8_t> data = encoded(pdu_encode_read_property_ack, *ack);
  return data;
}

// Answers every request of the call with the same PDU built from it.
std::function<Answer(const Frame&)> answer_with(std::function<std::vector<uint8_t>(const Frame&)> build)
{
  return [build](const Frame& f) -> Answer {
    if (!is_request(f))
      return std::nullopt;
    return build(f);
  };
}

class BlockingCalls : public ClientStack {
protected:
  void SetUp() override
  {
    ClientStack::SetUp();
    i_am(1234, peer);
    take();
  }

  // A blocking ReadProperty of the object name of device 1234.
  void read_name(client_calls::ReadPropertyRequest* call, const std::function<Answer(const Frame&)>& respond,
                 const std::function<void()>& per_pass = {})
  {
    call->device_instance = 1234;
    call->request.object = {8, 1234};
    call->request.property = 77;
    run_call([&] { call->Call(); }, respond, per_pass);
  }
};

TEST_F(BlockingCalls, ReadPropertyReturnsTheValue)
{
  client_calls::ReadPropertyRequest call;
  call.error.status = 77;  // whatever the caller left there: the call starts from "no error"
  read_name(&call, answer_with([](const Frame& f) { return with(header(0x30, f), name_ack("ZOR17 Raum")); }));
  EXPECT_TRUE(call.succeeded());
  ASSERT_EQ(call.answer.value.tag, TAG_CHARACTER_STRING);
  EXPECT_STREQ(call.answer.value.payload.text, "ZOR17 Raum");
  EXPECT_EQ(call.answer.property, 77u);
}

TEST_F(BlockingCalls, ErrorComesBackWithItsClassAndCode)
{
  client_calls::ReadPropertyRequest call;
  read_name(&call, answer_with([](const Frame& f) { return with(header(0x50, f), hex("91 02 91 20")); }));
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, 2u);
  EXPECT_EQ(call.error.error_code, 32u);
}

TEST_F(BlockingCalls, RejectAndAbortEndTheCallAsServicesOther)
{
  for (uint8_t type : {0x60, 0x71}) {
    client_calls::ReadPropertyRequest call;
    read_name(&call, answer_with([type](const Frame& f) { return std::vector<uint8_t>{type, f.apdu[2], 9}; }));
    EXPECT_EQ(call.error.status, 12) << int(type);
    EXPECT_EQ(call.error.error_class, kErrorClassServices);
    EXPECT_EQ(call.error.error_code, kErrorOther);
  }
}

TEST_F(BlockingCalls, SilentPeerEndsTheCallAfterTheTransactionsRetries)
{
  client_calls::ReadPropertyRequest call;
  read_name(&call, nullptr, [this] { clock.advance_ms(100); });
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, kErrorClassServices);
  EXPECT_EQ(call.error.error_code, kErrorOther);
  // The application layer's one retry: the request went out twice.
  int requests = 0;
  for (const Frame& f : sent)
    requests += is_request(f);
  EXPECT_EQ(requests, 2);
}

TEST_F(BlockingCalls, ComplexAckOfAnotherServiceIsNotReadIntoTheAnswer)
{
  client_calls::ReadPropertyRequest call;
  read_name(&call, answer_with([](const Frame& f) {
              std::vector<uint8_t> ack = {0x30, f.apdu[2], 6};  // an AtomicReadFile acknowledgement
              return with(ack, hex("10 C4 02 80 00 01 65 03 41 42 43 11"));
            }));
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_code, kErrorOther);
  EXPECT_EQ(call.answer.value.tag, TAG_NULL);
}

TEST_F(BlockingCalls, UndecodableAckIsServicesOther)
{
  client_calls::ReadPropertyRequest call;
  read_name(&call, answer_with([](const Frame& f) { return with(header(0x30, f), hex("0C 02")); }));
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, kErrorClassServices);
}

TEST_F(BlockingCalls, WritePropertyAcknowledgedBySimpleAck)
{
  Owned<WritePropertyRequest, pdu_free_write_property_request> request;
  request->object = {8, 1234};
  request->property = 28;
  value_set_charstring("Flur", &request->value);
  ClientCallError error;
  ClientCallRecord record;
  record.device_instance = 1234;
  record.request = request.get();
  record.error = &error;
  run_call([&] { client_call_write_property(&record); }, answer_with([](const Frame& f) { return header(0x20, f); }));
  EXPECT_EQ(error.status, -1);
  EXPECT_EQ(record.acknowledged, 1);
}

TEST_F(BlockingCalls, AtomicReadAndWriteFileThroughTheRequestClasses)
{
  client_calls::AtomicReadFileRequest read;
  read.device_instance = 1234;
  read.request.file = {10, 1};
  read.request.start = 0;
  read.request.count = 3;
  run_call([&] { read.Call(); }, answer_with([](const Frame& f) {
             AtomicReadFileAck ack;
             ack.end_of_file = true;
             ack.data = {0x41, 0x42, 0x43};
             return with(header(0x30, f), encoded(pdu_encode_atomic_read_file_ack, ack));
           }));
  EXPECT_TRUE(read.succeeded());
  EXPECT_EQ(read.answer.data, (std::vector<uint8_t>{0x41, 0x42, 0x43}));
  EXPECT_TRUE(read.answer.end_of_file);

  client_calls::AtomicWriteFileRequest write;
  write.device_instance = 1234;
  write.request.file = {10, 4};
  write.request.start = 2;
  write.request.data = {1, 2};
  run_call([&] { write.Call(); }, answer_with([](const Frame& f) {
             AtomicWriteFileAck ack;
             ack.start = 2;
             return with(header(0x30, f), encoded(pdu_encode_atomic_write_file_ack, ack));
           }));
  EXPECT_TRUE(write.succeeded());
  EXPECT_EQ(write.answer.start, 2);
}

// The services the XML API adds: the created object comes back, and the first failed write of
// WritePropertyMultiple comes with the error.
TEST_F(BlockingCalls, CreateObjectAnswerAndTheFirstFailedWrite)
{
  CreateObjectRequest create;
  create.choice = 0;
  create.object_type = 2;
  BACnetObjectId created{999, 0};
  ClientCallError error;
  ClientCallRecord record;
  record.device_instance = 1234;
  record.request = &create;
  record.answer = &created;
  record.error = &error;
  run_call([&] { client_call_create_object(&record); },
           answer_with([](const Frame& f) { return with(header(0x30, f), hex("C4 00 80 00 07")); }));
  EXPECT_EQ(error.status, -1);
  EXPECT_EQ(created.type, 2u);
  EXPECT_EQ(created.instance, 7u);

  Owned<WritePropertyMultipleRequest, pdu_free_write_property_multiple_request> write;
  value_init(&write->specifications, TAG_WRITE_ACCESS_SPECIFICATION);
  auto* spec = value_record<WriteAccessSpecification>(&write->specifications);
  spec->object = {1, 2};
  value_init(&spec->properties, TAG_PROPERTY_VALUE);
  *value_record<BACnetPropertyValue>(&spec->properties) = {85, -1, {TAG_REAL, {}}, 8};
  record.request = write.get();
  record.answer = nullptr;
  run_call([&] { client_call_write_property_multiple(&record); }, answer_with([](const Frame& f) {
             return with(header(0x50, f), hex("0E 91 02 91 28 0F 1E 0C 00 40 00 02 19 55 1F"));
           }));
  EXPECT_EQ(error.status, 16);
  EXPECT_EQ(error.error_code, 40u);
  EXPECT_EQ(error.failed_write.object.instance, 2u);
  EXPECT_EQ(error.failed_write.property, 85u);
}

TEST_F(BlockingCalls, RefusedSendEndsAtOnce)
{
  client_set_communication_state(kCommunicationDisabled);
  client_calls::ReadPropertyRequest call;
  read_name(&call, nullptr);
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, kErrorClassServices);
  EXPECT_TRUE(sent.empty());
}

TEST_F(BlockingCalls, CallToADeviceNeverBoundFailsWhenItsParkingEnds)
{
  client_calls::ReadPropertyRequest call;
  call.device_instance = 999;
  call.request.object = {8, 999};
  call.request.property = 77;
  testing::internal::CaptureStdout();
  run_call([&] { call.Call(); }, nullptr, [this] { advance(250); });
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, kErrorClassServices);
  EXPECT_EQ(call.error.error_code, kErrorOther);
  for (const Frame& f : sent)
    EXPECT_FALSE(is_request(f)) << hex(f.apdu);
}

TEST_F(BlockingCalls, SafetyTimeoutEndsACallThatNothingCompletes)
{
  // The stack thread stands still: the request stays queued and no transaction ever ends it.
  client_calls::ReadPropertyRequest call;
  call.device_instance = 1234;
  call.request.object = {8, 1234};
  call.request.property = 77;
  std::thread caller([&] { call.Call(); });
  while (application_layer_queued_requests() == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  clock.advance_ms(client_call_safety_timeout_ms());
  caller.join();
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, kErrorClassServices);
  EXPECT_EQ(call.error.error_code, kErrorOther);
  // The transaction ends later; its completion finds the call gone and touches nothing.
  step();
  clock.advance_ms(60000);
  for (int i = 0; i < 5; ++i)
    advance(3000);
  EXPECT_EQ(application_layer_client_count(), 0u);
}

TEST_F(BlockingCalls, StopEndsTheWaitingCallsAndFailsLaterOnesBeforeTheySend)
{
  // The stack thread stands still: only the stop can end these calls. A call to the bound
  // device waits for its transaction, a raw call to device 999 for its binding (its Who-Is is
  // the second request queued).
  client_calls::ReadPropertyRequest call;
  call.device_instance = 1234;
  call.request.object = {8, 1234};
  call.request.property = 77;
  std::thread caller([&] { call.Call(); });
  std::vector<uint8_t> raw_answer;
  std::thread raw([&] { client_raw_confirmed(999, hex("00 05 07 0C 0C 02 00 03 E7 19 4D"), &raw_answer); });
  while (application_layer_queued_requests() < 2 || address_binding_get_device(999, nullptr) != 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  client_call_stop_waits();
  caller.join();
  raw.join();
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, kErrorClassServices);
  EXPECT_EQ(call.error.error_code, kErrorOther);
  EXPECT_EQ(hex(raw_answer), "50 07 0C 91 05 91 00");

  client_calls::ReadPropertyRequest later;
  later.device_instance = 1234;
  std::size_t queued = application_layer_queued_requests();
  later.Call();
  EXPECT_EQ(later.error.status, 12);
  EXPECT_EQ(application_layer_queued_requests(), queued);
  // The next start lets calls wait again.
  client_init(nullptr, 0, 3000);
  client_calls::ReadPropertyRequest again;
  read_name(&again, answer_with([](const Frame& f) { return with(header(0x30, f), name_ack("ZOR17 Raum")); }));
  EXPECT_TRUE(again.succeeded());
}

TEST_F(BlockingCalls, CallersReadTheTimingWhileTheStackChangesIt)
{
  // A Device property write on the stack thread changes the APDU timeout and the retries
  // while callers size their waits from them (the ThreadSanitizer build checks the access).
  auto longest = [] { return client_call_safety_timeout_ms(); };
  application_layer_set_apdu_timeout(3000);
  application_layer_set_apdu_retries(0);
  const int64_t low = longest();
  application_layer_set_apdu_timeout(30000);
  application_layer_set_apdu_retries(10);
  const int64_t high = longest();
  std::atomic<bool> out_of_bounds{false};
  std::thread caller([&] {
    for (int i = 0; i < 2000; ++i)
      if (int64_t t = longest(); t < low || t > high)
        out_of_bounds = true;
  });
  for (int i = 0; i < 2000; ++i) {
    application_layer_set_apdu_timeout(3000 + (i % 10) * 3000);
    application_layer_set_apdu_retries(i % 11);
  }
  caller.join();
  EXPECT_FALSE(out_of_bounds);
}

TEST_F(BlockingCalls, ErrorPartTakesClassAndCodeOnlyForServicesThatCarryThem)
{
  for (int choice = 0; choice < 32; ++choice) {
    ClientCallError e;
    int rc = client_call_set_error(&e, uint8_t(choice), 5, 7);
    EXPECT_EQ(e.status, choice);
    bool carries = choice <= 20 || choice == 24 || choice == 26;
    EXPECT_EQ(e.error_code, carries ? 7u : 0u) << choice;
    EXPECT_EQ(rc, choice == 25 || choice > 26 ? -1 : 0) << choice;
  }
}

// ---- Raw calls ---------------------------------------------------------------------------

TEST_F(BlockingCalls, HexTextIsCheckedBeforeAnythingIsSent)
{
  std::vector<uint8_t> bytes;
  EXPECT_EQ(client_hex_to_bytes("A", &bytes), -1);
  EXPECT_EQ(client_hex_to_bytes("", &bytes), -1);
  EXPECT_EQ(client_hex_to_bytes("0G", &bytes), -1);
  EXPECT_EQ(client_hex_to_bytes("10 08", &bytes), -1);
  EXPECT_EQ(client_hex_to_bytes("1008f", &bytes), 0);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x10, 0x08}));
  char* out = nullptr;
  EXPECT_EQ(client_raw_confirmed_hex(1234, "0", &out), -1);
  EXPECT_EQ(client_raw_unconfirmed_hex("1x08"), -1);
  char* text = client_bytes_to_hex(std::vector<uint8_t>{0x0a, 0xff});
  EXPECT_STREQ(text, "0AFF");
  std::free(text);
}

TEST_F(BlockingCalls, RawConfirmedTakesOnlyWholeConfirmedRequests)
{
  std::vector<uint8_t> answer;
  EXPECT_EQ(client_raw_confirmed(1234, hex("20 01 0C"), &answer), -1);
  EXPECT_EQ(client_raw_confirmed(1234, hex("80 05 01 0C"), &answer), -1);
  EXPECT_EQ(client_raw_confirmed(1234, hex("00 05 01"), &answer), -1);
  EXPECT_EQ(client_raw_confirmed(1234, hex("08 05 01 00 01"), &answer), -1);
  EXPECT_TRUE(answer.empty());
}

TEST_F(BlockingCalls, RawConfirmedHexReturnsTheAnswerApdu)
{
  char* answer = nullptr;
  int rc = -1;
  run_call([&] { rc = client_raw_confirmed_hex(1234, "000501" "0C" "0C020004D2194D", &answer); },
           answer_with([](const Frame& f) { return with(header(0x30, f), name_ack("X")); }));
  ASSERT_EQ(rc, 0);
  ASSERT_TRUE(answer);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(hex(std::span(sent[0].apdu).subspan(3)), "0C 0C 02 00 04 D2 19 4D");
  std::vector<uint8_t> expected = with(header(0x30, sent[0]), name_ack("X"));
  char* expected_hex = client_bytes_to_hex(expected);
  EXPECT_STREQ(answer, expected_hex);
  std::free(answer);
  std::free(expected_hex);
}

TEST_F(BlockingCalls, RawSegmentedFormTakesTheChoiceAtByteFive)
{
  std::vector<uint8_t> answer;
  run_call([&] { client_raw_confirmed(1234, hex("08 05 01 00 01 0C 0C020004D2194D"), &answer); },
           answer_with([](const Frame& f) { return with(header(0x50, f), hex("91 02 91 20")); }));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].apdu[3], 12);
  EXPECT_EQ(hex(answer), hex(with(header(0x50, sent[0]), hex("91 02 91 20"))));
}

// The parameters of a private transfer's Error are read along (a text here) and released.
TEST_F(BlockingCalls, RawPrivateTransferErrorReturnsTheAnswerApdu)
{
  const std::vector<uint8_t> error = hex("0E 91 02 91 20 0F 19 07 29 01 3E 73 00 41 42 3F");
  std::vector<uint8_t> answer;
  run_call([&] { client_raw_confirmed(1234, hex("00 05 01 12 09 07 19 01"), &answer); },
           answer_with([&](const Frame& f) { return with(header(0x50, f), error); }));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].apdu[3], 18);
  EXPECT_EQ(hex(answer), hex(with(header(0x50, sent[0]), error)));
}

TEST_F(BlockingCalls, RawCallWithoutAnswerGetsAnErrorOfClassServices)
{
  std::vector<uint8_t> answer;
  run_call([&] { client_raw_confirmed(1234, hex("00 05 21 0C 0C020004D2194D"), &answer); }, nullptr,
           [this] { clock.advance_ms(100); });
  EXPECT_EQ(hex(answer), "50 21 0C 91 05 91 00");
}

TEST_F(BlockingCalls, RawCallToADeviceThatStaysUnboundTimesOut)
{
  std::vector<uint8_t> answer;
  testing::internal::CaptureStdout();
  run_call([&] { client_raw_confirmed(999, hex("00 05 21 0C 0C020003E7194D"), &answer); }, nullptr,
           [this] { advance(100); });
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(hex(answer), "50 21 0C 91 05 91 1E");
}

TEST_F(BlockingCalls, RawUnconfirmedTakesOnlyUnconfirmedRequests)
{
  EXPECT_EQ(client_raw_unconfirmed(hex("00 08")), -1);
  EXPECT_EQ(client_raw_unconfirmed(hex("80 08")), -1);
  EXPECT_EQ(client_raw_unconfirmed(hex("10")), -1);
  EXPECT_EQ(client_raw_unconfirmed_hex("1008"), 0);
  step();
  EXPECT_EQ(take_hex(), std::vector<std::string>{"10 08"});
}

}  // namespace
