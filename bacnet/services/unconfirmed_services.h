// The handlers of the ten unconfirmed services the local device receives: I-Am binds the
// sender, Who-Is and Who-Has are answered on behalf of the local devices, time
// synchronisation sets the host clock through its seam, the rest go to the host hooks.
// Stack thread only, called by the unconfirmed dispatcher. Each decodes first and does
// nothing but return -1 when the data does not decode.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/codec_requests.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>
#include <vector>

int services_i_am(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source, const ServiceRequest& request);
int services_i_have(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                    const ServiceRequest& request);
int services_unconfirmed_cov_notification(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                          const ServiceRequest& request);
int services_unconfirmed_event_notification(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                            const ServiceRequest& request);
int services_unconfirmed_private_transfer(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                          const ServiceRequest& request);
int services_unconfirmed_text_message(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                      const ServiceRequest& request);
int services_time_synchronization(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                  const ServiceRequest& request);
int services_who_has(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                     const ServiceRequest& request);
int services_who_is(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                    const ServiceRequest& request);
int services_utc_time_synchronization(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                      const ServiceRequest& request);

// A received date and time as the clock may take it: month 1..12, a day that the month has,
// hour, minute and second in range, a year from 1900 to 2036, hundredths 0..99 (255, "any",
// counts as 0). True with the checked value in `out`.
bool services_clock_time_valid(const BACnetDateTime& time, BACnetDateTime* out);

// Seam implementations for the stack host. The object database's Who-Has walk:
int services_object_table_who_has(const WhoHasRequest& request, int32_t network, std::vector<IHaveMatch>* matches);
// The real host clock (needs the right to set it). Never installed by a test.
int services_system_clock_setter(const BACnetDateTime& time, bool utc);
