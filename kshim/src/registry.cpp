// The registry: an in-memory store of keys and values, the Zw key calls over it, and the harness's
// functions to fill and read it.
#include "kshim/registry.h"

#include <cstring>

#include "internal.h"
#include "kshim/host/registry.h"
#include "regstore.h"
#include "text.h"

// ================================================================================================
// the store
// ================================================================================================
namespace kshim::reg {

Store& TheStore()
{
    static Store* store = [] {
        auto* s = new Store();
        ClearLocked(*s);
        return s;
    }();
    return *store;
}

bool ValidValueName(const std::string& name)
{
    if (name.size() > kMaxValueNameBytes) {
        return false;
    }
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

bool ResolvePathLocked(Store& store, const std::string& in, std::string* out, std::string* why)
{
    static const char kDevice[] = "@device";
    static const char kRoot[] = "\\Registry";
    std::string path = in;
    if (path.size() >= 7 && NamesEqual(std::string_view(path).substr(0, 7), kDevice) &&
        (path.size() == 7 || path[7] == '\\')) {
        path = store.devicePath + path.substr(7);
    }
    if (path.size() > kMaxPathBytes) {
        *why = "key path too long";
        return false;
    }
    if (path.size() < 9 || !NamesEqual(std::string_view(path).substr(0, 9), kRoot) ||
        (path.size() > 9 && path[9] != '\\')) {
        *why = "key path does not start with \\Registry";
        return false;
    }
    size_t componentLength = 0;
    for (size_t i = 1; i < path.size(); ++i) {
        char c = path[i];
        if (static_cast<unsigned char>(c) < 0x20) {
            *why = "control character in key path";
            return false;
        }
        if (c == '\\') {
            if (componentLength == 0) {
                *why = "empty component in key path";
                return false;
            }
            componentLength = 0;
        } else if (++componentLength > kMaxComponentBytes) {
            *why = "key name longer than 255 bytes";
            return false;
        }
    }
    if (componentLength == 0) {
        *why = "key path ends with a backslash";
        return false;
    }
    *out = std::move(path);
    return true;
}

Key* FindKeyLocked(Store& store, const std::string& path)
{
    auto it = store.keys.find(FoldName(path));
    return it == store.keys.end() ? nullptr : &it->second;
}

Key& CreateKeyLocked(Store& store, const std::string& path)
{
    // Every prefix that ends before a backslash is an ancestor.
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            std::string prefix = path.substr(0, i);
            std::string folded = FoldName(prefix);
            if (store.keys.find(folded) == store.keys.end()) {
                store.keys.emplace(folded, Key{prefix, {}});
            }
        }
    }
    return store.keys.find(FoldName(path))->second;
}

bool ParentExistsLocked(Store& store, const std::string& path)
{
    size_t slash = path.rfind('\\');
    if (slash == 0 || slash == std::string::npos) {
        return true;
    }
    return FindKeyLocked(store, path.substr(0, slash)) != nullptr;
}

Value* FindValue(Key& key, const std::string& name)
{
    for (Value& v : key.values) {
        if (NamesEqual(v.name, name)) {
            return &v;
        }
    }
    return nullptr;
}

void SetValue(Key& key, const std::string& name, uint32_t type, const uint8_t* data, size_t size)
{
    Value* v = FindValue(key, name);
    if (v == nullptr) {
        key.values.push_back(Value{name, 0, {}});
        v = &key.values.back();
    }
    v->type = type;
    v->data.assign(data, data + size);
}

bool DeleteValue(Key& key, const std::string& name)
{
    for (auto it = key.values.begin(); it != key.values.end(); ++it) {
        if (NamesEqual(it->name, name)) {
            key.values.erase(it);
            return true;
        }
    }
    return false;
}

void ClearLocked(Store& store)
{
    store.keys.clear();
    CreateKeyLocked(store, "\\Registry\\Machine");
    CreateKeyLocked(store, "\\Registry\\User");
}

}  // namespace kshim::reg

// ================================================================================================
// Zw key calls
// ================================================================================================
namespace {

using kshim::reg::Store;
using kshim::reg::TheStore;

struct OpenKey {
    std::string path;
    ACCESS_MASK access;
};

void CloseKey(void* object) { delete static_cast<OpenKey*>(object); }

ACCESS_MASK MapAccess(ACCESS_MASK desired)
{
    ACCESS_MASK access = desired & 0x00FFFFFFu;
    if ((desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) != 0) {
        access |= KEY_ALL_ACCESS;
    }
    if ((desired & GENERIC_READ) != 0) {
        access |= KEY_READ;
    }
    if ((desired & GENERIC_WRITE) != 0) {
        access |= KEY_WRITE;
    }
    return access;
}

bool NameFromCounted(PCUNICODE_STRING s, std::string* out)
{
    if (s == nullptr) {
        out->clear();
        return true;
    }
    if ((s->Length & 1) != 0 || s->Length > s->MaximumLength || (s->Length != 0 && s->Buffer == nullptr)) {
        return false;
    }
    *out = kshim::CountedToUtf8(s);
    return true;
}

// The absolute path the attributes name (with a root key handle: below that key).
NTSTATUS PathFromAttributes(POBJECT_ATTRIBUTES attributes, std::string* given, std::string* resolved)
{
    if (attributes == nullptr || attributes->ObjectName == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    std::string name;
    if (!NameFromCounted(attributes->ObjectName, &name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    if (attributes->RootDirectory != nullptr) {
        auto* root = static_cast<OpenKey*>(kshim::HandleLookup(attributes->RootDirectory, kshim::HandleKey));
        if (root == nullptr) {
            return STATUS_INVALID_HANDLE;
        }
        if (!name.empty() && name[0] == '\\') {
            return STATUS_OBJECT_NAME_INVALID;
        }
        name = name.empty() ? root->path : root->path + "\\" + name;
    } else if (name.empty() || name[0] != '\\') {
        return STATUS_OBJECT_NAME_INVALID;
    }
    *given = name;
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string why;
    // "@device" is a harness name only; a caller's path must be absolute.
    if (name[0] != '\\' || !kshim::reg::ResolvePathLocked(store, name, resolved, &why)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    return STATUS_SUCCESS;
}

NTSTATUS OpenOrCreate(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES attributes, bool create,
                      PULONG disposition, const char* call)
{
    KshimMayBlock(call);
    if (keyHandle == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *keyHandle = nullptr;
    std::string given, path;
    NTSTATUS status = PathFromAttributes(attributes, &given, &path);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (kshim::FaultCheck("registry.open", given.c_str(), &status)) {
        return status;
    }
    Store& store = TheStore();
    std::string display;
    {
        std::lock_guard<std::mutex> guard(store.lock);
        kshim::reg::Key* key = kshim::reg::FindKeyLocked(store, path);
        ULONG result = REG_OPENED_EXISTING_KEY;
        if (key == nullptr) {
            if (!create || !kshim::reg::ParentExistsLocked(store, path)) {
                return STATUS_OBJECT_NAME_NOT_FOUND;
            }
            key = &kshim::reg::CreateKeyLocked(store, path);
            result = REG_CREATED_NEW_KEY;
        }
        display = key->path;
        if (disposition != nullptr) {
            *disposition = result;
        }
    }
    *keyHandle = kshim::HandleCreate(kshim::HandleKey, new OpenKey{display, MapAccess(desiredAccess)}, CloseKey);
    return STATUS_SUCCESS;
}

// Looks the handle up and checks the right it needs; on success the store lock is held by guard.
NTSTATUS KeyForCall(HANDLE keyHandle, ACCESS_MASK needed, std::unique_lock<std::mutex>* guard,
                    kshim::reg::Key** key)
{
    auto* open = static_cast<OpenKey*>(kshim::HandleLookup(keyHandle, kshim::HandleKey));
    if (open == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    if ((open->access & needed) != needed) {
        return STATUS_ACCESS_DENIED;
    }
    Store& store = TheStore();
    *guard = std::unique_lock<std::mutex>(store.lock);
    *key = kshim::reg::FindKeyLocked(store, open->path);
    return *key == nullptr ? STATUS_KEY_DELETED : STATUS_SUCCESS;
}

void CopyOut(PUCHAR buffer, ULONG length, ULONG offset, const void* source, size_t size)
{
    if (offset >= length || size == 0) {
        return;
    }
    size_t room = length - offset;
    std::memcpy(buffer + offset, source, size < room ? size : room);
}

}  // namespace

NTSTATUS ZwOpenKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes)
{
    return OpenOrCreate(keyHandle, desiredAccess, objectAttributes, false, nullptr, "ZwOpenKey");
}

NTSTATUS ZwCreateKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                     ULONG titleIndex, PUNICODE_STRING className, ULONG createOptions, PULONG disposition)
{
    return OpenOrCreate(keyHandle, desiredAccess, objectAttributes, true, disposition, "ZwCreateKey");
}

NTSTATUS ZwQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                         KEY_VALUE_INFORMATION_CLASS keyValueInformationClass, PVOID keyValueInformation,
                         ULONG length, PULONG resultLength)
{
    KshimMayBlock("ZwQueryValueKey");
    if (resultLength == nullptr || (keyValueInformation == nullptr && length != 0)) {
        return STATUS_INVALID_PARAMETER;
    }
    *resultLength = 0;
    std::string name;
    if (!NameFromCounted(valueName, &name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    if (keyValueInformationClass != KeyValuePartialInformation &&
        keyValueInformationClass != KeyValueFullInformation) {
        return STATUS_INVALID_PARAMETER;
    }
    std::unique_lock<std::mutex> guard;
    kshim::reg::Key* key;
    NTSTATUS status = KeyForCall(keyHandle, KEY_QUERY_VALUE, &guard, &key);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    kshim::reg::Value* value = kshim::reg::FindValue(*key, name);
    if (value == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    auto dataLength = static_cast<ULONG>(value->data.size());
    auto* out = static_cast<PUCHAR>(keyValueInformation);
    ULONG fixed, needed, dataOffset;
    std::u16string wideName;
    if (keyValueInformationClass == KeyValuePartialInformation) {
        fixed = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
        dataOffset = fixed;
        needed = fixed + dataLength;
    } else {
        kshim::Utf8ToUtf16(value->name, &wideName);
        fixed = offsetof(KEY_VALUE_FULL_INFORMATION, Name);
        auto nameBytes = static_cast<ULONG>(wideName.size() * sizeof(WCHAR));
        dataOffset = (fixed + nameBytes + 3) & ~3u;
        needed = dataOffset + dataLength;
    }
    *resultLength = needed;
    if (length < fixed) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (keyValueInformationClass == KeyValuePartialInformation) {
        auto* info = static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(keyValueInformation);
        info->TitleIndex = 0;
        info->Type = value->type;
        info->DataLength = dataLength;
    } else {
        auto* info = static_cast<PKEY_VALUE_FULL_INFORMATION>(keyValueInformation);
        info->TitleIndex = 0;
        info->Type = value->type;
        info->DataOffset = dataOffset;
        info->DataLength = dataLength;
        info->NameLength = static_cast<ULONG>(wideName.size() * sizeof(WCHAR));
        CopyOut(out, length, fixed, wideName.data(), wideName.size() * sizeof(WCHAR));
    }
    CopyOut(out, length, dataOffset, value->data.data(), value->data.size());
    return length < needed ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

NTSTATUS ZwSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type, PVOID data,
                       ULONG dataSize)
{
    KshimMayBlock("ZwSetValueKey");
    std::string name;
    if (!NameFromCounted(valueName, &name) || !kshim::reg::ValidValueName(name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    if (data == nullptr && dataSize != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (dataSize > kshim::reg::kMaxValueBytes) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::unique_lock<std::mutex> guard;
    kshim::reg::Key* key;
    NTSTATUS status = KeyForCall(keyHandle, KEY_SET_VALUE, &guard, &key);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    kshim::reg::SetValue(*key, name, type, static_cast<const uint8_t*>(data), dataSize);
    return STATUS_SUCCESS;
}

NTSTATUS ZwDeleteValueKey(HANDLE keyHandle, PUNICODE_STRING valueName)
{
    KshimMayBlock("ZwDeleteValueKey");
    std::string name;
    if (!NameFromCounted(valueName, &name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    std::unique_lock<std::mutex> guard;
    kshim::reg::Key* key;
    NTSTATUS status = KeyForCall(keyHandle, KEY_SET_VALUE, &guard, &key);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return kshim::reg::DeleteValue(*key, name) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

// ================================================================================================
// harness functions
// ================================================================================================
namespace kshim::host {

namespace {

// Resolves a harness path; a malformed one is a mistake of the test.
bool HostPath(Store& store, const std::string& in, std::string* out)
{
    std::string why;
    if (!kshim::reg::ResolvePathLocked(store, in, out, &why)) {
        KshimViolation("registry: malformed key path given by the harness", (in + ": " + why).c_str());
        return false;
    }
    return true;
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& text)
{
    std::vector<uint8_t> bytes(text.size() * 2);
    std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

std::u16string Wide(const std::string& utf8)
{
    std::u16string out;
    if (!kshim::Utf8ToUtf16(utf8, &out)) {
        KshimViolation("registry: text given by the harness is not UTF-8", utf8.c_str());
    }
    return out;
}

}  // namespace

void RegistrySetDevicePath(const std::string& path)
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string resolved, why;
    if (path.empty() || path[0] != '\\' || !kshim::reg::ResolvePathLocked(store, path, &resolved, &why)) {
        KshimViolation("registry: malformed device key path", path.c_str());
        return;
    }
    store.devicePath = resolved;
}

std::string RegistryDevicePath()
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    return store.devicePath;
}

void RegistryClear()
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    kshim::reg::ClearLocked(store);
}

void RegistryCreateKey(const std::string& path)
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string resolved;
    if (HostPath(store, path, &resolved)) {
        kshim::reg::CreateKeyLocked(store, resolved);
    }
}

bool RegistryKeyExists(const std::string& path)
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string resolved;
    return HostPath(store, path, &resolved) && kshim::reg::FindKeyLocked(store, resolved) != nullptr;
}

bool RegistryDeleteKey(const std::string& path)
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string resolved;
    if (!HostPath(store, path, &resolved)) {
        return false;
    }
    std::string folded = kshim::FoldName(resolved);
    std::string below = folded + "\\";
    bool found = false;
    for (auto it = store.keys.begin(); it != store.keys.end();) {
        if (it->first == folded || it->first.compare(0, below.size(), below) == 0) {
            it = store.keys.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

void RegistrySetValue(const std::string& path, const std::string& name, uint32_t type,
                      const std::vector<uint8_t>& data)
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string resolved;
    if (!HostPath(store, path, &resolved)) {
        return;
    }
    if (!kshim::reg::ValidValueName(name)) {
        KshimViolation("registry: malformed value name given by the harness", name.c_str());
        return;
    }
    kshim::reg::SetValue(kshim::reg::CreateKeyLocked(store, resolved), name, type, data.data(), data.size());
}

void RegistrySetDword(const std::string& path, const std::string& name, uint32_t value)
{
    std::vector<uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    RegistrySetValue(path, name, REG_DWORD, bytes);
}

void RegistrySetString(const std::string& path, const std::string& name, const std::string& text)
{
    std::u16string wide = Wide(text);
    wide.push_back(0);
    RegistrySetValue(path, name, REG_SZ, Utf16Bytes(wide));
}

void RegistrySetMultiString(const std::string& path, const std::string& name, const std::vector<std::string>& texts)
{
    std::u16string wide;
    for (const std::string& t : texts) {
        wide += Wide(t);
        wide.push_back(0);
    }
    wide.push_back(0);
    RegistrySetValue(path, name, REG_MULTI_SZ, Utf16Bytes(wide));
}

void RegistrySetBinary(const std::string& path, const std::string& name, const std::vector<uint8_t>& data)
{
    RegistrySetValue(path, name, REG_BINARY, data);
}

std::optional<RegistryValue> RegistryGetValue(const std::string& path, const std::string& name)
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string resolved;
    if (!HostPath(store, path, &resolved)) {
        return std::nullopt;
    }
    kshim::reg::Key* key = kshim::reg::FindKeyLocked(store, resolved);
    kshim::reg::Value* value = key != nullptr ? kshim::reg::FindValue(*key, name) : nullptr;
    if (value == nullptr) {
        return std::nullopt;
    }
    return RegistryValue{value->type, value->data};
}

std::optional<uint32_t> RegistryGetDword(const std::string& path, const std::string& name)
{
    std::optional<RegistryValue> v = RegistryGetValue(path, name);
    if (!v || v->type != REG_DWORD || v->data.size() != 4) {
        return std::nullopt;
    }
    uint32_t value;
    std::memcpy(&value, v->data.data(), 4);
    return value;
}

std::optional<std::string> RegistryGetString(const std::string& path, const std::string& name)
{
    std::optional<RegistryValue> v = RegistryGetValue(path, name);
    if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::u16string wide(v->data.size() / 2, u'\0');
    std::memcpy(wide.data(), v->data.data(), wide.size() * 2);
    size_t end = wide.find(u'\0');
    return kshim::Utf16ToUtf8(wide.data(), end == std::u16string::npos ? wide.size() : end);
}

bool RegistryDeleteValue(const std::string& path, const std::string& name)
{
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string resolved;
    if (!HostPath(store, path, &resolved)) {
        return false;
    }
    kshim::reg::Key* key = kshim::reg::FindKeyLocked(store, resolved);
    return key != nullptr && kshim::reg::DeleteValue(*key, name);
}

}  // namespace kshim::host
