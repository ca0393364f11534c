#include "backend/stack_host.h"

#include "backend/api/api_server.h"
#include "backend/stack_identity.h"
#include "backend/stack_modules.h"
#include "bacnet/client/client_request.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/stack_wake.h"

#include <atomic>
#include <thread>

namespace {

constexpr int kHostLogOption = 14;
constexpr int kHostLogLevel = 15;
constexpr int kPassIntervalMs = 1;

struct HostState {
  bool loaded = false;
  std::atomic<bool> running{false};
  int start_result = 0;
  bool modules_started = false;  // false for a start refused before any module
  std::thread thread;
  OsSemaphoreHandle start_semaphore = nullptr;
  DriverContext context;
  DriverLogFunction module_log = nullptr;  // the host's own messages, when option 14 is set
};

HostState g_host;

void host_log(const char* text)
{
  if (g_host.module_log)
    g_host.module_log(kHostLogLevel, text);
}

int driver_start_stack(StackConfig* config)
{
  for (const char* line : stack_identity::kBanner)
    host_log(line);
  if (config) {
    if (config->ports.max_apdu_code < 3)
      config->ports.max_apdu_code = 3;
    if (config->ports.max_apdu_code > 5)
      config->ports.max_apdu_code = 5;
  }
  if (!config || config->device_instance < 0) {
    g_host.start_result = -1;
    return -1;
  }
  g_host.modules_started = true;
  g_host.start_result = stack_modules_start(*config, &g_host.context, kWholeStack, &kProgramServicesSeams);
  return g_host.start_result;
}

void driver_main_loop()
{
  uint32_t noted = os_wall_seconds();
  while (g_host.running) {
    stack_modules_pass(kWholeStack, noted);
    // Received frames, queued requests and a stop end the wait; idle, a pass every millisecond.
    stack_wait(kPassIntervalMs);
  }
}

void driver_thread(StackConfig* config)
{
  g_host.modules_started = false;
  driver_start_stack(config);
  os_semaphore_release(&g_host.start_semaphore);
  driver_main_loop();
  if (g_host.modules_started)
    stack_modules_stop(kWholeStack);
  os_semaphore_release(&g_host.start_semaphore);
}

void driver_init(StackConfig* config)
{
  g_host.loaded = true;
  g_host.running = true;
  g_host.module_log = config->options[kHostLogOption] ? driver_log : nullptr;
  driver_context_init(g_host.context, config->log_file_name, config->options);
  driver_set_log_callback(config->log_callback);
  driver_set_log_file(config->log_file_name);
  driver_set_log_broadcast(api_broadcast_log_event);
  os_semaphore_create(&g_host.start_semaphore);
}

void driver_stop_thread()
{
  if (!g_host.loaded)
    return;
  g_host.running = false;
  stack_wake();
  if (g_host.thread.joinable()) {
    os_semaphore_wait(&g_host.start_semaphore);
    g_host.thread.join();
  }
  os_semaphore_close(&g_host.start_semaphore);
}

void driver_unload()
{
  if (!g_host.loaded)
    return;
  host_log("_BACnet_Driver_Unload");
  driver_context_free(g_host.context);
  g_host.context = DriverContext{};
  driver_set_log_file(nullptr);
  driver_set_log_callback(nullptr);
  driver_set_log_broadcast(nullptr);
  g_host.module_log = nullptr;
  g_host.loaded = false;
}

}  // namespace

int BACnet_Driver_Start(StackConfig* config)
{
  if (!config)
    return -1;
  driver_init(config);
  g_host.thread = std::thread(driver_thread, config);
  os_semaphore_wait(&g_host.start_semaphore);
  return g_host.start_result;
}

int BACnet_Driver_Stop()
{
  driver_stop_thread();
  driver_unload();
  return 0;
}

int BACnet_Driver_Request(const WhoIsRange* range)
{
  WhoIsRequest request;
  if (range) {
    request.low_limit = range->low;
    request.high_limit = range->high;
  }
  return client_send_unconfirmed(-1, -1, -1, nullptr, SERVICE_WHO_IS, &request);
}

int driver_forward_1(ClientCallRecord* record) { return client_call_atomic_read_file(record); }
int driver_forward_2(ClientCallRecord* record) { return client_call_atomic_write_file(record); }
int driver_forward_3(ClientCallRecord* record) { return client_call_read_property(record); }
