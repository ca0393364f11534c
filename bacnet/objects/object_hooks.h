// The object database's calls into the layers around it: the application layer's APDU
// settings, the datalink's max-APDU answer, address binding (local instance, binding list,
// scan control and status, remote devices of type 1001, local ports), the I-Am sender, the behaviour engine's object timer and the object API's change
// events.
// The stack host installs them once at start-up (stack thread); tests install fakes. A hook
// left empty gives the answer written next to it. Nothing here takes the global lock.
#pragma once

#include <cstdint>

#include "bacnet/value/value_types.h"

struct ObjectRecord;

struct ObjectHooks {
  // Application layer. Empty: reads give 1, writes give -1.
  uint32_t (*get_apdu_timeout)() = nullptr;
  int (*set_apdu_timeout)(uint32_t milliseconds) = nullptr;
  uint32_t (*get_apdu_retries)() = nullptr;
  int (*set_apdu_retries)(uint32_t retries) = nullptr;

  // Datalink: the Device's max-APDU-length-accepted for the port on `network`
  // (write_flag 0 reads into value). Empty: 1.
  int (*read_max_apdu)(uint32_t network, BACnetValue* value, uint8_t write_flag) = nullptr;
  // Datalink: the Device's Max_Info_Frames (63) and Max_Master (64), which an MS/TP port
  // gives (write_flag 0 reads into value). Empty: 1.
  int (*read_mstp_setting)(uint32_t property, BACnetValue* value, uint8_t write_flag) = nullptr;

  // Address binding. get_local_instance(null) is the own instance; empty: the owner asked
  // about stands for itself.
  int32_t (*get_local_instance)(const BACnetAddressValue* address) = nullptr;
  // Property 30 of the Device (value, array index, write flag). Empty: 1.
  int (*encode_binding_list)(uint32_t device, BACnetValue* value, int32_t index, uint8_t write_flag) = nullptr;
  // Properties 562 and 570 of the Device. Empty: 1.
  int (*scan_control)(BACnetValue* value, uint8_t write_flag) = nullptr;
  int (*scan_status_text)(BACnetValue* value, uint8_t write_flag) = nullptr;
  // Every property of a remote device seen as an object of type 1001. Empty: 32.
  int (*read_device_property)(uint32_t instance, uint32_t property, int32_t index, uint8_t write_flag,
                              BACnetValue* value, uint32_t extra) = nullptr;
  // Registers the address of a local device (max-APDU code, instance, address).
  int (*add_local_port)(uint8_t max_apdu_code, int32_t instance, const BACnetAddressValue* address) = nullptr;

  // Client layer: broadcasts an I-Am for a device on the port of its network (the sender adds
  // the vendor identifier).
  int (*send_i_am)(BACnetObjectId device, uint32_t network, uint32_t max_apdu, uint32_t segmentation) = nullptr;

  // Behaviour engine: runs one object's timer (flag 1 tick, 0 out of turn).
  void (*object_timer)(uint32_t owner, ObjectRecord* record, int tick_flag) = nullptr;

  // Object API: a present value changed (property value 49 with index, value, priority),
  // and a present value of a registered object was read.
  void (*notify_change)(uint32_t owner, BACnetObjectId object, const BACnetValue* property_value,
                        uint32_t priority) = nullptr;
  void (*notify_event)(uint32_t owner, BACnetObjectId object) = nullptr;
};

// Installs the hooks (copied); null empties every hook.
void object_set_hooks(const ObjectHooks* hooks);
const ObjectHooks& object_hooks();
