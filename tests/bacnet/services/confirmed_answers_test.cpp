#include "bacnet/value/owned.h"
#include "server_fixture.h"

#include "support/tshark.h"

using namespace servertest;

namespace {

int keep(uint32_t, uint32_t, uint32_t, uint32_t, int32_t, uint8_t, BACnetValue*) { return 0; }
int refuse_second(uint32_t, uint32_t, uint32_t, uint32_t, int32_t, BACnetValue*)
{
  static int calls = 0;
  return ++calls % 2 == 0 ? 20 : 0;
}

class ConfirmedAnswers : public Server {
protected:
  void SetUp() override
  {
    seams.add_list_element = keep;
    seams.remove_list_element = refuse_second;
    Server::SetUp();
    ASSERT_NE(object_CreateObject(kOwn, 2, 1), nullptr);
  }
};

// One answer of every form the handlers give, dissected by Wireshark: none malformed, and each
// read back as the service and error it is.
TEST_F(ConfirmedAnswers, EveryAnswerFormDissectsCleanly)
{
  const std::string device = "02 00 12 67";
  const std::string file1 = "02 80 00 01";
  struct Case {
    uint8_t choice;
    std::string data;
    std::string fields;  // type, service, error class, error code as tshark shows them
  };
  const std::vector<Case> cases = {
      {12, "0C " + device + " 19 4D", "3\t12\t\t"},
      {12, "0C " + device + " 19 55", "5\t12\t2\t32"},
      {12, "0C " + device + " 19 4D 00", "6\t\t\t"},
      {14, "0C " + device + " 1E 09 4D 09 55 1F 0C 00 00 00 63 1E 09 08 1F", "3\t14\t2,1\t32,31"},
      {14, "09 4D", "5\t14\t1\t255"},
      {15, "0C " + device + " 19 99 3E 22 01 2C 3F", "2\t15\t\t"},
      {15, "0C " + device + " 19 4D 3E 74 00 61 62 63 3F", "5\t15\t2\t40"},
      {16, "0C 00 80 00 01 1E 09 55 2E 44 41 48 00 00 2F 09 4D 2E 74 00 61 62 63 2F 1F", "5\t16\t2\t40"},
      {8, "0C 01 80 00 00 19 17 3E 0C 7E 0C 18 FF 3F", "2\t8\t\t"},
      {9, "0C 01 80 00 00 19 17 3E 0C 7E 0C 18 FF 0C 7E 0C 19 FF 3F", "5\t9\t"},
      {10, "0E 09 06 0F", "3\t10\t\t"},
      {10, "0E 09 02 0F", "5\t10\t1\t4"},
      {11, "C4 01 80 00 00", "2\t11\t\t"},
      {11, "C4 " + device, "5\t11\t1\t23"},
      {6, "C4 " + file1 + " 0E 31 00 21 10 0F", "3\t6\t\t"},
      {6, "C4 " + file1 + " 1E 31 00 21 10 1F", "3\t6\t\t"},
      {6, "C4 02 80 00 09 0E 31 00 21 10 0F", "5\t6\t1\t17"},
      {7, "C4 " + file1 + " 0E 31 FF 62 AA BB 0F", "3\t7\t\t"},
      {7, "C4 " + file1 + " 0E 31 7F 62 AA BB 0F", "5\t7\t5\t11"},
      {17, "19 01", "2\t17\t\t"},
      {17, "19 00", "2\t17\t\t"},
      {20, "09 01 1D 07 00 4B 45 4C 44 4F 52", "2\t20\t\t"},
      {20, "09 01 1D 07 00 6B 65 6C 64 6F 72", "5\t20\t4\t26"},
      {13, "", "6\t\t\t"},
      // The alarm, event and COV services.
      {0, "09 01 1C 00 80 00 01 29 03 3E 2E A4 7E 0C 18 04 B4 0C 00 00 00 2F 3F 4B 00 61 62 5E 2E A4 7E 0C 18 04 "
          "B4 0C 00 00 00 2F 5F", "5\t0\t5\t7"},
      {0, "09 01", "5\t0\t1\t255"},
      {2, "09 01 1C 02 00 00 05 2C 00 80 00 01 3E 2E A4 7E 0C 18 04 B4 0C 00 00 00 2F 3F 49 0A 59 01 69 05 89 00 99 "
          "00 A9 00 B9 03",
          "2\t2\t\t"},
      {3, "", "3\t3\t\t"},
      {4, "09 00", "3\t4\t\t"},
      {5, "09 07 1C 00 80 00 01 29 00 39 3C", "2\t5\t\t"},
      {5, "09 07 1C 00 40 00 01 29 00 39 3C", "5\t5\t5\t43"},
      {29, "", "3\t29\t\t"},
  };
  std::vector<testsupport::UdpFrame> frames;
  for (const Case& c : cases) {
    ASSERT_NE(ask(c.choice, c.data), "") << int(c.choice) << " " << c.data;
    frames.push_back({testsupport::wrap_apdu(answers.back())});
  }
  testsupport::TsharkResult t = testsupport::dissect(
      "confirmed_answers", frames, {"bacapp.type", "bacapp.confirmed_service", "bacapp.error_class", "bacapp.error_code"});
  ASSERT_TRUE(t.ran);
  EXPECT_EQ(t.malformed, 0) << t.diagnostics;
  EXPECT_EQ(t.expert_errors, 0) << t.diagnostics;
  ASSERT_EQ(t.fields.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(t.fields[i].substr(0, cases[i].fields.size()), cases[i].fields) << i << ": " << t.fields[i];
}

// The Device object names the confirmed services the dispatcher answers, and only those: an
// advertised service is never rejected as unrecognised, a rejected one is not advertised.
TEST_F(ConfirmedAnswers, TheDeviceAdvertisesExactlyTheConfirmedServicesItAnswers)
{
  OwnedValue supported;
  ASSERT_EQ(read(8, kOwn, 97, supported.get()), 0);
  ASSERT_EQ(supported->payload.bits.count, 40u);
  // The bit of each confirmed service choice; bits 26 to 34 and 36 are unconfirmed services.
  std::vector<std::pair<uint32_t, uint8_t>> bits;
  for (uint8_t choice = 0; choice <= 25; ++choice)
    bits.push_back({choice, choice});
  bits.insert(bits.end(), {{35, 26}, {37, 27}, {38, 28}, {39, 29}});
  for (auto [bit, choice] : bits) {
    bool advertised = supported->payload.bits.bits[bit] != 0;
    bool rejected = ask(choice, "") == answer("60", "09");
    EXPECT_NE(advertised, rejected) << "service " << int(choice);
  }
}

}  // namespace
