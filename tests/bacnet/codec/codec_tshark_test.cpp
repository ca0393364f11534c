// Every encoder's output, wrapped in BVLC and NPDU, through Wireshark's dissector: nothing
// malformed, no expert warning, and the fields it shows are the ones encoded.
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
    "bacapp.who_is.high_limit", "bacapp.error_class", "bacapp.error_code", "bacapp.vendor_identifier",
    "bacapp.object_name",
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

std::vector<testsupport::UdpFrame> frames_for(const std::vector<Sample>& samples)
{
  std::vector<testsupport::UdpFrame> frames;
  for (const Sample& sample : samples) {
    testsupport::UdpFrame frame;
    frame.payload = testsupport::wrap_apdu(apdu_of(sample), sample.kind == PduKind::Confirmed);
    frames.push_back(frame);
  }
  return frames;
}

TEST(TsharkDissection, MainRoadPdusDissectCleanlyWithTheEncodedFields)
{
  std::vector<Sample> samples = main_road_samples();
  testsupport::TsharkResult result = testsupport::dissect("codec_main_road", frames_for(samples), kFields);
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

// What the dissector's tree shows of each further sample: values as they were encoded.
const std::map<std::string, std::vector<std::string>> kServiceLines = {
    {"acknowledge-alarm",
     {"acknowledging Process Id: (Unsigned) 1", "event State Acknowledged:  high-limit (3)",
      "Time: 8:30:00.0 A.M. = 08:30:00.0", "acknowledgement Source: UTF-8 'Bediener'",
      "acknowledgement timestamp: (Unsigned) 7"}},
    {"event-notification-bitstring",
     {"Notification Class: (Unsigned) 7", "Priority: (Unsigned) 100", "Event Type: change-of-bitstring (0)",
      "Notify Type: alarm (0)", "ack Required: TRUE", "From State: normal (0)", "To State: high-limit (3)",
      "referenced-bitstring: (Bit String) (TF)", "status-flags: (Bit String) (FFFF)"}},
    {"event-notification-state", {"notification parameters (1) change-of-state", "binary-value:  active (1)"}},
    {"event-notification-bits-changed", {"changed-bits: (Bit String) (FTT)"}},
    {"event-notification-value-changed", {"notification parameters (2) change-of-value", "1.5"}},
    {"event-notification-command-failure",
     {"notification parameters (3) command-failure", "Present Value (enum index): 1", "feedback-value:  0"}},
    {"event-notification-floating-limit",
     {"reference-value: 23.500000 (Real)", "setpoint-value: 21.000000 (Real)", "error-limit: 2.000000 (Real)"}},
    {"event-notification-out-of-range",
     {"exceeding-value: 31.500000 (Real)", "deadband: 0.500000 (Real)", "exceeded-limit: 30.000000 (Real)"}},
    {"event-notification-complex",
     {"notification parameters (6) complex-event-type", "Present Value (real): 21.5",
      "reliability:  no-fault-detected (0)"}},
    {"event-notification-buffer-ready",
     {"ObjectIdentifier: trend-log, 1", "Property Identifier: log-buffer (131)", "DeviceIdentifier: device, 1234",
      "previous-notification: (Unsigned) 10", "current-notification: (Unsigned) 20"}},
    {"event-notification-ack", {"message Text: UTF-8 'Grenzwert'", "Notify Type: ack-notification (2)",
                                "To State: high-limit (3)"}},
    {"unconfirmed-event-notification",
     {"sequence number: (Unsigned) 12", "Notify Type: event (1)", "ack Required: FALSE", "boolean-value: TRUE"}},
    {"get-alarm-summary", {"Service Choice: getAlarmSummary (3)"}},
    {"get-enrollment-summary",
     {"acknowledgment Filter:  acked (1)", "DeviceIdentifier: device, 5", "ProcessIdentifier: 3",
      "event State Filter:  fault (1)", "event Type Filter:  out-of-range (5)", "min Priority: (Unsigned) 1",
      "max Priority: (Unsigned) 100", "notification Class Filter: (Unsigned) 7"}},
    {"get-enrollment-summary-unfiltered", {"acknowledgment Filter:  not-acked (2)"}},
    {"get-event-information", {"ObjectIdentifier: analog-input, 1"}},
    {"get-event-information-first", {"Service Choice: getEventInformation (29)"}},
    {"get-alarm-summary-ack",
     {"ObjectIdentifier: analog-input, 1", "alarm State:  high-limit (3)", "acknowledged Transitions: (Bit String) (FTT)",
      "ObjectIdentifier: binary-input, 2", "alarm State:  offnormal (2)"}},
    {"get-enrollment-summary-ack",
     {"event Type:  out-of-range (5)", "event State:  high-limit (3)", "Priority: (Unsigned) 100",
      "Notification Class: (Unsigned) 7", "ObjectIdentifier: multi-state-value, 2", "Notification Class: (Unsigned) 8"}},
    {"get-event-information-ack",
     {"event State:  high-limit (3)", "TO-FAULT timestamp: (Unsigned) 0", "TO-NORMAL timestamp: 6:00:00.0 P.M.",
      "event Enable: (Bit String) (TTT)", "TO-NORMAL Priority: (Unsigned) 250", "more Events: FALSE"}},
    {"subscribe-cov", {"subscriber Process Id: (Unsigned) 1", "issue Confirmed Notifications: TRUE",
                       "life time (hh.mm.ss): 0.01.00"}},
    {"subscribe-cov-cancel", {"subscriber Process Id: (Unsigned) 1"}},
    {"confirmed-cov-notification",
     {"DeviceIdentifier: device, 1234", "Time remaining:  (hh.mm.ss): 0.01.00", "Present Value (real): 21.5",
      "Property Identifier: status-flags (111)"}},
    {"unconfirmed-cov-notification", {"Present Value (real): 21.5", "status-flags: (Bit String) (FFFF)"}},
    {"add-list-element",
     {"Property Identifier: object-list (76)", "ObjectIdentifier: file, 6", "ObjectIdentifier: file, 7"}},
    {"remove-list-element", {"ObjectIdentifier: file, 6"}},
    {"create-object-by-type", {"Object Type:  file (10)", "Object Name: Datei 6", "UTF-8 'BIN'"}},
    {"create-object-by-identifier", {"ObjectIdentifier: file, 6"}},
    {"create-object-ack", {"ObjectIdentifier: file, 6"}},
    {"delete-object", {"ObjectIdentifier: file, 6"}},
    {"read-property-conditional",
     {"selection Logic:  and (0)", "relation Specifier:  greater-than (3)", "Present Value (real): 20",
      "relation Specifier:  equal (0)", "event-state:  high-limit (3)", "Property Identifier: object-name (77)"}},
    {"read-property-conditional-ack", {"ObjectIdentifier: analog-input, 1", "Present Value (real): 23.5"}},
    {"write-property-multiple",
     {"ObjectIdentifier: analog-value, 3", "Present Value (real): 21.5", "Priority: (Unsigned) 8",
      "Object Name: Raum 1", "description: UTF-8 'Flur'"}},
    {"read-range-position", {"range byPosition", "reference Index: (Unsigned) 1", "reference Count: (Signed) 10"}},
    {"read-range-sequence", {"range bySequenceNumber", "reference Index: (Unsigned) 5", "reference Count: (Signed) -3"}},
    {"read-range-time", {"range byTime", "{[7]", "reference Count: (Signed) 4"}},
    {"read-range-time-tag4", {"range byTime", "{[4]", "reference Count: (Signed) 4"}},
    {"read-range-time-range", {"range timeRange", "beginning Time", "Time: 6:00:00.0 P.M. = 18:00:00.0"}},
    {"read-range-all", {"Property Identifier: log-buffer (131)"}},
    {"read-range-ack",
     {"firstitem = TRUE", "lastitem = FALSE", "moreitems = TRUE", "item Count: (Unsigned) 2",
      "real value: 21.500000 (Real)", "Time: 10:15:00.0 A.M.", "real value: 22.000000 (Real)",
      "first Sequence Number: (Unsigned) 5"}},
    {"device-communication-control",
     {"time Duration: (Unsigned) 5", "enable-disable:  disable (1)", "Password: UTF-8 'KELDOR'"}},
    {"device-communication-control-plain", {"enable-disable:  enable (0)"}},
    {"reinitialize-device", {"reinitialized State Of Device:  warmstart (1)", "Password: UTF-8 'KELDOR'"}},
    {"confirmed-private-transfer",
     {"Vendor Identifier: BACnet Stack at SourceForge (260)", "service Number: (Unsigned) 1",
      "Abstract Type: (Unsigned) 5", "Abstract Type: UTF-8 'x'"}},
    {"unconfirmed-private-transfer", {"service Number: (Unsigned) 2", "Abstract Type:  dead"}},
    {"confirmed-private-transfer-ack", {"Abstract Type: 1.250000 (Real)"}},
    {"confirmed-text-message", {"DeviceIdentifier: device, 1234", "message Class: (Unsigned) 5",
                                "message Priority:  normal (0)", "message: UTF-8 'Hallo'"}},
    {"unconfirmed-text-message",
     {"message Class: UTF-8 'Info'", "message Priority:  urgent (1)", "message: UTF-8 'Filter tauschen'"}},
    {"confirmed-text-message-no-class", {"message: UTF-8 'Ohne Klasse'"}},
    {"authenticate", {"pseudo Random Number: (Unsigned) 12345"}},
    {"authenticate-ack", {"modified Random Number: (Unsigned) 12346"}},
    {"request-key",
     {"DeviceIdentifier: device, 1234", "network-number(Unsigned) 1", "IPV4: 10.111.0.1", "Port: 47808",
      "DeviceIdentifier: device, 5", "network-number(Unsigned) 2"}},
    {"time-synchronization", {"Date: May 10, 2024, (Day of Week = Friday)", "Time: 8:30:00.0 A.M. = 08:30:00.0"}},
    {"utc-time-synchronization", {"UTC-Time", "Time: 6:00:00.0 P.M. = 18:00:00.0"}},
    {"error-add-list-element",
     {"Error Class: property (2)", "Error Code: value-out-of-range (37)", "first failed element number: (Unsigned) 2"}},
    {"error-create-object",
     {"Error Class: object (1)", "Error Code: unsupported-object-type (36)", "first failed element number: (Unsigned) 1"}},
    {"error-write-property-multiple",
     {"Error Code: write-access-denied (40)", "ObjectIdentifier: analog-value, 3", "Property Identifier: present-value (85)"}},
    {"error-private-transfer",
     {"Error Class: services (5)", "service Number: (Unsigned) 1", "error Parameters", "Abstract Type: (Unsigned) 9"}},
    {"error-vt-close",
     {"Error Class: vt (6)", "remote VT Session ID: (Unsigned) 3", "remote VT Session ID: (Unsigned) 4"}},
    {"error-get-event-information", {"Error Class: services (5)", "Error Code: other (0)"}},
    {"error-subscribe-cov", {"Error Code: cov-subscription-failed (43)"}},
};

// The datatypes in ReadProperty acknowledgements.
const std::map<std::string, std::vector<std::string>> kDatatypeLines = {
    {"rp-ack-address-binding", {"DeviceIdentifier: device, 5", "network-number(Unsigned) 1", "IPV4: 10.111.0.2"}},
    {"rp-ack-datetime", {"Date: May 10, 2024", "Time: 8:30:00.0 A.M."}},
    {"rp-ack-calendar-entries",
     {"Date: December 24, 2024", "Start Date: July 1, 2024", "End Date: August 31, 2024",
      "any month any week of this month, Sunday"}},
    {"rp-ack-date-range", {"effective-period: January 1, 2024", "effective-period: December 31, 2024"}},
    {"rp-ack-weeknday", {"Present Value (octet string)", "0501ff"}},
    {"rp-ack-weekly-schedule",
     {"Monday", "Time: 8:00:00.0 A.M.", "Value:  1", "Time: 5:00:00.0 P.M.", "Value:  0", "Tuesday"}},
    {"rp-ack-event-time-stamps",
     {"TO-OFFNORMAL timestamp: 10:30:00.0 A.M.", "TO-FAULT timestamp: (Unsigned) 42", "Date: May 10, 2024"}},
    {"rp-ack-action",
     {"DeviceIdentifier: device, 1234", "ObjectIdentifier: analog-output, 3", "Present Value (real): 50",
      "Priority: (Unsigned) 8", "Quit On Failure: FALSE", "Write Successful: TRUE"}},
    {"rp-ack-session-keys", {"session key:  0102030405060708", "network-number(Unsigned) 1", "IPV4: 10.111.0.2"}},
    {"rp-ack-recipients", {"DeviceIdentifier: device, 5", "network-number(Unsigned) 65535", "MAC-address: broadcast"}},
    {"rp-ack-cov-subscriptions",
     {"Recipient Process", "IPV4: 10.111.0.2", "ProcessIdentifier: 3", "ObjectIdentifier: analog-input, 1",
      "Issue Confirmed Notifications: TRUE", "Time Remaining: (Unsigned) 300"}},
    {"rp-ack-object-property-references",
     {"ObjectIdentifier: analog-output, 1", "Property Identifier: present-value (85)",
      "ObjectIdentifier: analog-output, 2", "Property Identifier: priority-array (87)", "DeviceIdentifier: device, 5"}},
    {"rp-ack-object-property-reference", {"Context Value (as 4 DATA octets)"}},
    {"rp-ack-log-buffer",
     {"real value: 21.500000 (Real)", "buffer-purged = TRUE", "unsigned value: (Unsigned) 17",
      "Error Code: unknown-property (32)", "Status Flags: (Bit String) (FFFF)"}},
    {"rp-ack-recipient-list",
     {"valid Days: (Bit String) (TTTTTTT)", "from time: 0:00:00.0 A.M.", "to time: 11:59:59.99 P.M.",
      "DeviceIdentifier: device, 5", "ProcessIdentifier: 1", "issue confirmed notifications: TRUE",
      "transitions: (Bit String) (TTT)"}},
    {"rp-ack-exception-schedule",
     {"Date: December 25, 2024", "event priority: (Unsigned) 10", "ObjectIdentifier: calendar, 1",
      "event priority: (Unsigned) 16"}},
    {"rp-ack-priority-array", {"priority-array[1]: NULL", "priority-array[2]: 50.000000 (Real)"}},
    {"rp-ack-client-cov-increment", {"increment: 0.500000 (Real)"}},
    {"rp-ack-object-property-value", {"21.500000 (Real)"}},
    {"rp-ack-event-parameters-bitstring",
     {"event parameters (0) change-of-bitstring", "Time Delay (hh.mm.ss): 0.00.05", "bitmask: (Bit String) (TT)",
      "bitstring value: (Bit String) (TF)", "bitstring value: (Bit String) (FT)"}},
    {"rp-ack-event-parameters-state",
     {"event parameters (1) change-of-state", "binary-value:  active (1)", "reliability:  over-range (2)"}},
    {"rp-ack-event-parameters-value-bitmask", {"event parameters (2) change-of-value", "bitmask: (Bit String) (TFT)"}},
    {"rp-ack-event-parameters-value-increment", {"referenced Property Increment: 0.500000 (Real)"}},
    {"rp-ack-event-parameters-command-failure",
     {"event parameters (3) command-failure", "ObjectIdentifier: binary-output, 1"}},
    {"rp-ack-event-parameters-floating-limit",
     {"ObjectIdentifier: analog-value, 1", "low diff limit: 1.000000 (Real)", "high diff limit: 2.000000 (Real)",
      "deadband: 0.500000 (Real)"}},
    {"rp-ack-event-parameters-out-of-range",
     {"low limit: 10.000000 (Real)", "high limit: 30.000000 (Real)", "deadband: 1.000000 (Real)"}},
    // Buffer-ready goes out under its older tag, which the dissector names as such.
    {"rp-ack-event-parameters-buffer-ready",
     {"(deprecated)buffer-ready", "notification threshold(Unsigned) 10", "previous notification count: (Unsigned) 2"}},
};

void expect_clean_dissection(const std::string& name, const std::vector<Sample>& samples,
                             const std::map<std::string, std::vector<std::string>>& expected)
{
  const std::vector<std::string> fields = {"bacapp.type", "bacapp.confirmed_service", "bacapp.unconfirmed_service"};
  testsupport::TsharkResult result = testsupport::dissect(name, frames_for(samples), fields);
  ASSERT_TRUE(result.ran) << result.diagnostics;
  EXPECT_EQ(result.malformed, 0) << result.diagnostics;
  EXPECT_EQ(result.expert_errors, 0) << result.diagnostics;
  ASSERT_EQ(result.fields.size(), samples.size());
  std::string pcap = (std::filesystem::temp_directory_path() / "zor17-pcaps" / (name + ".pcap")).string();
  std::vector<std::string> trees = frames_of(pcap);
  ASSERT_EQ(trees.size(), samples.size());

  const std::map<PduKind, std::string> types = {{PduKind::Confirmed, "0"}, {PduKind::Unconfirmed, "1"},
                                                {PduKind::ComplexAck, "3"}, {PduKind::Error, "5"}};
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& sample = samples[i];
    SCOPED_TRACE(sample.name);
    std::vector<std::string> values = split(result.fields[i], '\t');
    EXPECT_EQ(values[0], types.at(sample.kind));
    EXPECT_EQ(values[sample.kind == PduKind::Unconfirmed ? 2 : 1], std::to_string(sample.service));
    auto lines = expected.find(sample.name);
    ASSERT_NE(lines, expected.end()) << "no expectation for this sample";
    for (const std::string& line : lines->second)
      EXPECT_NE(trees[i].find(line), std::string::npos) << "tree lacks: " << line;
  }
}

TEST(TsharkDissection, EveryFurtherServiceDissectsCleanlyWithTheEncodedFields)
{
  expect_clean_dissection("codec_services", service_samples(), kServiceLines);
}

TEST(TsharkDissection, EveryConstructedDatatypeDissectsCleanlyInItsProperty)
{
  expect_clean_dissection("codec_datatypes", datatype_samples(), kDatatypeLines);
}

}  // namespace
