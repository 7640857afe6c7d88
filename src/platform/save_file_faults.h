// Internal to the core and its tests: makes a step of save_file() fail on purpose, so that
// every failure path can be shown to leave a complete version of the file.
#pragma once

#include <cstddef>

#include "platform/save_file.h"

namespace gm {

// Called before each step; answering true makes the step fail, with the errno the function
// set or else EIO. For SaveStep::write, *written may be set to the number of bytes that reach
// the file before the write fails (it starts as 0; the last byte is never written).
// SaveStep::create is asked once for the temporary and once more for the file itself.
using SaveFault = bool (*)(SaveStep step, size_t* written);

// nullptr (the default) turns fault injection off.
void set_save_fault(SaveFault fault);

}  // namespace gm
