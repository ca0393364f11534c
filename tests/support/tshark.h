// Independent checks of the frames we emit: write them to a pcap file as UDP datagrams
// between two test addresses and let Wireshark's tshark dissect them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct UdpFrame {
  std::vector<uint8_t> payload;  // the BVLC datagram
  uint32_t source_ip = 0x0A6F0001;       // 10.111.0.1
  uint32_t destination_ip = 0x0A6F0002;  // 10.111.0.2
  uint16_t source_port = 47808;
  uint16_t destination_port = 47808;
};

// Writes the frames as Ethernet/IPv4/UDP packets into a pcap file.
void write_pcap(const std::string& path, const std::vector<UdpFrame>& frames);

// Writes the frames as they are, each one packet of the given link-layer type (165: MS/TP).
void write_pcap_frames(const std::string& path, uint32_t link_type, const std::vector<std::vector<uint8_t>>& frames);

// Wraps an APDU in an original-unicast BVLC and a plain NPDU (expecting-reply bit from
// `expecting_reply`).
std::vector<uint8_t> wrap_apdu(const std::vector<uint8_t>& apdu, bool expecting_reply = false);

struct TsharkResult {
  bool ran = false;             // tshark started and read the file
  int malformed = 0;            // packets flagged malformed
  int expert_errors = 0;        // expert infos of severity error (or warning, see below)
  std::vector<std::string> fields;  // one line per packet: the requested fields, tab-separated
  std::string diagnostics;      // the verbose dissection of the flagged packets
};

// Dissects the pcap file. `fields` are tshark field names printed per packet
// (e.g. "bacapp.confirmed_service"). Malformed packets and expert errors are counted.
TsharkResult run_tshark(const std::string& pcap_path, const std::vector<std::string>& fields = {});

// One call for a test: frames -> pcap in a temp folder -> tshark. The pcap file stays in
// the build's test output folder for a look.
TsharkResult dissect(const std::string& name, const std::vector<UdpFrame>& frames,
                     const std::vector<std::string>& fields = {});

// The same for raw frames of a link-layer type.
TsharkResult dissect_frames(const std::string& name, uint32_t link_type, const std::vector<std::vector<uint8_t>>& frames,
                            const std::vector<std::string>& fields = {});

// Runs a shell command, returns its standard output and sets `status` to its exit code.
std::string run_command(const std::string& command, int* status = nullptr, const std::string& input = {});

// The folder of the committed test files (tests/).
std::string tests_dir();
// The folder of the built programs.
std::string bin_dir();

}  // namespace testsupport
