// The tshark check itself must tell a good frame from a malformed one, or every test on it is blind.
#include "support/tshark.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(TsharkSupport, AcceptsAWhoIsAndFlagsATruncatedReadProperty)
{
  UdpFrame who_is{wrap_apdu({0x10, 0x08})};
  UdpFrame broken{wrap_apdu({0x00, 0x05, 0x01, 0x0C, 0x0C, 0x02}, true)};
  TsharkResult good = dissect("support_whois", {who_is}, {"bacapp.unconfirmed_service"});
  ASSERT_TRUE(good.ran) << good.diagnostics;
  EXPECT_EQ(good.malformed + good.expert_errors, 0) << good.diagnostics;
  ASSERT_EQ(good.fields.size(), 1u);
  EXPECT_EQ(good.fields[0], "8");

  TsharkResult bad = dissect("support_broken", {broken});
  ASSERT_TRUE(bad.ran);
  EXPECT_GT(bad.malformed + bad.expert_errors, 0);
}
