#include "bacnet/datalink/datalink_port.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Lookup {
  int result;
  std::string value;
};

Lookup lookup(const char* connect, const char* key)
{
  char name[kDatalinkParamLength] = {};
  char value[kDatalinkParamLength] = {};
  int r = datalink_get_param(connect, key, name, value);
  return {r, r == 0 ? std::string(value) : std::string()};
}

TEST(ConnectString, PairsAreFoundOnlyWhenClosed)
{
  const char* s = "TYPE=BACNETIP;NETWORK=1;IPADDRESS=10.0.0.2;PORT=47808";
  EXPECT_EQ(lookup(s, "TYPE").value, "BACNETIP");
  EXPECT_EQ(lookup(s, "NETWORK").value, "1");
  EXPECT_EQ(lookup(s, "IPADDRESS").value, "10.0.0.2");
  EXPECT_EQ(lookup(s, "PORT").result, -1);
  EXPECT_EQ(lookup("TYPE=BACNETIP;NETWORK=1;IPADDRESS=10.0.0.2;UDPPORT=47809;", "UDPPORT").value, "47809");
}

TEST(ConnectString, NamesAreExactAndTheFirstPairWins)
{
  EXPECT_EQ(lookup("type=A;TYPE=B;", "TYPE").value, "B");
  EXPECT_EQ(lookup("TYPE=A;TYPE=B;", "TYPE").value, "A");
  EXPECT_EQ(lookup(" TYPE=A;", "TYPE").result, -1);  // no trimming
  EXPECT_EQ(lookup("TYPE= A ;", "TYPE").value, " A ");
  EXPECT_EQ(lookup("TYPE=;", "TYPE").value, "");
}

TEST(ConnectString, AMalformedPairEndsTheScan)
{
  EXPECT_EQ(lookup("TYPE=BACNETIP;BROKEN;NETWORK=1;", "NETWORK").result, -1);
  EXPECT_EQ(lookup("A;B=1;", "B").result, -1);  // "=" behind the first ";"
  EXPECT_EQ(lookup("TYPE=BACNETIP", "TYPE").result, -1);
  EXPECT_EQ(lookup("", "TYPE").result, -1);
}

TEST(ConnectString, NextParamReportsConsumedCharacters)
{
  char name[kDatalinkParamLength] = "untouched";
  char value[kDatalinkParamLength] = "untouched";
  EXPECT_EQ(datalink_next_param("A=1;B=2;", name, value), 4);
  EXPECT_STREQ(name, "A");
  EXPECT_STREQ(value, "1");
  // The last pair is delivered, but the scan ends there.
  EXPECT_EQ(datalink_next_param("B=2;", name, value), -1);
  EXPECT_STREQ(name, "B");
  EXPECT_STREQ(value, "2");
  EXPECT_EQ(datalink_next_param("no pair", name, value), -1);
  EXPECT_STREQ(name, "B");
}

TEST(ConnectString, NameAndValueLengthsAreLimited)
{
  std::string name255(255, 'N');
  std::string value254(254, 'v');
  EXPECT_EQ(lookup((name255 + "=" + value254 + ";X=1;").c_str(), name255.c_str()).value, value254);
  std::string name256(256, 'N');
  EXPECT_EQ(lookup((name256 + "=1;").c_str(), name256.c_str()).result, -1);
  std::string value255(255, 'v');
  EXPECT_EQ(lookup(("K=" + value255 + ";").c_str(), "K").result, -1);
}

TEST(ConnectString, MissingArgumentsAreRefused)
{
  char name[kDatalinkParamLength];
  char value[kDatalinkParamLength];
  EXPECT_EQ(datalink_get_param(nullptr, "TYPE", name, value), -1);
  EXPECT_EQ(datalink_get_param("TYPE=A;", nullptr, name, value), -1);
  EXPECT_EQ(datalink_get_param("TYPE=A;", "TYPE", nullptr, value), -1);
}

}  // namespace
