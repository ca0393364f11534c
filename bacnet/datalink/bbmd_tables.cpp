#include "bacnet/datalink/bbmd_tables.h"

#include "bacnet/foundation/hex_digit.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr uint32_t kHostMask = 0xFFFFFFFF;
constexpr std::size_t kBdtLineLength = 2 * kBdtEntryLength;
constexpr uint16_t kFdtGraceSeconds = 30;
// Acks carry what fits into one UDP datagram.
constexpr std::size_t kLargestAckData = 65507 - kBvlcHeaderLength;

bool parse_line(std::string_view line, BdtEntry* entry)
{
  if (line.size() != kBdtLineLength)
    return false;
  uint8_t octets[kBdtEntryLength];
  for (std::size_t i = 0; i < kBdtEntryLength; ++i) {
    int hi = hex_digit(line[2 * i]);
    int lo = hex_digit(line[2 * i + 1]);
    if (hi < 0 || lo < 0)
      return false;
    octets[i] = uint8_t(hi << 4 | lo);
  }
  *entry = bdt_entry_decode(octets);
  return true;
}

bool same_device(const FdtEntry& e, const BipAddress& device) { return e.ip == device.ip && e.port == device.port; }

}  // namespace

BipAddress bdt_forward_target(const BdtEntry& entry) { return {entry.ip | ~entry.mask, entry.port}; }

bool bdt_forward_is_broadcast(const BdtEntry& entry) { return entry.mask != kHostMask; }

void bdt_entry_encode(const BdtEntry& entry, uint8_t* out)
{
  bip_encode({entry.ip, entry.port}, out);
  out[6] = uint8_t(entry.mask >> 24);
  out[7] = uint8_t(entry.mask >> 16);
  out[8] = uint8_t(entry.mask >> 8);
  out[9] = uint8_t(entry.mask);
}

BdtEntry bdt_entry_decode(const uint8_t* in)
{
  BipAddress address = bip_decode(in);
  BdtEntry entry;
  entry.ip = address.ip;
  entry.port = address.port;
  entry.mask = uint32_t(in[6]) << 24 | uint32_t(in[7]) << 16 | uint32_t(in[8]) << 8 | in[9];
  return entry;
}

int bdt_decode_list(std::span<const uint8_t> data, std::vector<BdtEntry>* table)
{
  if (data.empty() || data.size() % kBdtEntryLength != 0 || !table)
    return -1;
  std::vector<BdtEntry> entries;
  for (std::size_t i = 0; i < data.size(); i += kBdtEntryLength)
    entries.push_back(bdt_entry_decode(data.data() + i));
  *table = std::move(entries);
  return 0;
}

std::vector<uint8_t> bdt_encode_list(const std::vector<BdtEntry>& table)
{
  std::vector<uint8_t> data;
  for (const BdtEntry& entry : table) {
    if (data.size() + kBdtEntryLength > kLargestAckData)
      break;
    uint8_t octets[kBdtEntryLength];
    bdt_entry_encode(entry, octets);
    data.insert(data.end(), octets, octets + kBdtEntryLength);
  }
  return data;
}

int bdt_write_file(const char* path, const std::vector<BdtEntry>& table)
{
  if (!path)
    return -1;
  std::FILE* file = std::fopen(path, "wb");
  if (!file)
    return -1;
  bool ok = true;
  for (const BdtEntry& entry : table) {
    uint8_t octets[kBdtEntryLength];
    bdt_entry_encode(entry, octets);
    for (uint8_t octet : octets)
      ok = ok && std::fprintf(file, "%02X", octet) == 2;
    ok = ok && std::fputc('\r', file) != EOF;
  }
  ok = (std::fclose(file) == 0) && ok;
  return ok ? 0 : -1;
}

void bdt_read_file(const char* path, std::vector<BdtEntry>* table)
{
  if (!path || !table)
    return;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bdt_parse_text(text, table);
}

void bdt_parse_text(std::string_view text, std::vector<BdtEntry>* table)
{
  if (!table)
    return;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos)
      return;
    BdtEntry entry;
    if (parse_line(text.substr(start, end - start), &entry)) {
      bool known = false;
      for (const BdtEntry& e : *table)
        known = known || e == entry;
      if (!known)
        table->push_back(entry);
    }
    start = end + 1;
  }
}

int fdt_register(std::vector<FdtEntry>& table, const BipAddress& device, uint16_t time_to_live)
{
  FdtEntry* slot = nullptr;
  for (FdtEntry& e : table)
    if (same_device(e, device)) {
      slot = &e;
      break;
    }
  if (!slot)
    for (FdtEntry& e : table)
      if (e.remaining == 0) {
        slot = &e;
        break;
      }
  if (!slot)
    return -1;
  slot->ip = device.ip;
  slot->port = device.port;
  slot->time_to_live = time_to_live;
  uint32_t remaining = uint32_t(time_to_live) + kFdtGraceSeconds;
  slot->remaining = uint16_t(remaining > 0xFFFF ? 0xFFFF : remaining);
  return 0;
}

int fdt_delete(std::vector<FdtEntry>& table, const BipAddress& device)
{
  for (FdtEntry& e : table)
    if (same_device(e, device) && e.time_to_live != 0) {
      e.time_to_live = 0;
      e.remaining = 0;
      return 0;
    }
  return -1;
}

void fdt_second_tick(std::vector<FdtEntry>& table)
{
  for (FdtEntry& e : table)
    if (e.remaining > 0)
      --e.remaining;
}

std::vector<uint8_t> fdt_encode_ack(const std::vector<FdtEntry>& table)
{
  std::vector<uint8_t> data;
  for (const FdtEntry& e : table) {
    if (e.remaining == 0)
      continue;
    if (data.size() + kFdtAckEntryLength > kLargestAckData)
      break;
    uint8_t octets[kFdtAckEntryLength];
    bip_encode({e.ip, e.port}, octets);
    bvlc_put16(octets + 6, e.time_to_live);
    bvlc_put16(octets + 8, e.remaining);
    data.insert(data.end(), octets, octets + kFdtAckEntryLength);
  }
  return data;
}
