#include "bacnet/services/device_management_services.h"

#include "bacnet/client/client_request.h"
#include "bacnet/codec/codec_device_services.h"
#include "bacnet/codec/codec_primitives.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_types.h"
#include "bacnet/services/confirmed_services.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <cstring>
#include <optional>
#include <string_view>

namespace {

enum HookSlot : std::size_t {
  kHookReinitializeDevice = 14,
  kHookCommunicationControl = 15,
};

enum ReinitializedState : uint32_t {
  kColdstart = 0,
  kWarmstart = 1,
  kStartBackup = 2,
  kEndBackup = 3,
  kStartRestore = 4,
  kEndRestore = 5,
  kAbortRestore = 6,
};

enum SystemStatus : uint32_t {
  kOperational = 0,
  kDownloadInProgress = 3,
  kBackupInProgress = 5,
};

using OwnedCommunicationControl =
    Owned<DeviceCommunicationControlRequest, pdu_free_device_communication_control_request>;
using OwnedReinitialize = Owned<ReinitializeDeviceRequest, pdu_free_reinitialize_device_request>;

// The password octet for octet as it came: the decoded text ends at its first zero octet, so
// the password followed by a zero and more text would pass as the password.
bool password_matches(const ServiceRequest& request)
{
  pdu_buffer view = services_request_view(request);
  uint32_t state = 0;
  const uint8_t* text = nullptr;
  uint32_t length = 0;
  if (pdu_read_enumerated(&view, 0, &state) != 0 || pdu_read_charstring(&view, 1, &text, &length) != 0)
    return false;
  const std::string_view wanted = kDeviceManagementPassword;
  return length == wanted.size() && std::memcmp(text, wanted.data(), length) == 0;
}

bool configuring(ObjectRecord* device)
{
  const uint32_t* status = device ? object_word(device, PROP_SYSTEM_STATUS) : nullptr;
  return status && (*status == kDownloadInProgress || *status == kBackupInProgress);
}

// The backup and restore states on the Device object: nothing, or the code of the device
// error that refuses the step (a refused step changes nothing). The answer is the caller's.
std::optional<uint32_t> backup_step(uint32_t owner, ObjectRecord* device, uint32_t state)
{
  uint32_t& status = *object_word(device, PROP_SYSTEM_STATUS);
  uint32_t& countdown = *object_word(device, FIELD_BACKUP_COUNTDOWN);
  const ConfirmedServicesSeams& seams = services_confirmed_seams();
  if ((state == kStartBackup || state == kStartRestore) && configuring(device))
    return kErrorConfigurationInProgress;
  switch (state) {
  case kStartBackup: {
    const uint32_t status_before = status, countdown_before = countdown;
    status = kBackupInProgress;
    countdown = *object_word(device, PROP_BACKUP_FAILURE_TIMEOUT);
    // The backup client copies the file next: it must not take a stale one for the current.
    if (seams.save_device && seams.save_device(owner) != 0) {
      status = status_before;
      countdown = countdown_before;
      return kErrorOther;
    }
    break;
  }
  case kStartRestore:
    status = kDownloadInProgress;
    countdown = *object_word(device, PROP_BACKUP_FAILURE_TIMEOUT);
    break;
  case kEndRestore: {
    status = kOperational;
    countdown = 0;
    if (seams.load_device)
      seams.load_device(owner);
    ++*object_word(device, PROP_DATABASE_REVISION);
    BACnetTimeStamp& restored = *object_timestamp(device, PROP_LAST_RESTORE_TIME);
    restored.choice = 2;
    time_now_to_bacnet(&restored.datetime);
    break;
  }
  default:  // endbackup, abortrestore
    status = kOperational;
    countdown = 0;
  }
  return std::nullopt;
}

}  // namespace

int services_device_communication_control(const BACnetAddress&, const ServiceRequest& request, ServiceAnswer* answer,
                                          bool, const BACnetAddress&)
{
  OwnedCommunicationControl dcc;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_device_communication_control_request(&view, dcc.get()), view) ||
      dcc->enable_disable > uint32_t(kCommunicationInitiationDisabled))
    return services_answer_error(answer, SERVICE_DEVICE_COMMUNICATION_CONTROL, kErrorClassServices,
                                 kErrorInconsistentParameters);
  if (int refused = services_call_confirmed_hook(kHookCommunicationControl, dcc.get()))
    return services_answer_error(answer, SERVICE_DEVICE_COMMUNICATION_CONTROL, kErrorClassSecurity,
                                 services_error_code(refused));

  // The communication state belongs to the host, which decides through the hook. Without
  // one the request is acknowledged and the device keeps communicating: no peer silences a
  // running job without the host's consent.
  return services_answer_simple_ack(answer);
}

int services_reinitialize_device(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                 bool, const BACnetAddress&)
{
  OwnedReinitialize reinit;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_reinitialize_device_request(&view, reinit.get()), view))
    return services_answer_error(answer, SERVICE_REINITIALIZE_DEVICE, kErrorClassServices,
                                 kErrorInconsistentParameters);
  if (!password_matches(request))
    return services_answer_error(answer, SERVICE_REINITIALIZE_DEVICE, kErrorClassSecurity, kErrorPasswordFailure);

  uint32_t owner = services_request_owner(local);
  ObjectRecord* device = object_Find(owner, OBJECT_DEVICE, owner);
  uint32_t state = reinit->state;
  if (state == kColdstart || state == kWarmstart) {
    if (configuring(device))
      return services_answer_error(answer, SERVICE_REINITIALIZE_DEVICE, kErrorClassDevice,
                                   kErrorConfigurationInProgress);
    services_call_confirmed_hook(kHookReinitializeDevice, reinit.get());
    return services_answer_simple_ack(answer);
  }
  if (state >= kStartBackup && state <= kAbortRestore) {
    if (!device)
      return services_answer_error(answer, SERVICE_REINITIALIZE_DEVICE, kErrorClassObject, kErrorUnspecified);
    if (std::optional<uint32_t> refused = backup_step(owner, device, state))
      return services_answer_error(answer, SERVICE_REINITIALIZE_DEVICE, kErrorClassDevice, *refused);
  }
  return services_answer_simple_ack(answer);
}
