// Internal to src/tags and its tests: makes a step of write_tag_file() fail on purpose, so
// that every failure path can be shown to leave the old file alone.
#pragma once

#include <cstddef>

namespace gm {

enum class TagFileStep { create, write, fsync, rename };

// Called before each step; answering true makes the step fail with errno set to EIO.
// For TagFileStep::write, *written may be set to the number of bytes that reach the
// temporary file before the write fails (it starts as 0; the last byte is never written).
using TagFileFault = bool (*)(TagFileStep step, size_t* written);

// nullptr (the default) turns fault injection off.
void set_tag_file_fault(TagFileFault fault);

}  // namespace gm
