// The confirmed requests that API clients sent through command 102 and whose answers are
// still to come: a fixed table of 128 entries, each naming the client's request id and the
// connection. Guarded by the global lock; taken on connection threads, ended on the stack
// thread (answers), the port thread (time-outs) and wherever a connection is destroyed.
// Must not: hand out a token twice, or keep an entry of a connection that is gone.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kApiPendingEntries = 128;

// A new entry for the request; its token (never 0, never reused), or 0 when all are taken.
uint64_t api_pending_take(uint64_t client_serial, uint32_t request_id);
// Ends the entry of the token: true with its request id and connection when it was there.
bool api_pending_remove(uint64_t token, uint32_t* request_id, uint64_t* client_serial);
// Ends every entry of a connection.
void api_pending_drop_client(uint64_t client_serial);
// Ends the entries taken `timeout_ms` or longer before `now_ms` (monotonic); how many.
std::size_t api_pending_expire(int64_t now_ms, int64_t timeout_ms);
std::size_t api_pending_count();
void api_pending_clear();
