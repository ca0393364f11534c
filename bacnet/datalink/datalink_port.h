// The port manager: turns connect strings into running datalink ports, one thread per port,
// keeps the port table, registers every network port with the network layer and reports
// failures into the connect-string records. Also the max-APDU table of the ports.
// Creation and shut-down run on the stack thread; each port thread runs only its own port.
// It must not send or receive itself: the datalink named by the TYPE key does that, reached
// through the link-type table.
#pragma once

#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wake.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"
#include "bacnet/value/value_types.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

inline constexpr int kConnectStringRecords = 128;
inline constexpr int kConnectStringLength = 128;  // 127 characters and the terminating zero
inline constexpr int kDatalinkParamLength = 256;
// The option byte of the driver context that switches on the port manager's trace.
inline constexpr int kDatalinkTraceOption = 12;
inline constexpr int kDatalinkLogLevel = 13;

struct ConnectStringRecord {
  char connect[kConnectStringLength] = {};  // first character zero: empty, skipped
  char error[kConnectStringLength] = {};
  uint8_t status = 0;  // 0xFF once a failure was reported
};

// The connect strings of the start-up record, followed by the max-APDU code of every port.
struct ConnectStringTable {
  ConnectStringRecord records[kConnectStringRecords];
  uint8_t max_apdu_code = 0;
};

enum DatalinkLinkType : uint32_t {
  kLinkFree = 0,
  kLinkBacnetIp = 1,
  kLinkEthernet = 2,
  kLinkMstp = 3,
  kLinkLon = 4,
  kLinkApi = 5,
  kLinkPtp = 6,
  kLinkAnexH = 7,
};

enum DatalinkPortState : uint32_t {
  kPortStopped = 0,
  kPortRunning = 1,
  kPortReopen = 2,
  kPortOpened = 3,
  kPortReopenAfterSocketFailure = 4,
};

// The state block of one link type; each datalink derives its own.
struct DatalinkLinkData {
  virtual ~DatalinkLinkData() = default;
};

// The network part `net` is written by the datalink's open, which on a re-open runs on the
// port thread: it changes only under the process-wide lock.
struct DatalinkPort {
  std::thread thread;
  OsSemaphoreHandle semaphore = nullptr;
  std::atomic<uint8_t> running{0};  // 0xFF while the port is to run
  // Set by datalink_stop_port before the running flag is cleared, so that waits inside an
  // open (which may run before the thread exists) end early too.
  std::atomic<bool> stop_requested{false};
  // Ends the port thread's wait at once: a frame was queued for sending, or a stop came.
  OsWake wake;
  uint32_t link_type = kLinkFree;
  std::atomic<uint32_t> state{kPortStopped};
  NetworkPort net;
  std::string connect_string;
  bool has_connect_string = false;
  int8_t error_flag = 0;
  std::string error_text;
  std::unique_ptr<DatalinkLinkData> link_data;
  // Frames the link could not write; counted by the port thread, read by anyone.
  std::atomic<uint32_t> send_failures{0};
};

// What a datalink module provides to the port manager (one row per link type).
struct DatalinkLinkOps {
  const char* type_name = nullptr;  // the TYPE value
  void (*set_trace)(const DriverContext& context) = nullptr;
  // Null with no state block; the port creation then fails for a link type that needs one.
  std::unique_ptr<DatalinkLinkData> (*make_link_data)() = nullptr;
  int (*open)(DatalinkPort* port) = nullptr;
  uint32_t (*run)(DatalinkPort* port) = nullptr;
  void (*close)(DatalinkPort* port) = nullptr;
  const char* stop_text = nullptr;
  bool network_port = true;  // false: not registered with the network layer
  // Links that must hang up before they stop.
  void (*disconnect)(DatalinkPort* port) = nullptr;
  bool (*link_closed)(DatalinkPort* port) = nullptr;
};

// Replaces the row of a link type (1..7); returns the previous row. For datalinks built
// outside this folder and for tests.
DatalinkLinkOps datalink_set_link_ops(uint32_t link_type, const DatalinkLinkOps& ops);
const DatalinkLinkOps* datalink_link_ops(uint32_t link_type);

// Start-up: one port per non-empty record. 0, or -1 when any port failed.
int datalink_load_ports(const DriverContext* context, ConnectStringTable* table);
int datalink_create_port(ConnectStringRecord* record, uint8_t max_apdu_code);
int datalink_open_port(DatalinkPort* port);
int datalink_run_port(DatalinkPort* port);
int datalink_start_thread(DatalinkPort* port);
void datalink_thread(DatalinkPort* port);
void datalink_stop_port(DatalinkPort* port);
// Shut-down: stops every port and forgets the table.
void datalink_close_all();
void datalink_free_port(DatalinkPort* port);
DatalinkPort* datalink_alloc_port();
int datalink_alloc_link_data(DatalinkPort* port);
DatalinkPort* datalink_find_port_by_network(uint32_t network);
std::size_t datalink_port_count();
DatalinkPort* datalink_port_at(std::size_t index);

// Connect strings: pairs "name=value;". 0 with the value, -1 when the key is absent. Both
// buffers hold kDatalinkParamLength characters.
int datalink_get_param(const char* connect_string, const char* key, char* name, char* value);
// Splits the first pair of `text`: the characters consumed, or -1 (no pair, or the pair ends
// the text; in that case the pair is still delivered).
int datalink_next_param(const char* text, char* name, char* value);
// Convenience for the datalinks: the value of `key`, or false.
bool datalink_param(const DatalinkPort* port, const char* key, std::string* value);
// The value of `key` read leniently as a decimal number (what does not parse counts as 0), or
// `fallback` when the key is absent.
long datalink_param_number(const DatalinkPort* port, const char* key, long fallback);
// Strict readings of a value: a decimal number within min..max (an optional sign, then
// digits only), and a dotted IPv4 address (host byte order). False when the text does not
// parse: a port refuses to open rather than guess.
bool datalink_parse_number(const std::string& text, long min, long max, long* number);
bool datalink_parse_ipv4(const std::string& text, uint32_t* address);

void datalink_set_error(DatalinkPort* port, const char* text);
void datalink_report_error(ConnectStringRecord* record, const char* text);

// The end of a datalink's open: the port's max-APDU code limited to what the link carries,
// and address binding told of the port's own address.
void datalink_register_opened(DatalinkPort* port, uint8_t largest_max_apdu_code);
// The run of a datalink that works in passes: `pass` while the port state is running; a port
// asked to stop has `close` run and ends stopped. Returns the state the passes left.
uint32_t datalink_run_passes(DatalinkPort* port, void (*pass)(DatalinkPort* port), void (*close)(DatalinkPort* port));
// The trace of a frame: every octet as two hex digits and a space.
void datalink_append_hex(std::string& text, std::span<const uint8_t> octets);
// A frame the link could not write: counted on the port and, with a trace function, traced at
// the datalink's level as "Port 00 Send failed to <peer>, <unit> dropped". A silent drop would
// look like a peer that never answers.
void datalink_send_failed(DatalinkPort* port, DriverLogFunction trace, int level, const std::string& peer,
                          const char* unit);

// Sleeps up to `milliseconds`; false as soon as the port is asked to stop (a stop wakes it).
bool datalink_wait(DatalinkPort* port, int milliseconds);
// Wakes the port thread: called after a frame was queued for it. Any thread.
void datalink_wake(DatalinkPort* port);
// The port thread's wait for its descriptor `fd` (-1: none), a wake-up or a stop, at most
// `milliseconds`. A wake-up is consumed. `spin_us`: how long to look before sleeping, for a
// thread that expects an answer to what it just handed on (see OsWake::wait).
OsWake::Result datalink_wait_readable(DatalinkPort* port, int fd, int milliseconds, int spin_us = 0);

// The Device object's max-APDU-length-accepted for the port on `network`: 0, or 1 with no
// such port. Writing stores the smallest code that holds the length.
int datalink_get_max_apdu(uint32_t network, uint32_t* length);
int datalink_set_max_apdu(uint32_t network, uint32_t length);
// The same as the Device property function serves it: reading (write_flag 0) gives an
// UNSIGNED; a write needs an UNSIGNED (else 1). 1 with no port on `network`.
int datalink_read_max_apdu(uint32_t network, BACnetValue* value, uint8_t write_flag);

// Address binding learns each opened port's own address through this hook (instance -1: the
// local device). Without a hook the registration is skipped.
using DatalinkLocalPortHook = int (*)(uint8_t max_apdu_code, int32_t instance, const BACnetAddress& address);
void datalink_set_local_port_hook(DatalinkLocalPortHook hook);
int datalink_register_local_port(uint8_t max_apdu_code, int32_t instance, const BACnetAddress& address);
