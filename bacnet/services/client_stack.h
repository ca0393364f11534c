// The client side of the stack run in-process: start-up of the service handlers, the client
// layer, address binding, the ports and the application layer in their order, the per-pass and
// once-a-second work, and the shut-down. The stack host runs the same calls in the same order
// (with the object database around them); tests and the namespace tools use this directly.
// Start, passes and stop belong to one thread, the stack thread; blocking calls come from others.
#pragma once

#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/services/service_dispatch.h"

#include <cstdint>

struct ClientStackConfig {
  int32_t device_instance = -1;
  const DriverContext* context = nullptr;
  // Connect strings of the ports; null opens none (a test registers its own port first).
  ConnectStringTable* ports = nullptr;
  // The client layer's settings (clamped to 0..10 and 3000..30000 ms).
  int32_t client_retries = 3;
  int32_t client_timeout = 0;
  // The application layer's settings; these govern every transaction.
  int32_t segment_timeout = 0;
  int32_t apdu_timeout = 0;
  int32_t apdu_retries = 0;
  ServiceHooks hooks{};
};

// Start-up, in this order: services_init, client_init, address_binding_init, the datalinks'
// local-port hook and datalink_load_ports, application_layer_init (with the two dispatchers
// and address_binding_heard_from), then a broadcast I-Am of the device. The result of loading
// the ports: 0, or -1 when a port failed (everything else is started all the same).
int client_stack_start(const ClientStackConfig& config);
// One pass of the stack thread: the once-a-second work when the wall-clock second changed,
// then application_layer_periodic.
void client_stack_pass();
// The once-a-second work: address_binding_periodic, then client_pending_tick.
void client_stack_second();
// Shut-down: datalink_close_all, application_layer_destroy (which ends every waiting request
// through its callback), address_binding_clear.
void client_stack_stop();
