#include "bacnet/codec/codec_cov_services.h"

#include "bacnet/codec/codec_fields.h"

using namespace pdu_fields;

// ---- SubscribeCOV ------------------------------------------------------------------------

int pdu_encode_subscribe_cov_request(pdu_buffer* buffer, const SubscribeCovRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_unsigned(buffer, 0, request->process_id); },
                     [&] { return write_object(buffer, 1, request->object); },
                     [&] { return request->lifetime >= 0 ? pdu_write_boolean(buffer, 2, request->issue_confirmed) : 0; },
                     [&] { return request->lifetime > 0 ? pdu_write_unsigned(buffer, 3, uint32_t(request->lifetime)) : 0; }));
}

int pdu_decode_subscribe_cov_request(pdu_buffer* buffer, SubscribeCovRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->issue_confirmed = false;
  request->lifetime = -1;
  uint32_t lifetime = 0;
  return all([&] { return pdu_read_unsigned(buffer, 0, &request->process_id); },
             [&] { return read_object(buffer, 1, &request->object); },
             [&] {
               if (!pdu_next_is_context(buffer, 2))
                 return 0;
               request->lifetime = 0;
               return pdu_read_boolean(buffer, 2, &request->issue_confirmed);
             },
             [&] {
               if (!pdu_next_is_context(buffer, 3))
                 return 0;
               int result = pdu_read_unsigned(buffer, 3, &lifetime);
               if (result == 0)
                 request->lifetime = int32_t(lifetime);
               return result;
             });
}

// ---- COV notifications -------------------------------------------------------------------

int pdu_encode_confirmed_cov_notification_request(pdu_buffer* buffer, const CovNotificationRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_unsigned(buffer, 0, request->process_id); },
                     [&] { return write_object(buffer, 1, request->device); },
                     [&] { return write_object(buffer, 2, request->object); },
                     [&] { return pdu_write_unsigned(buffer, 3, request->time_remaining); },
                     [&] {
                       return enclosed_write(buffer, 4, [&] {
                         return write_one_or_list(buffer, request->values, TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST);
                       });
                     }));
}

int pdu_encode_unconfirmed_cov_notification_request(pdu_buffer* buffer, const CovNotificationRequest* request)
{
  return pdu_encode_confirmed_cov_notification_request(buffer, request);
}

int pdu_decode_cov_notification_request(pdu_buffer* buffer, CovNotificationRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  value_free(&request->values);
  return all([&] { return pdu_read_unsigned(buffer, 0, &request->process_id); },
             [&] { return read_object(buffer, 1, &request->device); },
             [&] { return read_object(buffer, 2, &request->object); },
             [&] { return pdu_read_unsigned(buffer, 3, &request->time_remaining); },
             [&] {
               return enclosed_read(buffer, 4, [&] {
                 return collect_until<BACnetPropertyValue>(buffer, pdu_closing_tag(4), &request->values, TAG_PROPERTY_VALUE,
                                                           TAG_PROPERTY_VALUE_LIST, pdu_decode_property_value_field);
               });
             });
}

void pdu_free_cov_notification_request(CovNotificationRequest* request)
{
  if (request)
    value_free(&request->values);
}
