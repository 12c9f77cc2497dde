// The driver's own item callbacks by (class, subclass, key).
#pragma once

#include "lib/util.h"
#include "platform/callback_registry.h"

// The static table, terminator included.
Span<const ITEM_CALLBACK_ENTRY> StaticItemCallbacks();
