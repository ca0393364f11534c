#include "bacnet/services/confirmed_services.h"

#include "bacnet/codec/codec_requests.h"
#include "bacnet/services/device_management_services.h"
#include "bacnet/services/file_services.h"
#include "bacnet/services/object_services.h"
#include "bacnet/services/property_services.h"
#include "bacnet/services/service_dispatch.h"

#include <utility>

namespace {

ConfirmedServicesSeams g_seams;

constexpr std::pair<uint8_t, ConfirmedServiceHandler> kHandlers[] = {
    {SERVICE_ATOMIC_READ_FILE, services_atomic_read_file},
    {SERVICE_ATOMIC_WRITE_FILE, services_atomic_write_file},
    {SERVICE_ADD_LIST_ELEMENT, services_add_list_element},
    {SERVICE_REMOVE_LIST_ELEMENT, services_remove_list_element},
    {SERVICE_CREATE_OBJECT, services_create_object},
    {SERVICE_DELETE_OBJECT, services_delete_object},
    {SERVICE_READ_PROPERTY, services_read_property},
    {SERVICE_READ_PROPERTY_MULTIPLE, services_read_property_multiple},
    {SERVICE_WRITE_PROPERTY, services_write_property},
    {SERVICE_WRITE_PROPERTY_MULTIPLE, services_write_property_multiple},
    {SERVICE_DEVICE_COMMUNICATION_CONTROL, services_device_communication_control},
    {SERVICE_REINITIALIZE_DEVICE, services_reinitialize_device},
};

}  // namespace

int services_register_confirmed_handlers(const ConfirmedServicesSeams* seams)
{
  g_seams = seams ? *seams : ConfirmedServicesSeams{};
  for (const auto& [choice, handler] : kHandlers)
    services_set_confirmed_handler(choice, handler);
  return 0;
}

const ConfirmedServicesSeams& services_confirmed_seams() { return g_seams; }
