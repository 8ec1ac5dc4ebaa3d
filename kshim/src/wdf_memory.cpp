// Framework memory and string objects.
#include <string>

#include "wdf_internal.h"

namespace kshim::wdf {

struct FxMemory : FxObject {
    static constexpr Kind kKind = Kind::Memory;
    FxMemory() : FxObject(Kind::Memory) {}
    ~FxMemory() override
    {
        if (owned && buffer != nullptr) {
            ExFreePoolWithTag(buffer, tag);
        }
    }
    PVOID buffer = nullptr;
    size_t size = 0;
    bool owned = false;  // allocated by the framework (freed with the object)
    ULONG tag = 0;
};

struct FxString : FxObject {
    static constexpr Kind kKind = Kind::String;
    FxString() : FxObject(Kind::String) {}
    std::u16string text;
};

namespace {

NTSTATUS CreateMemory(PWDF_OBJECT_ATTRIBUTES attributes, FxMemory* memory, const char* call, WDFMEMORY* out)
{
    bool invalid;
    FxObject* parent = ParentFromAttributes(attributes, CurrentDriver(), call, &invalid);
    if (invalid) {
        delete memory;
        return STATUS_INVALID_HANDLE;
    }
    NTSTATUS status = Register(memory, attributes, parent, call);
    if (!NT_SUCCESS(status)) {
        delete memory;
        return status;
    }
    *out = Handle<WDFMEMORY>(memory);
    return STATUS_SUCCESS;
}

}  // namespace
}  // namespace kshim::wdf

using namespace kshim::wdf;

NTSTATUS WdfMemoryCreate(PWDF_OBJECT_ATTRIBUTES Attributes, POOL_TYPE PoolType, ULONG PoolTag, size_t BufferSize,
                         WDFMEMORY* Memory, PVOID* Buffer)
{
    if (Memory == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *Memory = nullptr;
    if (Buffer != nullptr) {
        *Buffer = nullptr;
    }
    if (BufferSize == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!AttributesValid(Attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (PoolType == PagedPool && KeGetCurrentIrql() > APC_LEVEL) {
        KshimViolation("paged memory object created above APC_LEVEL", nullptr);
    }
    NTSTATUS status;
    if (CreateFault(Kind::Memory, &status)) {
        return status;
    }
    FxDriver* driver = CurrentDriver();
    ULONG tag = PoolTag != 0 ? PoolTag : (driver != nullptr ? driver->config.DriverPoolTag : KSHIM_TAG('F', 'x', 'M', 'm'));
    PVOID buffer = ExAllocatePool2(PoolType == PagedPool ? POOL_FLAG_PAGED : POOL_FLAG_NON_PAGED, BufferSize, tag);
    if (buffer == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* memory = new FxMemory();
    memory->buffer = buffer;
    memory->size = BufferSize;
    memory->owned = true;
    memory->tag = tag;
    status = CreateMemory(Attributes, memory, "WdfMemoryCreate", Memory);
    if (NT_SUCCESS(status) && Buffer != nullptr) {
        *Buffer = buffer;
    }
    return status;
}

NTSTATUS WdfMemoryCreatePreallocated(PWDF_OBJECT_ATTRIBUTES Attributes, PVOID Buffer, size_t BufferSize,
                                     WDFMEMORY* Memory)
{
    if (Memory == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *Memory = nullptr;
    if (Buffer == nullptr || BufferSize == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!AttributesValid(Attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    NTSTATUS status;
    if (CreateFault(Kind::Memory, &status)) {
        return status;
    }
    auto* memory = new FxMemory();
    memory->buffer = Buffer;
    memory->size = BufferSize;
    return CreateMemory(Attributes, memory, "WdfMemoryCreatePreallocated", Memory);
}

PVOID WdfMemoryGetBuffer(WDFMEMORY Memory, size_t* BufferSize)
{
    auto* memory = Lookup<FxMemory>(Memory, "WdfMemoryGetBuffer");
    if (memory == nullptr) {
        if (BufferSize != nullptr) {
            *BufferSize = 0;
        }
        return nullptr;
    }
    if (BufferSize != nullptr) {
        *BufferSize = memory->size;
    }
    return memory->buffer;
}

NTSTATUS WdfStringCreate(PCUNICODE_STRING UnicodeString, PWDF_OBJECT_ATTRIBUTES StringAttributes, WDFSTRING* String)
{
    RequirePassive("WdfStringCreate");
    if (String == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *String = nullptr;
    if (UnicodeString != nullptr &&
        (UnicodeString->Length > UnicodeString->MaximumLength || (UnicodeString->Length % sizeof(WCHAR)) != 0 ||
         (UnicodeString->Length != 0 && UnicodeString->Buffer == nullptr))) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!AttributesValid(StringAttributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    bool invalid;
    FxObject* parent = ParentFromAttributes(StringAttributes, CurrentDriver(), "WdfStringCreate", &invalid);
    if (invalid) {
        return STATUS_INVALID_HANDLE;
    }
    NTSTATUS status;
    if (CreateFault(Kind::String, &status)) {
        return status;
    }
    auto* string = new FxString();
    if (UnicodeString != nullptr && UnicodeString->Length != 0) {
        string->text.assign(UnicodeString->Buffer, UnicodeString->Length / sizeof(WCHAR));
    }
    status = Register(string, StringAttributes, parent, "WdfStringCreate");
    if (!NT_SUCCESS(status)) {
        delete string;
        return status;
    }
    *String = Handle<WDFSTRING>(string);
    return STATUS_SUCCESS;
}

VOID WdfStringGetUnicodeString(WDFSTRING String, PUNICODE_STRING UnicodeString)
{
    auto* string = Lookup<FxString>(String, "WdfStringGetUnicodeString");
    if (UnicodeString == nullptr) {
        return;
    }
    if (string == nullptr) {
        UnicodeString->Length = UnicodeString->MaximumLength = 0;
        UnicodeString->Buffer = nullptr;
        return;
    }
    UnicodeString->Buffer = string->text.data();
    UnicodeString->Length = static_cast<USHORT>(string->text.size() * sizeof(WCHAR));
    UnicodeString->MaximumLength = UnicodeString->Length;
}
