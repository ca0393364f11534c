#include "server_fixture.h"

#include "bacnet/services/file_services.h"

#include <unistd.h>

#include <algorithm>

using namespace servertest;

namespace {

// File 1 .. 5 and Analog Input 1 as they stand in requests.
std::string file(uint32_t instance)
{
  char text[16];
  std::snprintf(text, sizeof text, "02 80 00 %02X", instance);
  return text;
}
const std::string kAnalogInput1 = "00 00 00 01";

std::string octets(std::size_t first, std::size_t n) { return hex(counting(n, uint8_t(first))); }

class FileServices : public Server {};

TEST_F(FileServices, StreamReadReturnsTheOctetsAndEndOfFileExactlyAtTheEnd)
{
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 00 21 64 0F"), answer("30", "06 11 0E 31 00 65 3C " + octets(0, 60) + " 0F"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 0A 21 14 0F"), answer("30", "06 10 0E 31 0A 65 14 " + octets(10, 20) + " 0F"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 28 21 14 0F"), answer("30", "06 11 0E 31 28 65 14 " + octets(40, 20) + " 0F"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 3C 21 64 0F"), answer("30", "06 11 0E 31 3C 60 0F"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 64 21 05 0F"), answer("30", "06 11 0E 31 64 60 0F"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 00 21 00 0F"), answer("30", "06 10 0E 31 00 60 0F"));
}

TEST_F(FileServices, RecordReadTakesTheStartRecordAsPosition)
{
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 1E 31 02 21 05 1F"), answer("30", "06 10 1E 31 02 21 01 65 05 " + octets(2, 5) + " 1F"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 1E 31 3C 21 05 1F"), answer("30", "06 11 1E 31 3C 21 00 60 1F"));
}

TEST_F(FileServices, ReadCountIsClampedToWhatTheAnswerCarries)
{
  // 1476 octets without segmentation: one segment less its header, less the acknowledgement's own octets.
  std::string whole = ask(6, "C4 " + file(kLarge) + " 0E 31 00 22 13 88 0F");
  EXPECT_EQ(whole.substr(0, 41), answer("30", "06 10 0E 31 00 65 FE 05 AB 00 01 02"));
  // The whole APDU: below the 1471 octets of one segment.
  EXPECT_EQ(std::count(whole.begin(), whole.end(), ' ') + 1, 1463);
  // 50 octets: 25 of them are file data.
  EXPECT_EQ(ask(6, "C4 " + file(kLarge) + " 0E 31 00 22 13 88 0F", 0x00),
            answer("30", "06 10 0E 31 00 65 19 " + octets(0, 25) + " 0F"));
  // The largest count the network can ask for allocates nothing beyond the file.
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 32 24 FF FF FF FF 0F"), answer("30", "06 11 0E 31 32 65 0A " + octets(50, 10) + " 0F"));

  ServiceRequest request;
  request.max_segments_apdu = 0x05;
  EXPECT_EQ(services_read_file_room(request), 1451u);
  request.segmented_response_accepted = 1;
  EXPECT_EQ(services_read_file_room(request), 1471u - 19);  // unspecified segments count as one
  request.max_segments_apdu = 0x75;
  EXPECT_EQ(services_read_file_room(request), 1471u * 64 - 19);
  request.max_segments_apdu = 0x32;
  EXPECT_EQ(services_read_file_room(request), 201u * 8 - 19);

  // With 64 segments accepted the whole file goes into one (segmented) answer.
  std::vector<uint8_t> data = hex("C4 " + file(kLarge) + " 0E 31 00 22 13 88 0F");
  request.max_segments_apdu = 0x75;
  request.type = kApduConfirmedRequest;
  request.service_choice = 6;
  request.source = peer;
  request.data = data;
  ServiceAnswer result;
  ASSERT_EQ(services_atomic_read_file(own, request, &result, false, BACnetAddress{}), 0);
  ASSERT_EQ(result.kind, kAnswerComplexAck);
  ASSERT_EQ(result.data.size(), 5009u);
  EXPECT_EQ(hex(std::span<const uint8_t>(result.data.data(), 8)), "11 0E 31 00 65 FE 13 88");
  EXPECT_EQ(result.data[8 + 4999], uint8_t(4999));
}

TEST_F(FileServices, ReadRefusalsNameTheirReason)
{
  EXPECT_EQ(ask(6, "C4 " + kAnalogInput1 + " 0E 31 00 21 05 0F"), answer("50", "06 91 01 91 24"));
  EXPECT_EQ(ask(6, "C4 " + file(9) + " 0E 31 00 21 05 0F"), answer("50", "06 91 01 91 11"));
  EXPECT_EQ(ask(6, "C4 " + file(kNoPath) + " 0E 31 00 21 05 0F"), answer("50", "06 91 01 91 00"));
  EXPECT_EQ(ask(6, "C4 " + file(kBadPath) + " 0E 31 00 21 05 0F"), answer("50", "06 91 01 91 00"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 FF 21 05 0F"), answer("50", "06 91 01 91 00"));  // before the start
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 2E 31 00 21 05 2F"), answer("50", "06 91 01 91 FF"));
  EXPECT_EQ(ask(6, "C4 " + file(1)), answer("50", "06 91 01 91 FF"));
  EXPECT_EQ(ask(6, "C4 " + file(1) + " 0E 31 00 21 05 0F 00"), answer("50", "06 91 01 91 FF"));
}

TEST_F(FileServices, ReadOfADirectoryIsAReadError)
{
  ASSERT_EQ(object_CreateObject(kOwn, 10, 7) != nullptr, true);
  ASSERT_EQ(object_SetString(kOwn, 10, 7, 555, dir.c_str()), 0);
  std::string reply = ask(6, "C4 " + file(7) + " 0E 31 00 21 05 0F");
  EXPECT_TRUE(reply == answer("50", "06 91 01 91 10") || reply == answer("50", "06 91 01 91 00")) << reply;
}

TEST_F(FileServices, StreamWriteHonoursItsStartPosition)
{
  // 0 replaces the contents.
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 00 62 AA BB 0F"), answer("30", "07 09 00"));
  EXPECT_EQ(hex(file_bytes("file1.bin")), "AA BB");
  // Inside the file: from that octet on.
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 01 63 CC DD EE 0F"), answer("30", "07 09 01"));
  EXPECT_EQ(hex(file_bytes("file1.bin")), "AA CC DD EE");
  // At the end.
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 04 61 FF 0F"), answer("30", "07 09 04"));
  // -1 appends, and the answer gives where.
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 FF 62 11 22 0F"), answer("30", "07 09 05"));
  EXPECT_EQ(hex(file_bytes("file1.bin")), "AA CC DD EE FF 11 22");
  // Data running past the end grows the file.
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 05 64 01 02 03 04 0F"), answer("30", "07 09 05"));
  EXPECT_EQ(hex(file_bytes("file1.bin")), "AA CC DD EE FF 01 02 03 04");
}

TEST_F(FileServices, WriteStartBeyondTheEndIsRefusedAndLeavesTheFile)
{
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 3D 61 01 0F"), answer("50", "07 91 05 91 0B"));
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 FE 61 01 0F"), answer("50", "07 91 05 91 0B"));
  EXPECT_EQ(file_bytes("file1.bin"), counting(60));
}

TEST_F(FileServices, RecordWriteUsesTheSamePositions)
{
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 1E 31 00 21 01 62 AA BB 1F"), answer("30", "07 19 00"));
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 1E 31 FF 21 01 61 CC 1F"), answer("30", "07 19 02"));
  EXPECT_EQ(hex(file_bytes("file1.bin")), "AA BB CC");
}

TEST_F(FileServices, WriteRefusalsLeaveEveryFileAsItWas)
{
  EXPECT_EQ(ask(7, "C4 " + file(kReadOnly) + " 0E 31 00 61 01 0F"), answer("50", "07 91 05 91 05"));
  EXPECT_EQ(file_bytes("file4.bin"), counting(8));
  EXPECT_EQ(ask(7, "C4 " + kAnalogInput1 + " 0E 31 00 61 01 0F"), answer("50", "07 91 01 91 24"));
  EXPECT_EQ(ask(7, "C4 " + file(9) + " 0E 31 00 61 01 0F"), answer("50", "07 91 01 91 11"));
  EXPECT_EQ(ask(7, "C4 " + file(kNoPath) + " 0E 31 00 61 01 0F"), answer("50", "07 91 01 91 00"));
  EXPECT_EQ(ask(7, "C4 " + file(kBadPath) + " 0E 31 00 61 01 0F"), answer("50", "07 91 01 91 00"));
  EXPECT_EQ(ask(7, "C4 " + file(1) + " 0E 31 00 61 01"), answer("50", "07 91 01 91 FF"));
  EXPECT_EQ(file_bytes("file1.bin"), counting(60));
}

TEST_F(FileServices, AFailedWriteIsAnErrorNeverAnAcknowledgement)
{
  if (access("/dev/full", W_OK) != 0)
    GTEST_SKIP() << "no /dev/full here";
  ASSERT_NE(object_CreateObject(kOwn, 10, 8), nullptr);
  ASSERT_EQ(object_SetString(kOwn, 10, 8, 555, "/dev/full"), 0);
  EXPECT_EQ(ask(7, "C4 " + file(8) + " 0E 31 00 62 AA BB 0F"), answer("50", "07 91 01 91 00"));
  EXPECT_EQ(ask(7, "C4 " + file(8) + " 0E 31 FF 62 AA BB 0F"), answer("50", "07 91 01 91 00"));
}

}  // namespace
