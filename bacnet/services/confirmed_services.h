// The confirmed services the local device answers, by service choice, installed into the
// dispatcher in one call, and the seams through which they reach object database parts that
// live elsewhere (list elements, saving the objects file). Stack thread only: installed once
// after services_init, before the application layer runs. Holds no object state of its own.
#pragma once

#include "bacnet/value/value_types.h"

#include <cstdint>

struct ConfirmedServicesSeams {
  // The object database's list-element operations (owner, object type, instance, property,
  // array index, [ring flag,] element): 0 or the BACnet error code plus one. Without both the
  // list services are answered as unrecognised.
  int (*add_list_element)(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                          uint8_t ring, BACnetValue* element) = nullptr;
  int (*remove_list_element)(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                             BACnetValue* element) = nullptr;
  // Saves the objects file of a local device at once (after CreateObject, DeleteObject and
  // a backup's start): 0, or non-zero when it could not be saved (a backup's start then
  // fails). Empty: the object database's own save takes the change later.
  int (*save_device)(uint32_t owner) = nullptr;
  // Reloads the objects file into the local objects (the end of a restore). Empty: nothing
  // is reloaded.
  int (*load_device)(uint32_t owner) = nullptr;
};

// Installs every confirmed handler of the local device and the seams (copied; null gives the
// object database's own list operations and the objects file's save and load): the property services, the list and
// object services, the file services, the alarm, event and COV services,
// DeviceCommunicationControl, ReinitializeDevice and ReadRange. The stack host calls it after
// services_init. 0.
int services_register_confirmed_handlers(const ConfirmedServicesSeams* seams = nullptr);
const ConfirmedServicesSeams& services_confirmed_seams();
