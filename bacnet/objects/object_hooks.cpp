#include "bacnet/objects/object_hooks.h"

namespace {
ObjectHooks g_hooks;
}

void object_set_hooks(const ObjectHooks* hooks)
{
  g_hooks = hooks ? *hooks : ObjectHooks{};
}

const ObjectHooks& object_hooks() { return g_hooks; }
