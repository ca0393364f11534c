// The MS/TP datalink: a master node on an RS-485 line behind a serial device. The port
// thread runs the Master Node machine (token passing, polling, answering) on the line and
// hands received NPDUs to the network layer; bacnetmstp_send runs on the stack thread and only
// queues (requests wait for the token, answers for their requester) and wakes the port thread.
// Must not call the network layer other than through network_receive.
#pragma once

#include "bacnet/datalink/datalink_port.h"
#include "bacnet/datalink/mstp_master.h"
#include "bacnet/datalink/serial_port.h"
#include "bacnet/foundation/bacnet_numbers.h"

#include <cstdint>
#include <memory>
#include <span>

// The option byte of the driver context that switches on the frame trace, and its level.
inline constexpr int kMstpTraceOption = 9;
inline constexpr int kMstpLogLevel = 9;

struct MstpLink : DatalinkLinkData {
  MstpParameters parameters;
  SerialLine line;
  MstpQueues queues;
};

void bacnetmstp_set_trace(const DriverContext& context);
std::unique_ptr<DatalinkLinkData> bacnetmstp_make_link_data();
// Reads the connect string (PORT or DEVICE, BAUDRATE, DATABITS, STOPBITS, HANDSHAKING, TS and
// the machine's timers and counts), opens the line and registers the port's own address.
int bacnetmstp_open(DatalinkPort* port);
// Runs the Master Node machine on the port's line until the port stops; returns 0.
uint32_t bacnetmstp_run(DatalinkPort* port);
// Queues an NPDU of 1 to 501 octets; -1 (nothing queued) for anything else, a destination
// that is no MS/TP station, or a full queue.
int bacnetmstp_send(DatalinkPort* port, const BACnetAddress& source, const BACnetAddress& destination,
                    std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority);
void bacnetmstp_close(DatalinkPort* port);

// The Device object's properties that describe the station: Max_Info_Frames and Max_Master,
// taken from the stack's first MS/TP port. Reading gives an UNSIGNED (the value library's
// result); 1 when the stack has no MS/TP port or for any other property; a write gives -1.
int bacnetmstp_read_device_property(uint32_t property, BACnetValue* value, uint8_t write_flag);

MstpLink* bacnetmstp_link(DatalinkPort* port);
// True for an NPDU that carries a confirmed or unconfirmed request: it waits for the token.
bool mstp_npdu_is_request(std::span<const uint8_t> npdu);
