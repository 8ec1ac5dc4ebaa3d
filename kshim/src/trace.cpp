// Software tracing: a bounded ring of records, stderr echo and binary payloads.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/trace.h"

volatile UCHAR g_KshimTraceLevel = TRACE_LEVEL_INFORMATION;
volatile ULONG g_KshimTraceFlags = 0;

namespace {

std::mutex g_traceLock;
std::deque<kshim::host::TraceRecord>* g_ring = new std::deque<kshim::host::TraceRecord>();
size_t g_capacity = 65536;
uint8_t g_echo = [] {
    const char* env = std::getenv("QZL_TRACE_ECHO");
    return static_cast<uint8_t>(env != nullptr ? std::atoi(env) : TRACE_LEVEL_ERROR);
}();
bool g_sessionActive = false;

const char* BaseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void Append(kshim::host::TraceRecord&& record)
{
    bool echo = record.level != 0 && record.level <= g_echo;
    if (echo) {
        if (record.binary.empty()) {
            std::fprintf(stderr, "[%u] %s: %s\n", record.thread, record.function.c_str(), record.text.c_str());
        } else {
            std::fprintf(stderr, "[%u] %s: %zu bytes\n", record.thread, record.function.c_str(),
                         record.binary.size());
        }
    }
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_ring->push_back(std::move(record));
    while (g_ring->size() > g_capacity) {
        g_ring->pop_front();
    }
}

__attribute__((format(printf, 6, 0))) void AppendMessage(const char* file, const char* function, UCHAR level,
                                                          ULONG flags, const char* event, const char* format,
                                                          va_list args)
{
    char text[KTRACE_MAX_MESSAGE];
    std::vsnprintf(text, sizeof(text), format, args);
    kshim::host::TraceRecord r;
    r.time = kshim::ClockNow();
    r.thread = kshim::CurrentThreadNumber();
    r.irql = KeGetCurrentIrql();
    r.level = level;
    r.flags = flags;
    r.file = BaseName(file);
    r.function = function;
    r.text = text;
    if (event != nullptr) {
        r.event = event;
    }
    Append(std::move(r));
}

}  // namespace

void KshimTraceMessage(const char* file, int, const char* function, UCHAR level, ULONG flags, const char* format,
                       ...)
{
    va_list args;
    va_start(args, format);
    AppendMessage(file, function, level, flags, nullptr, format, args);
    va_end(args);
}

void KshimTraceEvent(const char* file, int, const char* function, UCHAR level, ULONG flags, const char* event,
                     const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendMessage(file, function, level, flags, event, format, args);
    va_end(args);
}

void KshimTraceBinary(const char* file, const char* function, UCHAR level, ULONG flags, const void* data,
                      SIZE_T length)
{
    kshim::host::TraceRecord r;
    r.time = kshim::ClockNow();
    r.thread = kshim::CurrentThreadNumber();
    r.irql = KeGetCurrentIrql();
    r.level = level;
    r.flags = flags;
    r.file = BaseName(file);
    r.function = function;
    const auto* bytes = static_cast<const uint8_t*>(data);
    r.binary.assign(bytes, bytes + length);
    Append(std::move(r));
}

void KshimTraceStart(PDRIVER_OBJECT, PCUNICODE_STRING)
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_sessionActive = true;
}

void KshimTraceStop(PDRIVER_OBJECT)
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_sessionActive = false;
}

namespace kshim::host {

void TraceSetLevel(uint8_t level, uint32_t flags)
{
    g_KshimTraceLevel = level;
    g_KshimTraceFlags = flags;
}

void TraceSetEcho(uint8_t level) { g_echo = level; }

void TraceSetCapacity(size_t records)
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_capacity = records == 0 ? 1 : records;
}

std::vector<TraceRecord> TraceSnapshot()
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    return std::vector<TraceRecord>(g_ring->begin(), g_ring->end());
}

void TraceClear()
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_ring->clear();
}

bool TraceContains(const std::string& text)
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    for (const TraceRecord& r : *g_ring) {
        if (r.text.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool TraceSessionActive()
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    return g_sessionActive;
}

}  // namespace kshim::host
