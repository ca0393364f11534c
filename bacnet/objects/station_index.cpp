#include "bacnet/objects/station_index.h"

#include "bacnet/binding/address_binding.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"

#include <algorithm>
#include <new>
#include <unordered_map>

namespace {

uint64_t identifier(uint32_t type, uint32_t instance) { return uint64_t(type) << 32 | instance; }

struct Station {
  std::vector<uint32_t> members;                   // in the order they came
  std::unordered_map<uint32_t, std::size_t> rank;  // member -> its place in `members`
  std::unordered_map<uint64_t, uint32_t> holders;  // identifier -> the member whose object answers
};

struct StationIndex {
  bool built = false;
  uint64_t built_for = 0;  // address binding's member changes the index was built from
  int32_t own = -1;
  std::vector<uint32_t> networks;  // every network with a member, in the order they got their first
  std::unordered_map<uint32_t, Station> stations;
  std::unordered_map<uint32_t, std::vector<uint32_t>> networks_of;  // member -> its networks, in the order it came
};

StationIndex g;

// Where two members hold one identifier, the one that came to the station first keeps it.
void offer(Station& station, uint64_t id, uint32_t owner)
{
  auto [it, inserted] = station.holders.try_emplace(id, owner);
  if (!inserted && station.rank[owner] < station.rank[it->second])
    it->second = owner;
}

void build()
{
  g = StationIndex{};
  g.built_for = address_binding_station_changes();
  g.own = address_binding_get_local_instance(nullptr);
  std::vector<StationMember> members;
  if (address_binding_station_members(&members) != 0)
    return;  // stays unbuilt: the next look tries again
  try {
    for (const StationMember& m : members) {
      auto device = uint32_t(m.instance);
      auto [it, first] = g.stations.try_emplace(m.network);
      if (first)
        g.networks.push_back(m.network);
      it->second.rank.emplace(device, it->second.members.size());
      it->second.members.push_back(device);
      g.networks_of[device].push_back(m.network);
    }
    objtable_walk([](const ObjectTableEntry& e) {
      auto of = g.networks_of.find(e.owner);
      if (of != g.networks_of.end())
        for (uint32_t network : of->second)
          offer(g.stations[network], identifier(e.object->id.type, e.object->id.instance), e.owner);
      return true;
    });
  } catch (const std::bad_alloc&) {
    g = StationIndex{};
    return;
  }
  g.built = true;
}

bool current() { return g.built && g.built_for == address_binding_station_changes(); }

void ensure_current()
{
  if (!current())
    build();
}

const std::vector<uint32_t>* networks_of(uint32_t device)
{
  if (int32_t(device) == g.own)
    return &g.networks;
  auto it = g.networks_of.find(device);
  return it != g.networks_of.end() ? &it->second : nullptr;
}

// The networks of a member whose objects the index follows as they are made and removed; null
// for any other owner, and while the index is out of date (it is built again, with every
// object, at the next look).
const std::vector<uint32_t>* followed(uint32_t owner)
{
  return current() && int32_t(owner) != g.own ? networks_of(owner) : nullptr;
}

bool at_station(const Station& station, uint32_t device)
{
  return int32_t(device) == g.own || station.rank.count(device) != 0;
}

int64_t holder_at(uint32_t network, uint32_t owner, uint64_t id)
{
  auto it = g.stations.find(network);
  if (it == g.stations.end() || !at_station(it->second, owner))
    return -1;
  auto held = it->second.holders.find(id);
  return held != it->second.holders.end() ? int64_t(held->second) : -1;
}

}  // namespace

int64_t station_index_holder(int32_t network, uint32_t owner, uint32_t type, uint32_t instance)
{
  ensure_current();
  if (g.stations.empty())
    return -1;
  // The own device comes first at every station.
  if (int32_t(owner) != g.own && g.own >= 0 && object_Find(uint32_t(g.own), type, instance)) {
    bool shared = network >= 0 ? station_index_share(network, owner, uint32_t(g.own)) : networks_of(owner) != nullptr;
    if (shared)
      return g.own;
  }
  uint64_t id = identifier(type, instance);
  if (network >= 0)
    return holder_at(uint32_t(network), owner, id);
  if (const std::vector<uint32_t>* networks = networks_of(owner))
    for (uint32_t n : *networks)
      if (int64_t holder = holder_at(n, owner, id); holder >= 0)
        return holder;
  return -1;
}

bool station_index_share(int32_t network, uint32_t owner, uint32_t device)
{
  ensure_current();
  auto it = g.stations.find(uint32_t(network));
  return network >= 0 && it != g.stations.end() && at_station(it->second, owner) && at_station(it->second, device);
}

std::vector<uint32_t> station_index_networks(uint32_t device)
{
  ensure_current();
  const std::vector<uint32_t>* networks = networks_of(device);
  return networks ? *networks : std::vector<uint32_t>{};
}

void station_index_made(uint32_t owner, uint32_t type, uint32_t instance)
{
  const std::vector<uint32_t>* networks = followed(owner);
  if (!networks)
    return;
  try {
    for (uint32_t network : *networks)
      offer(g.stations[network], identifier(type, instance), owner);
  } catch (const std::bad_alloc&) {
    g.built = false;
  }
}

void station_index_removed(uint32_t owner, uint32_t type, uint32_t instance)
{
  const std::vector<uint32_t>* networks = followed(owner);
  if (!networks)
    return;
  uint64_t id = identifier(type, instance);
  for (uint32_t network : *networks) {
    Station& station = g.stations[network];
    auto held = station.holders.find(id);
    if (held == station.holders.end() || held->second != owner)
      continue;
    // The object it hid answers now: the next member, in the order they came, that holds one.
    station.holders.erase(held);
    for (uint32_t member : station.members)
      if (member != owner && object_Find(member, type, instance)) {
        station.holders.emplace(id, member);
        break;
      }
  }
}

void station_index_clear() { g = StationIndex{}; }
