// Which object answers an identifier at each shared station. Devices set up on a network
// without a station of their own share the own device's station there; at a station one
// identifier names one object: the own device's, else that of the device that came to the
// network first among those holding it. The index keeps, per network, the identifier's holder
// among the set-up devices, so that a request finds it at a cost that does not grow with their
// number. It follows the objects as the table makes and removes them and address binding's
// members as they come: a device that comes to a station brings its own objects there, and no
// change walks the whole table.
// Stack thread only, like the object table.
#pragma once

#include <cstdint>
#include <vector>

// For an identifier that `owner` does not hold: the local device whose object answers it at
// the station on `network` when `owner` is at that station (the own device, or a member
// there), the own device first; -1 when there is none. With `network` -1 (the stack's own access), the
// first such device at any station of `owner`, in the order the owner came to the networks.
int64_t station_index_holder(int32_t network, uint32_t owner, uint32_t type, uint32_t instance);
// Whether `device` (a local device) answers at `owner`'s station on `network`: both are the
// own device or members there.
bool station_index_share(int32_t network, uint32_t owner, uint32_t device);
// The networks of the stations `device` shares with others: for the own device every network
// with a member, for a member the networks it was set up on, in the order it came.
std::vector<uint32_t> station_index_networks(uint32_t device);

// The object table's notes: an object was made or removed under `owner`.
void station_index_made(uint32_t owner, uint32_t type, uint32_t instance);
void station_index_removed(uint32_t owner, uint32_t type, uint32_t instance);
// Forgets everything (the table is gone).
void station_index_clear();
