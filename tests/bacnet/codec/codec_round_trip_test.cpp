// Every service, acknowledgement, error form and constructed datatype: what the encoder
// writes, the decoder reads back into a record that encodes to the same octets.
#include "codec_samples.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

void expect_round_trips(const std::vector<Sample>& samples)
{
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.name);
    if (!sample.reencode)
      continue;
    std::vector<uint8_t> again;
    ASSERT_EQ(sample.reencode(sample.data, &again), 0) << hex_of(sample.data);
    EXPECT_EQ(hex_of(again), hex_of(sample.data));
  }
}

TEST(RoundTrip, EveryServiceReadsBackToTheSameOctets)
{
  std::vector<Sample> samples = service_samples();
  expect_round_trips(samples);
  // Only the requests the local device sends and never answers lack a decoder.
  std::vector<std::string> encode_only;
  for (const Sample& sample : samples)
    if (!sample.reencode)
      encode_only.push_back(sample.name);
  EXPECT_EQ(encode_only, (std::vector<std::string>{"get-alarm-summary", "read-property-conditional", "authenticate",
                                                   "request-key"}));
}

TEST(RoundTrip, EveryConstructedDatatypeReadsBackThroughItsProperty)
{
  expect_round_trips(datatype_samples());
}

}  // namespace
