// The two checksums of the BACnet serial frames (MS/TP and point-to-point): the header CRC-8
// and the data CRC-16, each as one step per octet and as the value sent on the wire. Pure
// functions without state; any thread.
#pragma once

#include <cstdint>
#include <span>

// A received header (its CRC octet included) or data part (both CRC octets included) run
// through the steps from the start value leaves these remainders when it is intact.
inline constexpr uint8_t kHeaderCrcStart = 0xFF;
inline constexpr uint8_t kHeaderCrcGood = 0x55;
inline constexpr uint16_t kDataCrcStart = 0xFFFF;
inline constexpr uint16_t kDataCrcGood = 0xF0B8;

uint8_t header_crc_step(uint8_t octet, uint8_t crc);
uint16_t data_crc_step(uint8_t octet, uint16_t crc);

// The octet sent after the header: the ones' complement of the CRC over `header`.
uint8_t header_crc(std::span<const uint8_t> header);
// The value sent after the data, least significant octet first: the ones' complement of the
// CRC over `data`.
uint16_t data_crc(std::span<const uint8_t> data);
