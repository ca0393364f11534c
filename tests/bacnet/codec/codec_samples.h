// The main-road PDUs as the codec encodes them, shared by the peer checks: each sample is
// the service data of one encoder and the APDU header it travels behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace codectest {

enum class PduKind { Unconfirmed, Confirmed, ComplexAck, Error, Whole };

struct Sample {
  std::string name;
  PduKind kind;
  uint8_t service;  // service choice (unused for whole PDUs)
  std::vector<uint8_t> data;
};

constexpr uint8_t kInvokeId = 0x2A;

// Every encoder of the main road once (twice where the access or choice differs).
std::vector<Sample> main_road_samples();

// The sample behind its APDU header.
std::vector<uint8_t> apdu_of(const Sample& sample);

}  // namespace codectest
