// Registry values under absolute key paths, and the driver's own service key.
#include "platform/ndiscommon/registry_host.h"

#include <cstring>

#include "kshim/registry.h"
#include "kshim/rtl.h"
#include "kshim/wdf.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

// The pool tag of the value buffers.
#define TAG_Tag1 KSHIM_TAG('T', 'a', 'g', '1')

namespace {

constexpr ULONG kPartialHeader = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);

NTSTATUS OpenKey(PCWSTR keyPath, PHANDLE key)
{
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, keyPath);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    return ZwOpenKey(key, KEY_ALL_ACCESS, &attributes);
}

// Asks for the value's size with a query without a buffer, then queries it into a buffer of the
// allocator of that size, at most kPartialHeader + maxData bytes: a longer value is refused before
// anything is allocated. On success *info (freed by the caller with `*size`) holds the whole value.
NTSTATUS QueryBounded(HANDLE key, PUNICODE_STRING name, ULONG maxData, PKEY_VALUE_PARTIAL_INFORMATION* info,
                      PULONG size)
{
    *info = nullptr;
    *size = 0;
    ULONG needed = 0;
    NTSTATUS status = ZwQueryValueKey(key, name, KeyValuePartialInformation, nullptr, 0, &needed);
    if (status != STATUS_BUFFER_OVERFLOW && status != STATUS_BUFFER_TOO_SMALL) {
        return status;
    }
    if (needed < kPartialHeader || needed - kPartialHeader > maxData) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "value of %u bytes does not fit its %u-byte buffer: taken as missing",
                 static_cast<unsigned>(needed < kPartialHeader ? 0 : needed - kPartialHeader),
                 static_cast<unsigned>(maxData));
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    PVOID buffer = nullptr;
    status = PlatformAllocateMemory(nullptr, &buffer, needed, TAG_Tag1);
    if (!NT_SUCCESS(status)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ULONG returned = 0;
    status = ZwQueryValueKey(key, name, KeyValuePartialInformation, buffer, needed, &returned);
    auto* answer = static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    if (NT_SUCCESS(status) && answer->DataLength > needed - kPartialHeader) {
        // The value grew between the two queries.
        status = STATUS_OBJECT_NAME_NOT_FOUND;
    }
    if (!NT_SUCCESS(status)) {
        PlatformFreeMemory(buffer, needed);
        return status;
    }
    *info = answer;
    *size = needed;
    return STATUS_SUCCESS;
}

// Opens the key and reads the value through QueryBounded; the key is closed again.
NTSTATUS ReadValue(PCWSTR keyPath, PCWSTR valueName, ULONG maxData, PKEY_VALUE_PARTIAL_INFORMATION* info,
                   PULONG size)
{
    *info = nullptr;
    *size = 0;
    HANDLE key = nullptr;
    NTSTATUS status = OpenKey(keyPath, &key);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CONFIG, "key not opened: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, valueName);
    status = QueryBounded(key, &name, maxData, info, size);
    ZwClose(key);
    return status;
}

}  // namespace

NTSTATUS GetHostRegistryValue(PCWSTR keyPath, PCWSTR valueName, PULONG value)
{
    PKEY_VALUE_PARTIAL_INFORMATION info = nullptr;
    ULONG size = 0;
    NTSTATUS status = ReadValue(keyPath, valueName, sizeof(ULONG), &info, &size);
    if (NT_SUCCESS(status)) {
        if (info->Type != REG_DWORD) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "value of type %u where a 32-bit value is read: taken as missing",
                     static_cast<unsigned>(info->Type));
            status = STATUS_OBJECT_NAME_NOT_FOUND;
        } else {
            ULONG v = 0;
            std::memcpy(&v, info->Data, info->DataLength);
            *value = v;
        }
        PlatformFreeMemory(info, size);
    }
    return status;
}

NTSTATUS HalReadRegistryValue(PCWSTR valueName, PULONG length, PWCHAR buffer, PCWSTR keyPath)
{
    *length = 0;
    buffer[0] = 0;
    PKEY_VALUE_PARTIAL_INFORMATION info = nullptr;
    ULONG size = 0;
    // The text and, when the value carries one, its terminating zero.
    NTSTATUS status = ReadValue(keyPath, valueName, (HAL_REGISTRY_VALUE_CHARS + 1) * sizeof(WCHAR), &info, &size);
    if (NT_SUCCESS(status)) {
        if (info->Type != REG_SZ && info->Type != REG_EXPAND_SZ) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "value of type %u where a text is read: taken as missing",
                     static_cast<unsigned>(info->Type));
            status = STATUS_OBJECT_NAME_NOT_FOUND;
        } else {
            ULONG chars = 0;
            ULONG available = info->DataLength / sizeof(WCHAR);
            while (chars < available) {
                WCHAR c;
                std::memcpy(&c, info->Data + chars * sizeof(WCHAR), sizeof(c));
                if (c == 0) {
                    break;
                }
                ++chars;
            }
            if (chars > HAL_REGISTRY_VALUE_CHARS) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "text of %u characters: taken as missing",
                         static_cast<unsigned>(chars));
                status = STATUS_OBJECT_NAME_NOT_FOUND;
            } else {
                std::memcpy(buffer, info->Data, chars * sizeof(WCHAR));
                buffer[chars] = 0;
                *length = chars * sizeof(WCHAR);
            }
        }
        PlatformFreeMemory(info, size);
    }
    return status;
}

NTSTATUS RegistryGetDriverServicePath(PWCHAR path, ULONG pathChars)
{
    if (path == nullptr || pathChars == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    path[0] = 0;
    WDFDRIVER driver = WdfGetDriver();
    PDRIVER_OBJECT object = driver != nullptr ? WdfDriverWdmGetDriverObject(driver) : nullptr;
    if (object == nullptr || object->DriverName.Buffer == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "no driver object");
        return STATUS_UNSUCCESSFUL;
    }
    // "\Driver\<service>": the service is the last component.
    ULONG chars = object->DriverName.Length / sizeof(WCHAR);
    ULONG start = 0;
    for (ULONG i = 0; i < chars; ++i) {
        if (object->DriverName.Buffer[i] == u'\\') {
            start = i + 1;
        }
    }
    if (start >= chars) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "driver object without a service name");
        return STATUS_UNSUCCESSFUL;
    }
    static const WCHAR kServices[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";
    constexpr ULONG kServicesChars = sizeof(kServices) / sizeof(WCHAR) - 1;
    ULONG serviceChars = chars - start;
    if (kServicesChars + serviceChars + 1 > pathChars) {
        return STATUS_BUFFER_OVERFLOW;
    }
    std::memcpy(path, kServices, kServicesChars * sizeof(WCHAR));
    std::memcpy(path + kServicesChars, object->DriverName.Buffer + start, serviceChars * sizeof(WCHAR));
    path[kServicesChars + serviceChars] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS RegistryGetDriverParametersPath(PWCHAR path, ULONG pathChars)
{
    WCHAR service[DRIVER_REGISTRY_PATH_CHARS];
    NTSTATUS status = RegistryGetDriverServicePath(service, DRIVER_REGISTRY_PATH_CHARS);
    if (!NT_SUCCESS(status)) {
        if (path != nullptr && pathChars != 0) {
            path[0] = 0;
        }
        return status;
    }
    status = RtlStringCbPrintfW(path, static_cast<SIZE_T>(pathChars) * sizeof(WCHAR), u"%s\\%s", service,
                                u"Parameters");
    if (!NT_SUCCESS(status)) {
        path[0] = 0;
    }
    return status;
}
