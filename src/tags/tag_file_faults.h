// Internal to src/tags and its tests: the save faults under the tag file's names, so that
// every failure path of write_tag_file() can be shown to leave the old file alone.
#pragma once

#include "platform/save_file_faults.h"

namespace gm {

using TagFileStep = SaveStep;
using TagFileFault = SaveFault;

inline void set_tag_file_fault(TagFileFault fault) { set_save_fault(fault); }

}  // namespace gm
