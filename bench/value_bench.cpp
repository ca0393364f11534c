// Figures for the value library's hot paths: deep copies of large lists (every property
// read copies one), the total order that sorted object lists use, element appends, and the
// copy and order of typical constructed values, walked record by record.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "bench_records.h"

namespace {

BACnetValue object_list(uint32_t n)
{
  BACnetValue list{};
  value_init(&list, TAG_OBJECT_ID_LIST);
  for (uint32_t i = 0; i < n; ++i) {
    BACnetObjectId id{i % 20, i};
    BACnetValue element{};
    value_set_objectid(&id, &element);
    value_array_append(list.payload.array, &element);
  }
  return list;
}

void CopyObjectList(benchmark::State& state)
{
  OwnedValue source(object_list(static_cast<uint32_t>(state.range(0))));
  for (auto _ : state) {
    OwnedValue copy;
    value_assign(copy.get(), source.get(), -1);
    benchmark::DoNotOptimize(copy->payload.array);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(CopyObjectList)->Arg(100)->Arg(10000);

void SortTexts(benchmark::State& state)
{
  std::mt19937 random(1);
  std::vector<BACnetValue> texts(static_cast<size_t>(state.range(0)));
  for (BACnetValue& v : texts)
    value_set_charstring(std::to_string(random()).c_str(), &v);
  for (auto _ : state) {
    state.PauseTiming();
    std::shuffle(texts.begin(), texts.end(), random);
    state.ResumeTiming();
    std::sort(texts.begin(), texts.end(), value_less);
  }
  for (BACnetValue& v : texts)
    value_free(&v);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SortTexts)->Arg(1000);

void AppendUnsigned(benchmark::State& state)
{
  for (auto _ : state) {
    OwnedValue list;
    value_init(list.get(), TAG_UNSIGNED_LIST);
    for (uint32_t i = 0; i < 1000; ++i) {
      BACnetValue e{};
      value_set_unsigned(&i, &e);
      value_array_append(list->payload.array, &e);
    }
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(AppendUnsigned);

using bench_records::action_commands;
using bench_records::destination_list;
using bench_records::event_parameter;
using bench_records::property_values;

void CopyRecords(benchmark::State& state, BACnetValue (*make)())
{
  OwnedValue source(make());
  OwnedValue check;
  if (value_assign(check.get(), source.get(), -1) != 0 || value_order(check.get(), source.get()) != 0)
    state.SkipWithError("no copy");
  for (auto _ : state) {
    OwnedValue copy;
    value_assign(copy.get(), source.get(), -1);
    benchmark::DoNotOptimize(copy->payload.record);
  }
}
BENCHMARK_CAPTURE(CopyRecords, DestinationList, destination_list);
BENCHMARK_CAPTURE(CopyRecords, EventParameter, event_parameter);
BENCHMARK_CAPTURE(CopyRecords, PropertyValueList, property_values);
BENCHMARK_CAPTURE(CopyRecords, ActionCommandList, action_commands);

// Two equal values: the order walks every field it orders by.
void OrderRecords(benchmark::State& state, BACnetValue (*make)())
{
  OwnedValue a(make());
  OwnedValue b(make());
  for (auto _ : state)
    benchmark::DoNotOptimize(value_order(a.get(), b.get()));
}
BENCHMARK_CAPTURE(OrderRecords, DestinationList, destination_list);
BENCHMARK_CAPTURE(OrderRecords, EventParameter, event_parameter);
BENCHMARK_CAPTURE(OrderRecords, PropertyValueList, property_values);
BENCHMARK_CAPTURE(OrderRecords, ActionCommandList, action_commands);

}  // namespace
