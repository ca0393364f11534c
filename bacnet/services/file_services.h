// AtomicReadFile and AtomicWriteFile on the local File objects: each object names a local file
// in its property 555, which these handlers read and write with plain synchronous file I/O.
// Stack thread only, called by the confirmed dispatcher; a slow disk holds the stack up.
// Must not leave a file open, allocate from a count the network sent, or acknowledge a write
// that did not reach the file.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>

// The most file octets an AtomicReadFile-ACK may carry for a requester, by its max-APDU
// length, its segmentation flag and its max-segments code.
uint32_t services_read_file_room(const ServiceRequest& request);

int services_atomic_read_file(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                              bool snet_present, const BACnetAddress& routed_source);
int services_atomic_write_file(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                               bool snet_present, const BACnetAddress& routed_source);
