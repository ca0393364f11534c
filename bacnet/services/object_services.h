// The services that change the local object set and its lists: AddListElement and
// RemoveListElement (through the object database's list operations, undone element by element
// when one fails), CreateObject and DeleteObject of the creatable types. Stack thread only,
// called by the confirmed dispatcher. Must not create or delete any other type.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>

// Only Calendar, Schedule and Trend Log objects come and go over the network.
bool services_object_type_creatable(uint32_t type);

int services_add_list_element(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                              bool snet_present, const BACnetAddress& routed_source);
int services_remove_list_element(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                 bool snet_present, const BACnetAddress& routed_source);
int services_create_object(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                           bool snet_present, const BACnetAddress& routed_source);
int services_delete_object(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                           bool snet_present, const BACnetAddress& routed_source);
