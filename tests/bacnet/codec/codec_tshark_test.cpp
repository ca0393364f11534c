// Every main-road encoder's output, wrapped in BVLC and NPDU, through Wireshark's dissector:
// nothing malformed, no expert warning, and the fields it shows are the ones encoded.
#include "codec_samples.h"
#include "support/tshark.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

using namespace codectest;

namespace {

// What the dissector must show for each sample: field values, then lines of its tree.
struct Expected {
  std::map<std::string, std::string> fields;
  std::vector<std::string> lines;
};

const std::vector<std::string> kFields = {
    "bacapp.type", "bacapp.confirmed_service", "bacapp.unconfirmed_service", "bacapp.invoke_id",
    "bacapp.objectType", "bacapp.instance_number", "bacapp.property_identifier", "bacapp.who_is.low_limit",
    "bacapp.who_is.high_limit", "bacapp.error_class", "bacapp.error_code", "bacapp.reject_reason",
    "bacapp.abort_reason", "bacapp.vendor_identifier", "bacapp.object_name",
};

const std::map<std::string, Expected> kExpected = {
    {"who-is-all", {{{"bacapp.type", "1"}, {"bacapp.unconfirmed_service", "8"}, {"bacapp.who_is.low_limit", ""}}, {}}},
    {"who-is-range",
     {{{"bacapp.unconfirmed_service", "8"}, {"bacapp.who_is.low_limit", "1000"}, {"bacapp.who_is.high_limit", "1999"}}, {}}},
    {"i-am",
     {{{"bacapp.unconfirmed_service", "0"}, {"bacapp.objectType", "8"}, {"bacapp.instance_number", "1234"},
       {"bacapp.vendor_identifier", "260"}},
      {"Maximum ADPU Length Accepted: (Unsigned) 480", "Segmentation Supported:  no-segmentation (3)"}}},
    {"who-has-object",
     {{{"bacapp.unconfirmed_service", "7"}, {"bacapp.objectType", "10"}, {"bacapp.instance_number", "1"}},
      {"device Instance Low Limit: (Unsigned) 0", "device Instance High Limit: (Unsigned) 4194303"}}},
    {"who-has-name",
     {{{"bacapp.unconfirmed_service", "7"}}, {"device Instance High Limit: (Unsigned) 4000", "Object Name: Parameter"}}},
    {"i-have",
     {{{"bacapp.unconfirmed_service", "1"}, {"bacapp.objectType", "8,10"}, {"bacapp.instance_number", "1234,1"}},
      {"Parameter"}}},
    {"read-property",
     {{{"bacapp.type", "0"}, {"bacapp.confirmed_service", "12"}, {"bacapp.invoke_id", "42"}, {"bacapp.objectType", "8"},
       {"bacapp.instance_number", "1234"}, {"bacapp.property_identifier", "70"}},
      {}}},
    {"read-property-multiple",
     {{{"bacapp.confirmed_service", "14"}, {"bacapp.property_identifier", "77,44,76"}}, {"Property Identifier: object-list (76)", "property Array Index (Unsigned) 1"}}},
    {"write-property",
     {{{"bacapp.confirmed_service", "15"}, {"bacapp.objectType", "2"}, {"bacapp.instance_number", "3"},
       {"bacapp.property_identifier", "85"}},
      {"Present Value (real): 21.5", "Priority: (Unsigned) 8"}}},
    {"atomic-read-file-stream",
     {{{"bacapp.confirmed_service", "6"}, {"bacapp.objectType", "10"}, {"bacapp.instance_number", "1"}},
      {"stream access", "File Start Position: (Signed) 0", "Requested Octet Count: (Unsigned) 146"}}},
    {"atomic-read-file-record",
     {{{"bacapp.confirmed_service", "6"}, {"bacapp.instance_number", "2"}},
      {"record access", "File Start Record: (Signed) 3", "Requested Record Count: (Unsigned) 1"}}},
    {"atomic-write-file-stream",
     {{{"bacapp.confirmed_service", "7"}, {"bacapp.instance_number", "4"}},
      {"stream access", "File Start Position: (Signed) 0", "File Data:  49002c01"}}},
    {"atomic-write-file-record",
     {{{"bacapp.confirmed_service", "7"}},
      {"record access", "File Start Record: (Signed) 2", "Record Count: (Unsigned) 1", "Record Data:  49002c01"}}},
    {"read-property-ack",
     {{{"bacapp.type", "3"}, {"bacapp.confirmed_service", "12"}, {"bacapp.property_identifier", "70"}},
      {"ZOR17_BACnet"}}},
    {"read-property-multiple-ack",
     {{{"bacapp.confirmed_service", "14"}, {"bacapp.property_identifier", "77,44"}, {"bacapp.error_class", "2"},
       {"bacapp.error_code", "32"}},
      {"ZOR17"}}},
    {"atomic-read-file-ack",
     {{{"bacapp.confirmed_service", "6"}},
      {"End Of File: TRUE", "File Start Position: (Signed) 0", "File Data:  100020003000"}}},
    {"atomic-read-file-ack-record",
     {{{"bacapp.confirmed_service", "6"}},
      {"End Of File: FALSE", "File Start Record: (Signed) 3", "Record Count: (Unsigned) 1", "Record Data:  100020003000"}}},
    {"atomic-write-file-ack", {{{"bacapp.confirmed_service", "7"}}, {"File Start Position: (Signed) 146"}}},
    {"error",
     {{{"bacapp.type", "5"}, {"bacapp.confirmed_service", "12"}, {"bacapp.error_class", "2"}, {"bacapp.error_code", "32"}},
      {}}},
    {"reject", {{{"bacapp.type", "6"}, {"bacapp.invoke_id", "42"}, {"bacapp.reject_reason", "9"}}, {}}},
    {"abort", {{{"bacapp.type", "7"}, {"bacapp.invoke_id", "42"}, {"bacapp.abort_reason", "4"}}, {}}},
};

std::vector<std::string> split(const std::string& line, char separator)
{
  std::vector<std::string> out;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, separator))
    out.push_back(part);
  while (out.size() < kFields.size())
    out.push_back("");
  return out;
}

// The verbose dissection, one block of text per frame.
std::vector<std::string> frames_of(const std::string& pcap)
{
  std::string all = testsupport::run_command("tshark -n -o udp.try_heuristic_first:FALSE -V -r '" + pcap + "' 2>/dev/null");
  std::vector<std::string> frames;
  size_t at = 0;
  while ((at = all.find("Frame ", at)) != std::string::npos) {
    size_t next = all.find("\nFrame ", at + 1);
    frames.push_back(all.substr(at, next == std::string::npos ? std::string::npos : next - at));
    if (next == std::string::npos)
      break;
    at = next + 1;
  }
  return frames;
}

TEST(TsharkDissection, MainRoadPdusDissectCleanlyWithTheEncodedFields)
{
  std::vector<Sample> samples = main_road_samples();
  std::vector<testsupport::UdpFrame> frames;
  for (const Sample& sample : samples) {
    testsupport::UdpFrame frame;
    frame.payload = testsupport::wrap_apdu(apdu_of(sample), sample.kind == PduKind::Confirmed);
    frames.push_back(frame);
  }
  testsupport::TsharkResult result = testsupport::dissect("codec_main_road", frames, kFields);
  ASSERT_TRUE(result.ran) << result.diagnostics;
  EXPECT_EQ(result.malformed, 0) << result.diagnostics;
  EXPECT_EQ(result.expert_errors, 0) << result.diagnostics;
  ASSERT_EQ(result.fields.size(), samples.size());

  std::string pcap = (std::filesystem::temp_directory_path() / "zor17-pcaps" / "codec_main_road.pcap").string();
  std::vector<std::string> trees = frames_of(pcap);
  ASSERT_EQ(trees.size(), samples.size());

  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(samples[i].name);
    auto expected = kExpected.find(samples[i].name);
    ASSERT_NE(expected, kExpected.end()) << "no expectation for this sample";
    std::vector<std::string> values = split(result.fields[i], '\t');
    for (const auto& [field, value] : expected->second.fields) {
      size_t column = 0;
      while (column < kFields.size() && kFields[column] != field)
        ++column;
      ASSERT_LT(column, kFields.size()) << field;
      EXPECT_EQ(values[column], value) << field;
    }
    for (const std::string& line : expected->second.lines)
      EXPECT_NE(trees[i].find(line), std::string::npos) << "tree lacks: " << line;
  }
}

}  // namespace
