// Figures for the value library's hot paths: deep copies of large lists (every property
// read copies one), the total order that sorted object lists use, and element appends.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

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

}  // namespace
