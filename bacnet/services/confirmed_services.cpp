#include "bacnet/services/confirmed_services.h"

#include "bacnet/codec/codec_requests.h"
#include "bacnet/objects/object_lists.h"
#include "bacnet/objects/serialize.h"
#include "bacnet/services/alarm_services.h"
#include "bacnet/services/cov_notification_services.h"
#include "bacnet/services/device_management_services.h"
#include "bacnet/services/file_services.h"
#include "bacnet/services/object_services.h"
#include "bacnet/services/property_services.h"
#include "bacnet/services/read_range_services.h"
#include "bacnet/services/service_dispatch.h"

#include <utility>

namespace {

ConfirmedServicesSeams g_seams;

constexpr std::pair<uint8_t, ConfirmedServiceHandler> kHandlers[] = {
    {SERVICE_ACKNOWLEDGE_ALARM, services_acknowledge_alarm},
    {SERVICE_CONFIRMED_COV_NOTIFICATION, services_confirmed_cov_notification},
    {SERVICE_CONFIRMED_EVENT_NOTIFICATION, services_confirmed_event_notification},
    {SERVICE_GET_ALARM_SUMMARY, services_get_alarm_summary},
    {SERVICE_GET_ENROLLMENT_SUMMARY, services_get_enrollment_summary},
    {SERVICE_SUBSCRIBE_COV, services_subscribe_cov},
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
    {SERVICE_GET_EVENT_INFORMATION, services_get_event_information},
    {SERVICE_READ_RANGE, services_read_range},
};

}  // namespace

int services_register_confirmed_handlers(const ConfirmedServicesSeams* seams)
{
  if (seams) {
    g_seams = *seams;
  } else {
    // The local device's own list operations.
    g_seams = ConfirmedServicesSeams{};
    g_seams.add_list_element = object_AddListElement;
    g_seams.remove_list_element = object_RemoveListElement;
    g_seams.save_device = serialize_SaveOwner;
    g_seams.load_device = serialize_OpenOwner;
  }
  for (const auto& [choice, handler] : kHandlers)
    services_set_confirmed_handler(choice, handler);
  return 0;
}

const ConfirmedServicesSeams& services_confirmed_seams() { return g_seams; }
