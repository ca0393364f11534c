#include "bacnet/value/value_time.h"

int time_now_local(BACnetTime* /*time*/) { return 1; }
int date_now_local(BACnetDate* /*date*/) { return 1; }
int time_now_to_bacnet(BACnetDateTime* /*datetime*/) { return 1; }
int time_utc_now_to_bacnet(BACnetDateTime* /*datetime*/) { return 1; }
int time_t_to_bacnet_date(BACnetDate* /*date*/, time_t /*when*/) { return 1; }
int time_t_to_bacnet_time(BACnetTime* /*time*/, time_t /*when*/) { return 1; }
int time_t_to_bacnet_datetime(BACnetDateTime* /*datetime*/, const ClockStamp* /*stamp*/) { return 1; }
int time_t_to_weeknday(BACnetWeekNDay* /*weeknday*/, time_t /*when*/) { return 1; }
int datetime_to_timestamp(const BACnetDateTime* /*datetime*/, ClockStamp* /*stamp*/) { return 1; }
int time_set_any(BACnetTime* /*time*/) { return 1; }
int time_set_unspecified(BACnetDateTime* /*datetime*/) { return 1; }
int64_t file_get_length(const char* /*path*/) { return -1; }
int file_get_modification_date(const char* /*path*/, BACnetDateTime* /*datetime*/) { return 1; }
