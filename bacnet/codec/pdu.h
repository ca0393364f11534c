// The whole codec for its users (the application layer, the client request layer, the
// service handlers, the remote API): every datatype, service request, acknowledgement and
// error form. Any thread; see each header for what it owns.
#pragma once

#include "bacnet/codec/codec_acks.h"
#include "bacnet/codec/codec_alarm_services.h"
#include "bacnet/codec/codec_cov_services.h"
#include "bacnet/codec/codec_device_services.h"
#include "bacnet/codec/codec_errors.h"
#include "bacnet/codec/codec_events.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/codec/codec_property_values.h"
