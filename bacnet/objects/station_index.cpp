#include "bacnet/objects/station_index.h"

#include "bacnet/binding/address_binding.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"

#include <algorithm>
#include <limits>
#include <new>
#include <unordered_map>

namespace {

uint64_t identifier(uint32_t type, uint32_t instance) { return uint64_t(type) << 32 | instance; }

struct Holder {
  std::size_t rank;
  uint32_t device;
};

struct Station {
  std::unordered_map<uint32_t, std::size_t> rank;  // member -> its place in the order they came
  // identifier -> the members holding one, the first comer first: it answers, the next one once
  // its object goes
  std::unordered_map<uint64_t, std::vector<Holder>> holders;
};

// What the stations are built from: address binding's members as they come, and the objects.
struct Stations {
  StationMembersSeen seen;
  uint64_t changes = std::numeric_limits<uint64_t>::max();  // address binding's member changes taken
  int32_t own = -1;
  std::vector<uint32_t> networks;  // every network with a member, in the order they got their first
  std::unordered_map<uint32_t, Station> by_network;
  std::unordered_map<uint32_t, std::vector<uint32_t>> networks_of;  // member -> its networks, in the order it came
};

Stations g;
// Every local device's object identifiers, as the object table makes and removes them, so that
// a device that comes to a station brings its objects there at a cost of its own objects.
std::unordered_map<uint32_t, std::vector<uint64_t>> g_objects;
// Memory ran out while following a change: everything is taken again at the next look.
bool g_lost = false;

void lose()
{
  g = Stations{};
  g_objects.clear();
  g_lost = true;
}

// Reads the objects from the table again after a loss; stays lost when memory is still short.
void take_objects()
{
  g = Stations{};
  g_objects.clear();
  try {
    objtable_walk([](const ObjectTableEntry& e) {
      if (e.object)
        g_objects[e.owner].push_back(identifier(e.object->id.type, e.object->id.instance));
      return true;
    });
  } catch (const std::bad_alloc&) {
    g_objects.clear();
    return;
  }
  g_lost = false;
}

// The newest comer to the station: its objects answer where no one holds theirs yet.
void arrive(const StationMember& member)
{
  auto device = uint32_t(member.instance);
  auto [it, first] = g.by_network.try_emplace(member.network);
  if (first)
    g.networks.push_back(member.network);
  Station& station = it->second;
  auto [ranked, came] = station.rank.try_emplace(device, station.rank.size());
  if (!came)
    return;
  g.networks_of[device].push_back(member.network);
  if (auto objects = g_objects.find(device); objects != g_objects.end())
    for (uint64_t id : objects->second)
      station.holders[id].push_back({ranked->second, device});
}

void take_members()
{
  uint64_t changes = address_binding_station_changes();
  if (changes == g.changes)
    return;
  std::vector<StationMember> came;
  StationMembersSeen seen = g.seen;
  int taken = address_binding_station_members(&came, &seen);
  if (taken < 0)
    return;  // stays behind: the next look tries again
  if (taken == 1)
    g = Stations{};
  g.own = address_binding_get_local_instance(nullptr);
  for (const StationMember& member : came)
    arrive(member);
  g.seen = seen;
  g.changes = changes;
}

void ensure_current()
{
  try {
    if (g_lost)
      take_objects();
    if (!g_lost)
      take_members();
  } catch (const std::bad_alloc&) {
    lose();
  }
}

const std::vector<uint32_t>* member_networks(uint32_t device)
{
  auto it = g.networks_of.find(device);
  return it != g.networks_of.end() ? &it->second : nullptr;
}

const std::vector<uint32_t>* networks_of(uint32_t device)
{
  return int32_t(device) == g.own ? &g.networks : member_networks(device);
}

bool at_station(const Station& station, uint32_t device)
{
  return int32_t(device) == g.own || station.rank.count(device) != 0;
}

int64_t holder_at(uint32_t network, uint32_t owner, uint64_t id)
{
  auto it = g.by_network.find(network);
  if (it == g.by_network.end() || !at_station(it->second, owner))
    return -1;
  auto held = it->second.holders.find(id);
  return held != it->second.holders.end() ? int64_t(held->second.front().device) : -1;
}

}  // namespace

int64_t station_index_holder(int32_t network, uint32_t owner, uint32_t type, uint32_t instance)
{
  ensure_current();
  if (g.by_network.empty())
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
  auto it = g.by_network.find(uint32_t(network));
  return network >= 0 && it != g.by_network.end() && at_station(it->second, owner) && at_station(it->second, device);
}

std::vector<uint32_t> station_index_networks(uint32_t device)
{
  ensure_current();
  const std::vector<uint32_t>* networks = networks_of(device);
  return networks ? *networks : std::vector<uint32_t>{};
}

void station_index_made(uint32_t owner, uint32_t type, uint32_t instance)
{
  if (g_lost)
    return;
  uint64_t id = identifier(type, instance);
  try {
    g_objects[owner].push_back(id);
    if (const std::vector<uint32_t>* networks = member_networks(owner))
      for (uint32_t network : *networks) {
        Station& station = g.by_network[network];
        std::size_t rank = station.rank[owner];
        std::vector<Holder>& holders = station.holders[id];
        auto later = std::upper_bound(holders.begin(), holders.end(), rank,
                                      [](std::size_t r, const Holder& h) { return r < h.rank; });
        holders.insert(later, {rank, owner});
      }
  } catch (const std::bad_alloc&) {
    lose();
  }
}

void station_index_removed(uint32_t owner, uint32_t type, uint32_t instance)
{
  if (g_lost)
    return;
  uint64_t id = identifier(type, instance);
  if (auto objects = g_objects.find(owner); objects != g_objects.end()) {
    std::erase(objects->second, id);
    if (objects->second.empty())
      g_objects.erase(objects);
  }
  const std::vector<uint32_t>* networks = member_networks(owner);
  if (!networks)
    return;
  // The object it hid answers now: the next holder, in the order they came.
  for (uint32_t network : *networks) {
    Station& station = g.by_network[network];
    auto held = station.holders.find(id);
    if (held == station.holders.end())
      continue;
    std::erase_if(held->second, [owner](const Holder& h) { return h.device == owner; });
    if (held->second.empty())
      station.holders.erase(held);
  }
}

void station_index_clear()
{
  g = Stations{};
  g_objects.clear();
  g_lost = false;
}
