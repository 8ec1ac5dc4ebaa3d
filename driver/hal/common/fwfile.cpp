// Firmware container files: the container check, lookups by name, the choice between the Wi-Fi and
// the Bluetooth container, and the copy-out of an image.
#include "hal/common/fwfile.h"

#include <cstring>

#include "kshim/files.h"
#include "kshim/irql.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kHeaderSize = sizeof(FW_CONTAINER_HEADER);
constexpr ULONG kWifiStampBytes = 14;  // a Wi-Fi time stamp keeps 14 characters and a zero

ULONG EntryCount(const UCHAR* container)
{
    return static_cast<ULONG>(HalFwReadLe16(container + offsetof(FW_CONTAINER_HEADER, LastIndex))) + 1;
}

const UCHAR* EntryAt(const UCHAR* container, ULONG index)
{
    return container + kHeaderSize + static_cast<SIZE_T>(index) * sizeof(BIG_FW_ENTRY);
}

ULONG EntryOffset(const UCHAR* entry) { return HalFwReadLe32(entry + offsetof(BIG_FW_ENTRY, Offset)); }
ULONG EntrySize(const UCHAR* entry) { return HalFwReadLe32(entry + offsetof(BIG_FW_ENTRY, Size)); }

PFW_CONTAINER_FILE ContainerOf(PFW_FILE_BLOCK files, BOOLEAN wifiContainer)
{
    return wifiContainer ? &files->WifiContainer : &files->BtContainer;
}

// The check of a loaded container, made once per buffer.
NTSTATUS CheckLoadedContainer(PFW_CONTAINER_FILE file)
{
    if (file->CheckedBuffer != file->Buffer || file->CheckedSize != file->Size) {
        file->CheckStatus = HalFwCheckContainer(file->Buffer, file->Size);
        file->CheckedBuffer = file->Buffer;
        file->CheckedSize = file->Size;
    }
    return file->CheckStatus;
}

void ClearContainer(PFW_CONTAINER_FILE file)
{
    PlatformFreeMemory(file->Buffer, file->Size);
    std::memset(file, 0, sizeof(*file));
}

// A signed decimal number at the start of an information text (after blanks), as "%lld" reads it,
// never reading beyond the text's 16 bytes; false when there is none.
bool ReadStamp(const UCHAR* info, LONG64* value)
{
    ULONG i = 0;
    while (i < FW_IMAGE_INFO_SIZE && (info[i] == ' ' || (info[i] >= '\t' && info[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < FW_IMAGE_INFO_SIZE && (info[i] == '+' || info[i] == '-')) {
        negative = info[i] == '-';
        ++i;
    }
    ULONG digits = 0;
    LONG64 number = 0;  // at most 16 digits: no overflow
    for (; i < FW_IMAGE_INFO_SIZE && info[i] >= '0' && info[i] <= '9'; ++i, ++digits) {
        number = number * 10 + (info[i] - '0');
    }
    *value = negative ? -number : number;
    return digits != 0;
}

// The lookup in a container that passed HalFwCheckContainer.
NTSTATUS FindInCheckedContainer(const UCHAR* container, PCSTR name, PFW_IMAGE_REF ref)
{
    if (name == nullptr || ref == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwFindImage: no name (0x%08X)",
                 static_cast<unsigned>(STATUS_INVALID_PARAMETER));
        return STATUS_INVALID_PARAMETER;
    }
    ULONG length = HalFwBoundedLength(name, FW_IMAGE_NAME_SIZE);
    if (length == FW_IMAGE_NAME_SIZE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwFindImage: name longer than %u characters (0x%08X)",
                 FW_IMAGE_NAME_SIZE - 1, static_cast<unsigned>(STATUS_INVALID_PARAMETER));
        return STATUS_INVALID_PARAMETER;
    }
    ULONG count = EntryCount(container);
    for (ULONG i = 0; i < count; ++i) {
        const UCHAR* entry = EntryAt(container, i);
        if (std::memcmp(entry + offsetof(BIG_FW_ENTRY, Name), name, length) != 0) {
            continue;
        }
        std::memcpy(ref->Info, entry + offsetof(BIG_FW_ENTRY, Info), FW_IMAGE_INFO_SIZE);
        ref->Offset = EntryOffset(entry);
        ref->Size = EntrySize(entry);
        ref->Image = container + ref->Offset;
        return STATUS_SUCCESS;
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "HalFwFindImage: \"%s\" not among entries 0 to %u", name,
             static_cast<unsigned>(count - 1));
    return STATUS_NOT_FOUND;
}

}  // namespace

// ---- containers in memory ---------------------------------------------------------------------------

NTSTATUS HalFwCheckContainer(const UCHAR* container, ULONG size)
{
    if (container == nullptr || size < kHeaderSize) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwCheckContainer: %u bytes hold no header", static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    if (std::memcmp(container, FW_CONTAINER_MAGIC, 4) != 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwCheckContainer: magic %02X %02X %02X %02X is not \"QZL-\"",
                 container[0], container[1], container[2], container[3]);
        return STATUS_INVALID_IMAGE_FORMAT;
    }
    ULONG count = EntryCount(container);
    ULONG64 directoryEnd = kHeaderSize + static_cast<ULONG64>(count) * sizeof(BIG_FW_ENTRY);
    if (directoryEnd > size) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwCheckContainer: directory of %u entries ends at %llu, file has %u",
                 static_cast<unsigned>(count), static_cast<unsigned long long>(directoryEnd),
                 static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    for (ULONG i = 0; i < count; ++i) {
        const UCHAR* entry = EntryAt(container, i);
        ULONG offset = EntryOffset(entry);
        ULONG length = EntrySize(entry);
        ULONG64 end = static_cast<ULONG64>(offset) + length;
        if (end > size) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwCheckContainer: entry %u \"%.48s\" at %u+%u beyond %u bytes",
                     static_cast<unsigned>(i), reinterpret_cast<const char*>(entry), static_cast<unsigned>(offset),
                     static_cast<unsigned>(length), static_cast<unsigned>(size));
            return STATUS_FILE_CORRUPT_ERROR;
        }
        if (length == 0) {
            continue;
        }
        if (offset < directoryEnd) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwCheckContainer: entry %u at %u overlaps the directory",
                     static_cast<unsigned>(i), static_cast<unsigned>(offset));
            return STATUS_DATA_ERROR;
        }
        for (ULONG j = 0; j < i; ++j) {
            const UCHAR* other = EntryAt(container, j);
            ULONG otherOffset = EntryOffset(other);
            ULONG otherLength = EntrySize(other);
            if (otherLength != 0 && offset < static_cast<ULONG64>(otherOffset) + otherLength && otherOffset < end) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwCheckContainer: entries %u and %u overlap",
                         static_cast<unsigned>(j), static_cast<unsigned>(i));
                return STATUS_DATA_ERROR;
            }
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS HalFwFindImage(const UCHAR* container, ULONG size, PCSTR name, PFW_IMAGE_REF ref)
{
    NTSTATUS status = HalFwCheckContainer(container, size);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return FindInCheckedContainer(container, name, ref);
}

// ---- the adapter's containers -----------------------------------------------------------------------

PUCHAR HalLoadBinfromPath(struct _MP_ADAPTER* adapter, PCWSTR path, PULONG size)
{
    if (size != nullptr) {
        *size = 0;
    }
    if (path == nullptr || path[0] == 0 || size == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBinfromPath: no file name");
        return nullptr;
    }
    if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBinfromPath: files are read at passive level only");
        return nullptr;
    }
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, path);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE file = nullptr;
    IO_STATUS_BLOCK io;
    NTSTATUS status = ZwOpenFile(&file, GENERIC_READ | SYNCHRONIZE, &attributes, &io, FILE_SHARE_READ,
                                 FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBinfromPath: open failed (0x%08X)", static_cast<unsigned>(status));
        return nullptr;
    }

    PUCHAR buffer = nullptr;
    ULONG length = 0;
    FILE_STANDARD_INFORMATION information;
    status = ZwQueryInformationFile(file, &io, &information, sizeof(information), FileStandardInformation);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBinfromPath: size query failed (0x%08X)",
                 static_cast<unsigned>(status));
    } else if (information.EndOfFile.QuadPart <= 0 || information.EndOfFile.QuadPart > FW_FILE_MAX_SIZE) {
        // A firmware file is never empty, and never larger than the bound: the size a larger file
        // gives in 32 bits would name a part of it.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBinfromPath: file of %lld bytes refused (1 to %u)",
                 static_cast<long long>(information.EndOfFile.QuadPart), static_cast<unsigned>(FW_FILE_MAX_SIZE));
    } else {
        length = information.EndOfFile.LowPart;
        PVOID block = nullptr;
        status = PlatformAllocateMemory(adapter, &block, length, TAG_ZV53);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBinfromPath: no memory for %u bytes", static_cast<unsigned>(length));
        } else {
            buffer = static_cast<PUCHAR>(block);
            LARGE_INTEGER offset;
            offset.QuadPart = 0;
            io.Information = 0;
            status = ZwReadFile(file, nullptr, nullptr, nullptr, &io, buffer, length, &offset, nullptr);
            if (!NT_SUCCESS(status) || io.Information != length) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBinfromPath: read %u of %u bytes (0x%08X)",
                         static_cast<unsigned>(io.Information), static_cast<unsigned>(length),
                         static_cast<unsigned>(status));
                PlatformFreeMemory(buffer, length);
                buffer = nullptr;
            }
        }
    }
    (void)ZwClose(file);
    if (buffer != nullptr) {
        *size = length;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "HalLoadBinfromPath: %u bytes", static_cast<unsigned>(length));
    }
    return buffer;
}

void HalFwSetContainer(PFW_FILE_BLOCK files, BOOLEAN wifiContainer, PUCHAR buffer, ULONG size)
{
    if (files == nullptr) {
        return;
    }
    PFW_CONTAINER_FILE file = ContainerOf(files, wifiContainer);
    ClearContainer(file);
    file->Buffer = buffer;
    file->Size = buffer != nullptr ? size : 0;
}

PFW_IMAGE_REF HalGetTheTargetImage(PFW_FILE_BLOCK files, PCSTR name, BOOLEAN wifiContainer)
{
    PCSTR which = wifiContainer ? "Wi-Fi" : "Bluetooth";
    if (files == nullptr) {
        return nullptr;
    }
    PFW_CONTAINER_FILE file = ContainerOf(files, wifiContainer);
    if (file->Buffer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "HalGetTheTargetImage: no %s container loaded", which);
        return nullptr;
    }
    NTSTATUS status = CheckLoadedContainer(file);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalGetTheTargetImage: %s container refused (0x%08X)", which,
                 static_cast<unsigned>(status));
        return nullptr;
    }
    FW_IMAGE_REF found;
    status = FindInCheckedContainer(file->Buffer, name, &found);
    if (!NT_SUCCESS(status)) {
        return nullptr;
    }
    PVOID block = nullptr;
    if (!NT_SUCCESS(PlatformAllocateMemory(nullptr, &block, sizeof(FW_IMAGE_REF), TAG_ZV53))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalGetTheTargetImage: no memory for the reference");
        return nullptr;
    }
    PFW_IMAGE_REF ref = static_cast<PFW_IMAGE_REF>(block);
    *ref = found;
    return ref;
}

void HalFwFreeImageRef(PFW_IMAGE_REF ref) { PlatformFreeMemory(ref, sizeof(FW_IMAGE_REF)); }

ULONG HalCompareBtWfTimestamp(const UCHAR btInfo[FW_IMAGE_INFO_SIZE], const UCHAR wfInfo[FW_IMAGE_INFO_SIZE])
{
    LONG64 bt = 0;
    LONG64 wf = 0;
    if (!ReadStamp(btInfo, &bt)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "HalCompareBtWfTimestamp: Bluetooth time stamp unreadable");
    }
    if (!ReadStamp(wfInfo, &wf)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "HalCompareBtWfTimestamp: Wi-Fi time stamp unreadable");
    }
    if (bt > wf) {
        return 1;
    }
    return bt < wf ? 2 : 0;
}

PUCHAR HalLoadBigFW(PFW_FILE_BLOCK files, ULONG fwBin, PCSTR name, PULONG size)
{
    if (files == nullptr || size == nullptr) {
        return nullptr;
    }
    PFW_IMAGE_REF wifi = HalGetTheTargetImage(files, name, TRUE);
    PFW_IMAGE_REF bt = fwBin == 1 ? HalGetTheTargetImage(files, name, FALSE) : nullptr;
    PFW_IMAGE_REF kept = wifi;
    if (bt != nullptr && (wifi == nullptr || HalCompareBtWfTimestamp(bt->Info, wifi->Info) == 1)) {
        kept = bt;
    }
    PUCHAR copy = nullptr;
    if (kept == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBigFW: \"%s\" is in no container", name != nullptr ? name : "");
    } else if (kept->Size == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBigFW: \"%s\" is empty", name);
    } else {
        PVOID block = nullptr;
        if (!NT_SUCCESS(PlatformAllocateMemory(nullptr, &block, kept->Size, TAG_ZV53))) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalLoadBigFW: no memory for %u bytes of \"%s\"",
                     static_cast<unsigned>(kept->Size), name);
        } else {
            copy = static_cast<PUCHAR>(block);
            std::memcpy(copy, kept->Image, kept->Size);
            *size = kept->Size;
            if (kept == bt) {
                std::memcpy(files->FwTimeStamp, kept->Info, FW_IMAGE_INFO_SIZE);
            } else {
                std::memcpy(files->FwTimeStamp, kept->Info, kWifiStampBytes);
                files->FwTimeStamp[kWifiStampBytes] = 0;
            }
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "HalLoadBigFW: \"%s\" from the %s container, %u bytes, \"%.16s\"",
                     name, kept == bt ? "Bluetooth" : "Wi-Fi", static_cast<unsigned>(kept->Size),
                     reinterpret_cast<const char*>(kept->Info));
        }
    }
    HalFwFreeImageRef(wifi);
    HalFwFreeImageRef(bt);
    return copy;
}

void HalFreeBigFW(PFW_FILE_BLOCK files)
{
    if (files == nullptr) {
        return;
    }
    ClearContainer(&files->WifiContainer);
    ClearContainer(&files->BtContainer);
}
