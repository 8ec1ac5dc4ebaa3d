// The stand-in's hooks into the recorder of boundary crossings (kshim/host/recorder.h).
#pragma once

#include <string>

#include "kshim/nt_types.h"

namespace kshim {

void RecordFileOpen(const std::string& name, ULONG access, ULONG disposition, NTSTATUS status);

}  // namespace kshim
