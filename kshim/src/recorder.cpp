// The recorder of boundary crossings: named trace events are read from the trace capture; file
// opens are kept here as the file services report them.
#include <mutex>

#include "kshim/host/recorder.h"
#include "recorder_internal.h"

namespace {

std::mutex g_recorderLock;
std::vector<kshim::host::FileOpenRecord>* g_fileOpens = new std::vector<kshim::host::FileOpenRecord>();

}  // namespace

namespace kshim {

void RecordFileOpen(const std::string& name, ULONG access, ULONG disposition, NTSTATUS status)
{
    std::lock_guard<std::mutex> guard(g_recorderLock);
    g_fileOpens->push_back({name, access, disposition, status});
}

}  // namespace kshim

namespace kshim::host {

std::vector<TraceRecord> TraceEvents(const std::string& event, const std::string& function)
{
    std::vector<TraceRecord> events;
    for (TraceRecord& r : TraceSnapshot()) {
        if (r.event == event && (function.empty() || r.function == function)) {
            events.push_back(std::move(r));
        }
    }
    return events;
}

size_t TraceEventCount(const std::string& event, const std::string& function)
{
    return TraceEvents(event, function).size();
}

std::vector<FileOpenRecord> FileOpens()
{
    std::lock_guard<std::mutex> guard(g_recorderLock);
    return *g_fileOpens;
}

void FileOpensClear()
{
    std::lock_guard<std::mutex> guard(g_recorderLock);
    g_fileOpens->clear();
}

}  // namespace kshim::host
