// Figures of the object database: finding objects by key in a populated table, reading and
// writing properties through the network door, the device's object list, and typical
// constructed values written to and read from the objects file's form.
#include <benchmark/benchmark.h>

#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/objects/serialize.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "bench_records.h"

namespace {

constexpr uint32_t kOwner = 1234;

void populate(uint32_t count)
{
  objtable_destroy();
  objtable_create();
  for (uint32_t i = 0; i < count; ++i)
    object_CreateObject(kOwner, i % 3, i);
}

void BM_FindObject(benchmark::State& state)
{
  uint32_t count = static_cast<uint32_t>(state.range(0));
  populate(count);
  uint32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(object_Find(kOwner, i % 3, i));
    i = (i + 7) % count;
  }
  objtable_destroy();
}
BENCHMARK(BM_FindObject)->Arg(100)->Arg(10000);

void BM_ReadPresentValue(benchmark::State& state)
{
  populate(1000);
  OwnedValue v;
  for (auto _ : state) {
    object_ReadObjectProperty(0, kOwner, 1, 1, 85, -1, v.get());
    benchmark::DoNotOptimize(v);
  }
  objtable_destroy();
}
BENCHMARK(BM_ReadPresentValue);

void BM_WriteHighLimit(benchmark::State& state)
{
  populate(1000);
  OwnedValue v;
  float limit = 50;
  value_set_real(&limit, v.get());
  for (auto _ : state)
    benchmark::DoNotOptimize(object_WriteObjectProperty(0, kOwner, 0, 0, 45, -1, v.get(), 0));
  objtable_destroy();
}
BENCHMARK(BM_WriteHighLimit);

void BM_ObjectList(benchmark::State& state)
{
  populate(static_cast<uint32_t>(state.range(0)));
  OwnedValue list;
  for (auto _ : state)
    benchmark::DoNotOptimize(objtable_object_list(kOwner, list.get()));
  objtable_destroy();
}
BENCHMARK(BM_ObjectList)->Arg(100)->Arg(1000);

using bench_records::action_commands;
using bench_records::destination_list;
using bench_records::event_parameter;

void BM_WriteFileRecords(benchmark::State& state, BACnetValue (*make)())
{
  OwnedValue value(make());
  std::vector<uint8_t> out;
  if (!serialize_WriteValue(out, value.get()))
    state.SkipWithError("not written");
  for (auto _ : state) {
    out.clear();
    benchmark::DoNotOptimize(serialize_WriteValue(out, value.get()));
  }
}
BENCHMARK_CAPTURE(BM_WriteFileRecords, DestinationList, destination_list);
BENCHMARK_CAPTURE(BM_WriteFileRecords, EventParameter, event_parameter);
BENCHMARK_CAPTURE(BM_WriteFileRecords, ActionCommandList, action_commands);

void BM_ReadFileRecords(benchmark::State& state, BACnetValue (*make)())
{
  OwnedValue value(make());
  std::vector<uint8_t> bytes;
  serialize_WriteValue(bytes, value.get());
  auto read = [&](BACnetValue* into) {
    SerializeReader reader{bytes.data(), bytes.size()};
    return serialize_ReadValue(reader, into);
  };
  OwnedValue check;
  if (read(check.get()) != 0 || value_order(check.get(), value.get()) != 0)
    state.SkipWithError("no round trip");
  for (auto _ : state) {
    OwnedValue into;
    benchmark::DoNotOptimize(read(into.get()));
  }
}
BENCHMARK_CAPTURE(BM_ReadFileRecords, DestinationList, destination_list);
BENCHMARK_CAPTURE(BM_ReadFileRecords, EventParameter, event_parameter);
BENCHMARK_CAPTURE(BM_ReadFileRecords, ActionCommandList, action_commands);

}  // namespace
