#include "bacnet/datalink/datalink_port.h"

#include "bacnet/datalink/anex_h.h"
#include "bacnet/datalink/bacnetethernet.h"
#include "bacnet/datalink/bacnetip.h"
#include "bacnet/datalink/bacnetmstp.h"
#include "bacnet/datalink/bacnetptp.h"
#include "bacnet/value/value_access.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Link-state polling while a dial-up link hangs up at shut-down.
constexpr int kDisconnectPollMs = 10;
constexpr int kDisconnectTimeoutMs = 6000;
// 0 names no network (such a port would never send a broadcast) and 65535 stands
// for every network: no port has either.
constexpr long kSmallestNetworkNumber = 1;
constexpr long kLargestNetworkNumber = 65534;

DatalinkLinkOps g_ops[] = {
    {},
    {"BACNETIP", bacnetip_set_trace, bacnetip_make_link_data, bacnetip_open, bacnetip_run, bacnetip_close,
     "Preparing to stop BACnetIP Datalink layer", true, nullptr, nullptr},
    {"BACNETETHERNET", bacnetethernet_set_log_callback, bacnetethernet_make_link_data, bacnetethernet_open,
     bacnetethernet_run, bacnetethernet_clear_queue, "Preparing to stop BACnet Ethernet Datalink layer", true, nullptr,
     nullptr},
    {"BACNETMSTP", bacnetmstp_set_trace, bacnetmstp_make_link_data, bacnetmstp_open, bacnetmstp_run, bacnetmstp_close,
     "Preparing to stop BACnetMSTP Datalink layer", true, nullptr, nullptr},
    // No datalink carries LON: its ports always fail for want of a state block.
    {"BACNETLON", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, true, nullptr, nullptr},
    {"BACNETAPI", nullptr, nullptr, nullptr, nullptr, nullptr, "Preparing to stop API Datalink layer", false, nullptr,
     nullptr},
    {"BACNETPTP", bacnetptp_set_trace, bacnetptp_make_link_data, bacnetptp_open, bacnetptp_run, bacnetptp_close,
     "Preparing to stop BACnetPTP Datalink layer", true, bacnetptp_request_disconnect, bacnetptp_link_closed},
    {"BACNETANEXH", anex_h_set_log_callback, anex_h_make_link_data, anex_h_open, anex_h_run, anex_h_clear_queue,
     "Preparing to stop Anex H Datalink layer", true, nullptr, nullptr},
};
constexpr uint32_t kLinkTypeCount = sizeof g_ops / sizeof g_ops[0];
// The order in which the datalinks receive their trace settings.
constexpr uint32_t kTraceOrder[] = {kLinkBacnetIp, kLinkPtp, kLinkEthernet, kLinkMstp, kLinkApi, kLinkAnexH};

std::vector<std::unique_ptr<DatalinkPort>> g_ports;
DriverLogFunction g_log = nullptr;
DatalinkLocalPortHook g_local_port_hook = nullptr;

void trace(const char* text)
{
  if (g_log)
    g_log(kDatalinkLogLevel, text);
}

bool valid_type(uint32_t type) { return type >= kLinkBacnetIp && type < kLinkTypeCount; }

struct Pair {
  int result = -1;
  bool delivered = false;
};

Pair split_pair(const char* text, char* name, char* value)
{
  Pair pair;
  if (!text || !name || !value)
    return pair;
  const char* semicolon = std::strchr(text, ';');
  if (!semicolon)
    return pair;
  const char* equals = std::strchr(text, '=');
  if (!equals || equals > semicolon)
    return pair;
  std::size_t name_len = std::size_t(equals - text);
  std::size_t value_len = std::size_t(semicolon - equals - 1);
  if (name_len > kDatalinkParamLength - 1 || value_len > kDatalinkParamLength - 2)
    return pair;
  std::memcpy(name, text, name_len);
  name[name_len] = '\0';
  std::memcpy(value, equals + 1, value_len);
  value[value_len] = '\0';
  pair.delivered = true;
  pair.result = semicolon[1] == '\0' ? -1 : int(semicolon - text + 1);
  return pair;
}

uint32_t type_by_name(const char* name)
{
  for (uint32_t t = kLinkBacnetIp; t < kLinkTypeCount; ++t)
    if (g_ops[t].type_name && std::strcmp(g_ops[t].type_name, name) == 0)
      return t;
  return kLinkFree;
}

}  // namespace

DatalinkLinkOps datalink_set_link_ops(uint32_t link_type, const DatalinkLinkOps& ops)
{
  if (!valid_type(link_type))
    return {};
  DatalinkLinkOps previous = g_ops[link_type];
  g_ops[link_type] = ops;
  return previous;
}

const DatalinkLinkOps* datalink_link_ops(uint32_t link_type)
{
  return valid_type(link_type) ? &g_ops[link_type] : nullptr;
}

int datalink_next_param(const char* text, char* name, char* value) { return split_pair(text, name, value).result; }

int datalink_get_param(const char* connect_string, const char* key, char* name, char* value)
{
  if (!connect_string || !key || !name || !value)
    return -1;
  const char* position = connect_string;
  for (;;) {
    Pair pair = split_pair(position, name, value);
    if (pair.delivered && std::strcmp(name, key) == 0)
      return 0;
    if (pair.result == -1)
      return -1;
    position += pair.result;
  }
}

bool datalink_param(const DatalinkPort* port, const char* key, std::string* value)
{
  if (!port || !port->has_connect_string)
    return false;
  char name[kDatalinkParamLength];
  char text[kDatalinkParamLength];
  if (datalink_get_param(port->connect_string.c_str(), key, name, text) != 0)
    return false;
  if (value)
    *value = text;
  return true;
}

long datalink_param_number(const DatalinkPort* port, const char* key, long fallback)
{
  std::string value;
  return datalink_param(port, key, &value) ? std::atol(value.c_str()) : fallback;
}

bool datalink_parse_number(const std::string& text, long min, long max, long* number)
{
  std::size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (digits == text.size() || text.find_first_not_of("0123456789", digits) != std::string::npos)
    return false;
  errno = 0;
  long parsed = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE || parsed < min || parsed > max)
    return false;
  if (number)
    *number = parsed;
  return true;
}

bool datalink_parse_ipv4(const std::string& text, uint32_t* address)
{
  in_addr parsed{};
  if (text.find('\0') != std::string::npos || inet_pton(AF_INET, text.c_str(), &parsed) != 1)
    return false;
  if (address)
    *address = ntohl(parsed.s_addr);
  return true;
}

void datalink_set_error(DatalinkPort* port, const char* text)
{
  if (!port)
    return;
  port->error_flag = -1;
  if (!text || !*text)
    text = "unspecified error";
  port->error_text.assign(text, std::min<std::size_t>(std::strlen(text), kDatalinkParamLength - 1));
}

void datalink_report_error(ConnectStringRecord* record, const char* text)
{
  if (!record)
    return;
  std::snprintf(record->error, sizeof record->error, "%s", text ? text : "");
  record->status = 0xFF;
}

void datalink_register_opened(DatalinkPort* port, uint8_t largest_max_apdu_code)
{
  BACnetAddress own;
  uint8_t max_apdu_code;
  {
    DRIVER_LOCK_SCOPE();
    port->net.max_apdu_code = std::min(port->net.max_apdu_code, largest_max_apdu_code);
    own = port->net.address;
    max_apdu_code = port->net.max_apdu_code;
  }
  datalink_register_local_port(max_apdu_code, -1, own);
}

uint32_t datalink_run_passes(DatalinkPort* port, void (*pass)(DatalinkPort* port), void (*close)(DatalinkPort* port))
{
  while (port->state == kPortRunning) {
    // Under a steady stream of frames the idle wait never comes: the stop is looked for here too.
    if (port->running == 0) {
      close(port);
      port->state = kPortStopped;
      break;
    }
    pass(port);
  }
  return port->state;
}

void datalink_append_hex(std::string& text, std::span<const uint8_t> octets)
{
  char octet[4];
  for (uint8_t b : octets) {
    std::snprintf(octet, sizeof octet, "%02X ", b);
    text += octet;
  }
}

void datalink_send_failed(DatalinkPort* port, DriverLogFunction trace, int level, const std::string& peer,
                          const char* unit)
{
  ++port->send_failures;
  if (!trace)
    return;
  char head[32];
  std::snprintf(head, sizeof head, "Port %02d Send failed to ", int(port->net.index));
  trace(level, (head + peer + ", " + unit + " dropped").c_str());
}

bool datalink_wait(DatalinkPort* port, int milliseconds)
{
  using namespace std::chrono;
  const auto end = steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (port && port->stop_requested)
      return false;
    auto left = duration_cast<std::chrono::milliseconds>(end - steady_clock::now()).count();
    if (left <= 0)
      return true;
    if (port)
      port->wake.wait(int(left));
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(left));
  }
}

void datalink_wake(DatalinkPort* port)
{
  if (port)
    port->wake.signal();
}

OsWake::Result datalink_wait_readable(DatalinkPort* port, int fd, int milliseconds, int spin_us)
{
  if (port->stop_requested)
    return OsWake::kSignalled;
  return port->wake.wait(milliseconds, fd, spin_us);
}

DatalinkPort* datalink_alloc_port()
{
  for (auto& slot : g_ports) {
    if (slot->link_type == kLinkFree && !slot->thread.joinable()) {
      slot = std::make_unique<DatalinkPort>();
      return slot.get();
    }
  }
  g_ports.push_back(std::make_unique<DatalinkPort>());
  return g_ports.back().get();
}

void datalink_free_port(DatalinkPort* port)
{
  if (!port)
    return;
  port->link_data.reset();
  port->connect_string.clear();
  port->has_connect_string = false;
  port->link_type = kLinkFree;
  port->state = kPortStopped;
}

int datalink_alloc_link_data(DatalinkPort* port)
{
  if (!port)
    return -1;
  if (port->link_type == kLinkLon)
    return -1;
  const DatalinkLinkOps* ops = datalink_link_ops(port->link_type);
  if (!ops || !ops->make_link_data)
    return 0;
  port->link_data = ops->make_link_data();
  return port->link_data ? 0 : -1;
}

DatalinkPort* datalink_find_port_by_network(uint32_t network)
{
  for (auto& slot : g_ports)
    if (slot->link_type != kLinkFree && slot->net.address.network == network)
      return slot.get();
  return nullptr;
}

std::size_t datalink_port_count() { return g_ports.size(); }

DatalinkPort* datalink_port_at(std::size_t index) { return index < g_ports.size() ? g_ports[index].get() : nullptr; }

int datalink_open_port(DatalinkPort* port)
{
  if (!port)
    return -1;
  const DatalinkLinkOps* ops = datalink_link_ops(port->link_type);
  if (!ops || !ops->open)
    return -1;
  return ops->open(port);
}

int datalink_create_port(ConnectStringRecord* record, uint8_t max_apdu_code)
{
  if (!record)
    return -1;
  DatalinkPort* port = nullptr;
  auto fail = [&](const char* text) {
    datalink_report_error(record, text);
    datalink_free_port(port);
    return -1;
  };
  if (record->connect[0] == '\0')
    return fail("No connect string");

  std::string connect;
  try {
    connect.assign(record->connect, strnlen(record->connect, sizeof record->connect));
  } catch (const std::bad_alloc&) {
    return fail("Memory Error");
  }
  char name[kDatalinkParamLength];
  char value[kDatalinkParamLength];
  if (datalink_get_param(connect.c_str(), "TYPE", name, value) != 0)
    return fail("No Link Layer Type Specified");
  uint32_t type = type_by_name(value);
  if (type == kLinkFree)
    return fail("Invalid Link Layer Type");
  if (datalink_get_param(connect.c_str(), "NETWORK", name, value) != 0)
    return fail("No Network Number");
  long network_number = 0;
  if (!datalink_parse_number(value, kSmallestNetworkNumber, kLargestNetworkNumber, &network_number))
    return fail("Error creating link layer");
  uint32_t network = uint32_t(network_number);
  if (datalink_find_port_by_network(network))
    return fail("Network Number already assigned");

  port = datalink_alloc_port();
  if (!port)
    return fail("Error creating link layer");
  port->link_type = type;
  port->net = NetworkPort{};
  port->net.handle = port;
  port->net.address.network = network;
  port->net.max_apdu_code = max_apdu_code;
  port->connect_string = std::move(connect);
  port->has_connect_string = true;

  if (datalink_alloc_link_data(port) != 0)
    return fail("Memory Error");
  if (datalink_open_port(port) != 0) {
    std::string text = (port->error_flag && !port->error_text.empty()) ? port->error_text : "Error creating link layer";
    return fail(text.c_str());
  }
  // Registered before the thread runs: a re-open on the port thread may rewrite the record.
  if (g_ops[type].network_port)
    network_init_port(&port->net);
  datalink_start_thread(port);
  return 0;
}

int datalink_load_ports(const DriverContext* context, ConnectStringTable* table)
{
  g_log = (context && context->options[kDatalinkTraceOption]) ? context->log : nullptr;
  if (context)
    for (uint32_t type : kTraceOrder)
      if (g_ops[type].set_trace)
        g_ops[type].set_trace(*context);
  if (!table)
    return -1;

  int result = 0;
  for (int i = 0; i < kConnectStringRecords; ++i) {
    ConnectStringRecord& record = table->records[i];
    if (record.connect[0] == '\0')
      continue;
    char text[kConnectStringLength + 64];
    std::snprintf(text, sizeof text, "Loading Port %d Connect String :- %.*s", i, kConnectStringLength - 1,
                  record.connect);
    trace(text);
    if (datalink_create_port(&record, table->max_apdu_code) != 0) {
      trace("Failed to create link layer");
      result = -1;
    }
  }
  return result;
}

int datalink_run_port(DatalinkPort* port)
{
  if (!port)
    return -1;
  if (port->state == kPortStopped)
    return 0;
  const DatalinkLinkOps* ops = datalink_link_ops(port->link_type);
  for (;;) {
    if (port->running == 0) {
      port->state = kPortStopped;
      return 0;
    }
    uint32_t state = port->state;
    if (state == kPortReopen || state == kPortReopenAfterSocketFailure) {
      // A link that cannot be opened again is retried about once a second, not in a spin.
      if (datalink_open_port(port) != 0) {
        datalink_wait(port, 1000);
        continue;
      }
    }
    if (!ops || !ops->run) {
      datalink_wait(port, 1);
      continue;
    }
    port->state = kPortRunning;
    port->state = ops->run(port);
    if (port->state == kPortStopped)
      return 0;
  }
}

void datalink_thread(DatalinkPort* port)
{
  do {
    port->running = 0xFF;
    os_semaphore_release(&port->semaphore);
  } while (datalink_run_port(port) != 0);
  os_semaphore_release(&port->semaphore);
}

int datalink_start_thread(DatalinkPort* port)
{
  if (!port)
    return -1;
  os_semaphore_create(&port->semaphore);
  port->thread = std::thread(datalink_thread, port);
  os_semaphore_wait(&port->semaphore);
  return 0;
}

void datalink_stop_port(DatalinkPort* port)
{
  if (!port)
    return;
  port->stop_requested = true;
  port->running = 0;
  port->wake.signal();
  if (port->thread.joinable()) {
    os_semaphore_wait(&port->semaphore);
    port->thread.join();
  }
  const DatalinkLinkOps* ops = datalink_link_ops(port->link_type);
  if (ops && ops->stop_text)
    trace(ops->stop_text);
  if (ops && ops->close)
    ops->close(port);
  os_semaphore_close(&port->semaphore);
  datalink_free_port(port);
  trace("Datalink layer stopped");
}

void datalink_close_all()
{
  for (auto& slot : g_ports) {
    DatalinkPort* port = slot.get();
    if (port->link_type == kLinkFree)
      continue;
    const DatalinkLinkOps* ops = datalink_link_ops(port->link_type);
    if (ops && ops->disconnect) {
      ops->disconnect(port);
      for (int waited = 0; waited < kDisconnectTimeoutMs && !(ops->link_closed && ops->link_closed(port));
           waited += kDisconnectPollMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(kDisconnectPollMs));
    }
    if (port->link_type != kLinkLon)
      datalink_stop_port(port);
  }
  g_ports.clear();
}

int datalink_get_max_apdu(uint32_t network, uint32_t* length)
{
  DatalinkPort* port = datalink_find_port_by_network(network);
  if (!port || !length)
    return 1;
  DRIVER_LOCK_SCOPE();
  *length = datalink_max_apdu_length(port->net.max_apdu_code);
  return 0;
}

int datalink_set_max_apdu(uint32_t network, uint32_t length)
{
  DatalinkPort* port = datalink_find_port_by_network(network);
  if (!port)
    return 1;
  DRIVER_LOCK_SCOPE();
  port->net.max_apdu_code = datalink_max_apdu_code(length);
  // The network layer keeps its own copy of the port record.
  if (NetworkPort* registered = network_port_at(port->net.index); registered && registered->handle == port)
    registered->max_apdu_code = port->net.max_apdu_code;
  return 0;
}

int datalink_read_max_apdu(uint32_t network, BACnetValue* value, uint8_t write_flag)
{
  if (!value)
    return 1;
  uint32_t length = 0;
  if (!write_flag) {
    if (datalink_get_max_apdu(network, &length) != 0)
      return 1;
    return value_set_unsigned(&length, value);
  }
  if (!datalink_find_port_by_network(network) || value->tag != TAG_UNSIGNED)
    return 1;
  if (value_get_unsigned(&length, value) != 0)
    return -1;
  return datalink_set_max_apdu(network, length);
}

void datalink_set_local_port_hook(DatalinkLocalPortHook hook) { g_local_port_hook = hook; }

int datalink_register_local_port(uint8_t max_apdu_code, int32_t instance, const BACnetAddress& address)
{
  return g_local_port_hook ? g_local_port_hook(max_apdu_code, instance, address) : 0;
}
