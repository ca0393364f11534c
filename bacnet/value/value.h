// The whole value library in one include.
#pragma once

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_access.h"
#include "bacnet/value/value_compare.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_time.h"
#include "bacnet/value/value_types.h"
