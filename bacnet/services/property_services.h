// The property services other devices call on the local objects: ReadProperty,
// ReadPropertyMultiple, WriteProperty and WritePropertyMultiple, answered through the object
// database's network door. Stack thread only, called by the confirmed dispatcher. Must not
// change an object but through that door; WritePropertyMultiple keeps the writes it made.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/network/bacnet_address.h"

int services_read_property(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                           bool snet_present, const BACnetAddress& routed_source);
int services_read_property_multiple(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                    bool snet_present, const BACnetAddress& routed_source);
int services_write_property(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                            bool snet_present, const BACnetAddress& routed_source);
int services_write_property_multiple(const BACnetAddress& local, const ServiceRequest& request,
                                     ServiceAnswer* answer, bool snet_present, const BACnetAddress& routed_source);
