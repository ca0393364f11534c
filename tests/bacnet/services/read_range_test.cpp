#include "server_fixture.h"

#include "bacnet/objects/reporting_test_util.h"
#include "bacnet/services/read_range_services.h"

using namespace servertest;

namespace {

BACnetDateTime second_of(uint8_t second) { return {{126, 1, 5, 1}, {12, 0, second, 50}}; }

// A log record of 3.5 stamped 2026-01-05 12:00:<second>.50.
BACnetValue log_record(uint8_t second)
{
  BACnetValue v = objtest::element(TAG_LOG_RECORD);
  auto* r = value_record<BACnetLogRecord>(&v);
  r->timestamp = second_of(second);
  r->choice = 2;
  r->datum.real = 3.5f;
  return v;
}

TEST(ReadRangeSelection, RangesSelectTheirRecordsAndAnswersAreCut)
{
  const struct {
    const char* name;
    uint32_t range;
    uint32_t reference;
    int32_t count;
    uint8_t time;  // reference or beginning second
    uint8_t end;
    uint32_t used, total, limit;
    int error;  // the refusal's code, -1: selected
    uint32_t first, last;
    bool more, sequence;
  } cases[] = {
      {"everything", RANGE_NONE, 0, 0, 0, 0, 10, 10, 49, -1, 1, 11, false, false},
      {"position 1 count 100, code 5", RANGE_BY_POSITION, 1, 100, 0, 0, 10, 10, 49, -1, 1, 11, false, false},
      {"position 1 count 100, code 3", RANGE_BY_POSITION, 1, 100, 0, 0, 40, 40, 16, -1, 1, 17, true, false},
      {"position 3 count 2", RANGE_BY_POSITION, 3, 2, 0, 0, 10, 10, 49, -1, 3, 5, false, false},
      {"position 5 back 3", RANGE_BY_POSITION, 5, -3, 0, 0, 10, 10, 49, -1, 3, 6, false, false},
      {"position 2 back 5", RANGE_BY_POSITION, 2, -5, 0, 0, 10, 10, 49, -1, 1, 3, false, false},
      {"position 0", RANGE_BY_POSITION, 0, 1, 0, 0, 10, 10, 49, 7, 1, 1, false, false},
      {"position past the buffer", RANGE_BY_POSITION, 11, 1, 0, 0, 10, 10, 49, 7, 1, 1, false, false},
      {"count 0", RANGE_BY_POSITION, 1, 0, 0, 0, 10, 10, 49, 7, 1, 1, false, false},
      {"sequence of the oldest", RANGE_BY_SEQUENCE, 16, 3, 0, 0, 10, 25, 49, -1, 1, 4, false, true},
      {"sequence before the buffer", RANGE_BY_SEQUENCE, 14, 5, 0, 0, 10, 25, 49, -1, 1, 4, false, true},
      {"sequence back from the newest", RANGE_BY_SEQUENCE, 25, -3, 0, 0, 10, 25, 49, -1, 8, 11, false, true},
      {"sequences all after the newest", RANGE_BY_SEQUENCE, 30, 2, 0, 0, 10, 25, 49, -1, 1, 1, false, true},
      {"sequences all gone", RANGE_BY_SEQUENCE, 10, 3, 0, 0, 10, 25, 49, -1, 1, 1, false, true},
      {"sequence after the newest, back", RANGE_BY_SEQUENCE, 26, -2, 0, 0, 10, 25, 49, 37, 1, 1, false, true},
      {"sequence count 0", RANGE_BY_SEQUENCE, 20, 0, 0, 0, 10, 25, 49, 7, 1, 1, false, true},
      {"after a time", RANGE_BY_TIME, 0, 2, 3, 0, 10, 10, 49, -1, 4, 6, false, true},
      {"before a time", RANGE_BY_TIME_TAG4, 0, -2, 3, 0, 10, 10, 49, -1, 1, 3, false, true},
      {"before the first record", RANGE_BY_TIME, 0, -1, 1, 0, 10, 10, 49, 0, 1, 1, false, true},
      {"time count 0", RANGE_BY_TIME, 0, 0, 3, 0, 10, 10, 49, 37, 1, 1, false, true},
      {"a time range", RANGE_TIME_RANGE, 0, 0, 2, 6, 10, 10, 49, -1, 3, 6, false, false},
      {"a time range after the log", RANGE_TIME_RANGE, 0, 0, 20, 30, 10, 10, 49, 0, 1, 1, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BACnetValue> records;
    for (uint32_t i = 1; i <= c.used; ++i)
      records.push_back(log_record(uint8_t(i)));
    objtest::Value log;
    objtest::make_list(log, TAG_LOG_BUFFER, records);
    ReadRangeRequest r;
    r.range = c.range;
    r.reference = c.reference;
    r.count = c.count;
    r.time = second_of(c.time);
    r.end_time = second_of(c.end);
    RangeSelection s;
    uint32_t error = services_select_range(r, value_array(log.get()), c.total, c.limit, &s);
    if (c.error >= 0) {
      EXPECT_EQ(error, uint32_t(c.error) + 1);
      continue;
    }
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(s.first, c.first);
    EXPECT_EQ(s.last, c.last);
    EXPECT_EQ(s.more_items, c.more);
    EXPECT_EQ(s.sequence_reported, c.sequence);
  }
}

TEST(ReadRangeSelection, ReservedMaxApduCodesTakeOneRecord)
{
  for (uint8_t octet : {0x06, 0x07, 0x7F})
    EXPECT_EQ(services_read_range_limit(octet), 1u) << int(octet);
}

class ReadRange : public Server {
protected:
  void SetUp() override
  {
    Server::SetUp();
    ObjectRecord* log = object_CreateObject(kOwn, OBJECT_TREND_LOG, 1);
    BACnetValue* buffer = object_value(log, PROP_LOG_BUFFER);
    for (uint8_t second = 1; second <= 3; ++second) {
      BACnetValue r = log_record(second);
      value_array_append(buffer->payload.array, &r);
    }
    *object_word(log, PROP_TOTAL_RECORD_COUNT) = 7;
    object_CreateObject(kOwn, OBJECT_ANALOG_INPUT, 1);
  }
};

TEST_F(ReadRange, OnlyTheLogBufferOfAnExistingTrendLogIsRead)
{
  const struct {
    std::string request, error;
  } cases[] = {
      {"0C 00 00 00 01 19 55", "91 01 91 24"},  // Analog Input 1: unsupported-object-type
      {"0C 05 00 00 09 19 83", "91 01 91 1F"},  // no Trend Log 9: unknown-object
      {"0C 06 40 00 01 19 83", "91 01 91 1F"},  // a type the device does not know
      {"0C 05 00 00 01 19 55", "91 01 91 00"},  // not the log buffer
      {"0C 05 00 00 01 19 83 3E 21 00 31 01 3F", "91 01 91 07"},
      {"0C 05 00 00", "91 01 91 00"},  // does not decode
  };
  for (const auto& c : cases)
    EXPECT_EQ(ask(26, c.request), answer("50", "1A " + c.error)) << c.request;
}

}  // namespace
