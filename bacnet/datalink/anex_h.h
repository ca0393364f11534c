// The Annex H datalink: an in-process tunnel port. Every NPDU the network layer sends on it,
// but those for the global broadcast network, is handed back to the network layer as received
// on this port, with the addresses of the send. anex_h_enqueue_frame runs on the stack thread
// and only queues and wakes; the port thread empties the ring. Nothing goes on any wire.
#pragma once

#include "bacnet/datalink/datalink_port.h"
#include "bacnet/network/datalink_queue.h"

#include <cstdint>
#include <memory>
#include <span>

// The option byte of the driver context that switches on the hex dumps, and their level.
inline constexpr int kAnexHTraceOption = 18;
inline constexpr int kAnexHLogLevel = 12;
// The longest NPDU the tunnel carries.
inline constexpr std::size_t kAnexHMaxNpdu = 2040;

struct AnexHLink : DatalinkLinkData {
  DatalinkQueue ring;
};

void anex_h_set_log_callback(const DriverContext& context);
std::unique_ptr<DatalinkLinkData> anex_h_make_link_data();
// Reads no key besides TYPE and NETWORK; the port's MAC is the single octet 0.
int anex_h_open(DatalinkPort* port);
// Queues an NPDU of 1 to kAnexHMaxNpdu octets; -1 (nothing queued) otherwise or when full.
int anex_h_enqueue_frame(DatalinkPort* port, const BACnetAddress& source, const BACnetAddress& destination,
                         std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority);
// Delivers what is queued until the port stops; returns 0.
uint32_t anex_h_run(DatalinkPort* port);
void anex_h_clear_queue(DatalinkPort* port);

AnexHLink* anex_h_link(DatalinkPort* port);
