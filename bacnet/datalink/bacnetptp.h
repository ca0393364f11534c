// The point-to-point datalink: BACnet over a serial line to one peer, directly or through a
// modem it dials. The port thread runs the link, receive and transmit machines (ptp_machine)
// on the line and hands received NPDUs to the network layer; bacnetptp_send runs on the stack
// thread and only queues and wakes the port thread; the port manager asks for the hang-up at
// shut-down. Must not call the network layer other than through network_receive.
#pragma once

#include "bacnet/datalink/datalink_port.h"
#include "bacnet/datalink/ptp_machine.h"
#include "bacnet/datalink/serial_port.h"

#include <cstdint>
#include <memory>
#include <span>

// The option byte of the driver context that switches on the trace, and its level.
inline constexpr int kPtpTraceOption = 6;
inline constexpr int kPtpLogLevel = 5;

struct PtpLink : DatalinkLinkData {
  SerialLine line;
  PtpSettings settings;
  PtpShared shared;
};

void bacnetptp_set_trace(const DriverContext& context);
std::unique_ptr<DatalinkLinkData> bacnetptp_make_link_data();
// Reads the connect string (PORT or DEVICE, BAUDRATE, DATABITS, STOPBITS, HANDSHAKING,
// DIALSTRING, PASSWORD, CONNECT, and GUARDTIME: the modem's escape guard time in ms, default
// 1000), opens the line and registers the port's own address (MAC 0; the peer is MAC 1).
int bacnetptp_open(DatalinkPort* port);
// Runs the machines on the port's line until the port stops; returns 0.
uint32_t bacnetptp_run(DatalinkPort* port);
// Queues an NPDU of 1 to 501 octets while the link is up and fewer than 32 wait; else -1.
int bacnetptp_send(DatalinkPort* port, const BACnetAddress& source, const BACnetAddress& destination,
                   std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority);
void bacnetptp_close(DatalinkPort* port);

// 0 down or hanging up, 1 connecting, 2 up; -1 for a port of another type. Also the port's
// link-state function for the network layer.
int bacnetptp_get_connection_state(DatalinkPort* port);
void bacnetptp_request_disconnect(DatalinkPort* port);
bool bacnetptp_link_closed(DatalinkPort* port);

PtpLink* bacnetptp_link(DatalinkPort* port);
