// The plug-in root (provider slot 1).
#pragma once

#include "engine/provider_table.h"

namespace crvl {

// Fills a slot as the plug-in root (kind 2) named `name` ("\\\\\\" when empty); the
// name must outlive the slot. Its `open` registers the configured plug-ins first; its
// listing names every loaded plug-in; changing to a plug-in's name moves the handle
// into that plug-in's slot.
void fillPluginRoot(FileSystemProvider& slot, const char16_t* name);

}  // namespace crvl
