// The two tables of a broadcast management device: the broadcast distribution table (peer
// BBMDs, kept across runs in the file bdt.txt) and the foreign device table (registered
// foreign devices with their remaining lifetime). Plain operations on the tables and their
// octets; the BACnet/IP port thread owns the tables and is the only caller at run time.
#pragma once

#include "bacnet/datalink/bvlc.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

struct BdtEntry {
  uint32_t ip = 0;  // host byte order
  uint16_t port = 0;
  uint32_t mask = 0;  // host byte order
  friend bool operator==(const BdtEntry&, const BdtEntry&) = default;
};
inline constexpr std::size_t kBdtEntryLength = 10;

struct FdtEntry {
  uint32_t ip = 0;  // host byte order
  uint16_t port = 0;
  uint16_t time_to_live = 0;
  uint16_t remaining = 0;  // seconds; 0 marks a free entry
};
inline constexpr std::size_t kFdtAckEntryLength = 10;

// Where a forward to this peer goes: its address with the host bits of its mask set, and
// whether that is a directed broadcast.
BipAddress bdt_forward_target(const BdtEntry& entry);
bool bdt_forward_is_broadcast(const BdtEntry& entry);

void bdt_entry_encode(const BdtEntry& entry, uint8_t* out);
BdtEntry bdt_entry_decode(const uint8_t* in);
// The entries of a Write-BDT: 0 for one or more whole entries, -1 otherwise (`table` untouched).
int bdt_decode_list(std::span<const uint8_t> data, std::vector<BdtEntry>* table);
// The entries of a Read-BDT-Ack, as many as fit one frame.
std::vector<uint8_t> bdt_encode_list(const std::vector<BdtEntry>& table);

// One line of 20 upper-case hexadecimal digits per entry, each ended by "\r". 0 or -1.
int bdt_write_file(const char* path, const std::vector<BdtEntry>& table);
// Appends the file's entries that are not in the table yet. Lines end at "\r" or "\n"; lines
// of other than 20 hexadecimal digits are skipped; a last line without its end is not read.
void bdt_read_file(const char* path, std::vector<BdtEntry>* table);
// The same on the file's text.
void bdt_parse_text(std::string_view text, std::vector<BdtEntry>* table);

// Refreshes the entry of `device` (free or not) or takes the first free one. The remaining
// time is the time-to-live plus 30 seconds, held at 65535. 0, or -1 when the table is full.
int fdt_register(std::vector<FdtEntry>& table, const BipAddress& device, uint16_t time_to_live);
// Frees the entry of `device` whose time-to-live is not 0. 0, or -1 when there is none.
int fdt_delete(std::vector<FdtEntry>& table, const BipAddress& device);
// One second passes for every entry in use.
void fdt_second_tick(std::vector<FdtEntry>& table);
// The entries of a Read-FDT-Ack: every entry in use, as many as fit one frame.
std::vector<uint8_t> fdt_encode_ack(const std::vector<FdtEntry>& table);
