// PDUs as the codec encodes them, shared by the round trips and the peer checks: each sample
// is the service data of one encoder and the APDU header it travels behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace codectest {

enum class PduKind { Unconfirmed, Confirmed, ComplexAck, Error };

struct Sample {
  std::string name;
  PduKind kind;
  uint8_t service;  // service choice
  std::vector<uint8_t> data;
  // Decodes `data` with the service's decoder and encodes the record again (0, or the first
  // failure; -100 when octets were left). Empty for requests the local device only sends.
  std::function<int(const std::vector<uint8_t>&, std::vector<uint8_t>*)> reencode = nullptr;
};

constexpr uint8_t kInvokeId = 0x2A;

// Every encoder of the main road once (twice where the access or choice differs).
std::vector<Sample> main_road_samples();

// Every other service request, acknowledgement and error form, each choice once or more.
std::vector<Sample> service_samples();

// ReadProperty acknowledgements whose values are the constructed datatypes, one property
// (or more) for each.
std::vector<Sample> datatype_samples();

// The sample behind its APDU header.
std::vector<uint8_t> apdu_of(const Sample& sample);

}  // namespace codectest
