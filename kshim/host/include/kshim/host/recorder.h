// What crossed the stand-in's boundaries, as the stand-in recorded it: the named events of the
// driver's trace (a reader finds them by name and function, not by their text) and every file open
// the driver asked for, with its outcome. Tests assert on these records; trace text is for people.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/nt_types.h"

namespace kshim::host {

// ---- named trace events --------------------------------------------------------------------------------
// Records of the trace capture that carry this event name, oldest first; `function` "" matches any.
// They share the capture's life: TraceClear forgets them.
std::vector<TraceRecord> TraceEvents(const std::string& event, const std::string& function = "");
size_t TraceEventCount(const std::string& event, const std::string& function = "");

// ---- file opens ----------------------------------------------------------------------------------------
struct FileOpenRecord {
    std::string name;          // the platform name (a bare NDIS file name completed with the drivers folder)
    uint32_t access = 0;       // desired access
    uint32_t disposition = 0;  // FILE_OPEN, FILE_OVERWRITE_IF, ...
    NTSTATUS status = 0;       // the open's result
};
// Every open of a file or device by name (ZwCreateFile, ZwOpenFile, NdisOpenFile), in call order.
std::vector<FileOpenRecord> FileOpens();
void FileOpensClear();

}  // namespace kshim::host
