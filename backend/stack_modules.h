// The stack's modules in the orders the stack thread runs them: start-up, the work of every pass,
// the work of every second, and shut-down, each order one table. The stack host runs them for
// every module. A test or tool that plays the stack thread runs the same tables for a set of the
// modules, so that its part of the stack starts, runs and stops as the program's does.
// Stack thread only: start, passes and stop belong to one thread; blocking calls come from others.
#pragma once

#include "backend/stack_host.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/services/service_dispatch.h"

#include <cstdint>

// One bit per module, in the start-up order. The object database comes with its request poll
// and its once-a-second behaviour, the service dispatch with the handlers' seams, address
// binding with device discovery, and the cache with the stack tick (only its timers read it).
enum StackModule : uint32_t {
  kModuleCodec = 1u << 0,
  kModuleObjectsFile = 1u << 1,
  kModuleObjects = 1u << 2,
  kModuleServices = 1u << 3,
  kModuleConfirmedHandlers = 1u << 4,  // the local device's confirmed services
  kModuleClient = 1u << 5,
  kModuleBinding = 1u << 6,
  kModulePorts = 1u << 7,
  kModuleApplication = 1u << 8,
  kModuleObjectApi = 1u << 9,
  kModuleCache = 1u << 10,
};
using StackModules = uint32_t;

inline constexpr StackModules kWholeStack = (kModuleCache << 1) - 1;
// What a request passes between a port and the service dispatch, and the client side: the
// codec, the dispatch, the client layer, address binding, the ports and the application layer.
inline constexpr StackModules kCommunicationModules = kModuleCodec | kModuleServices | kModuleClient | kModuleBinding |
                                                      kModulePorts | kModuleApplication;

// The program's seams of the service handlers: received requests go to the API's clients, Who-Has
// is answered from the object table, time synchronisation sets the host clock.
extern const ServicesSeams kProgramServicesSeams;

// Starts the modules of the set in the start-up order, with the context and the handlers' seams
// (null: none, so no API events, no objects found by Who-Has, and every clock left alone), then
// announces the device with a global I-Am. The object database reads its objects file as soon
// as it is made; `add_objects` (a tool's own objects; null: none) runs just before, so that
// the file's settings reach them too. The result of loading the ports: 0, or -1 when a port
// failed, in which case every other module of the set is started all the same.
int stack_modules_start(StackConfig& config, const DriverContext* context, StackModules modules,
                        const ServicesSeams* seams, void (*add_objects)() = nullptr);
// One pass: the once-a-second work when the wall-clock second is no longer `noted_second` (which
// then takes the new one), then the work of every pass.
void stack_modules_pass(StackModules modules, uint32_t& noted_second);
// The once-a-second work alone.
void stack_modules_second(StackModules modules);
// Shuts the modules of the set down in the shut-down order.
void stack_modules_stop(StackModules modules);
