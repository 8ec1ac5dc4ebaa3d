// The network adapter class extension: device initialisation and the device's configuration.
#include <cstring>
#include <string>

#include "internal.h"
#include "kshim/netadapter.h"
#include "kshim/registry.h"
#include "regstore.h"
#include "text.h"
#include "wdf_internal.h"

NTSTATUS NetDeviceInitConfig(PWDFDEVICE_INIT DeviceInit)
{
    kshim::wdf::RequirePassive("NetDeviceInitConfig");
    if (DeviceInit == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (DeviceInit->consumed) {
        KshimViolation("NetDeviceInitConfig after WdfDeviceCreate", nullptr);
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (DeviceInit->control) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("net.deviceinitconfig", nullptr, &status)) {
        return status;
    }
    DeviceInit->netDevice = true;
    return STATUS_SUCCESS;
}

// ================================================================================================
// device configuration
// ================================================================================================
namespace kshim::wdf {
namespace {

// The configuration object opened by NetDeviceOpenConfiguration.
constexpr Kind kConfigurationKind = Kind::NetConfiguration;

struct FxConfiguration : FxObject {
    static constexpr Kind kKind = kConfigurationKind;
    FxConfiguration() : FxObject(kConfigurationKind) {}
    std::string keyPath;  // the device's configuration key, resolved
};

// The value's name as UTF-8; false for a malformed counted string or name.
bool ValueNameOf(PCUNICODE_STRING name, std::string* out)
{
    if (name == nullptr || (name->Length & 1) != 0 || name->Length > name->MaximumLength ||
        (name->Length != 0 && name->Buffer == nullptr)) {
        return false;
    }
    *out = kshim::CountedToUtf8(name);
    return kshim::reg::ValidValueName(*out);
}

// The UTF-16 text of a string value, up to its first zero (an odd last byte is dropped).
std::u16string TextOf(const kshim::reg::Value& value)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
        auto c = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
        if (c == 0) {
            break;
        }
        text.push_back(c);
    }
    return text;
}

bool ParseNumber(const std::u16string& text, bool hex, ULONG* value)
{
    if (text.empty()) {
        return false;
    }
    unsigned long long v = 0;
    for (char16_t c : text) {
        unsigned digit;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (hex && c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (hex && c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            return false;
        }
        v = v * (hex ? 16 : 10) + digit;
        if (v > 0xFFFFFFFFull) {
            return false;
        }
    }
    *value = static_cast<ULONG>(v);
    return true;
}

// Runs `fn` on the configuration's key with the store locked (creating the key when `create`).
template <class Fn>
NTSTATUS WithKey(NETCONFIGURATION configuration, const char* call, bool create, Fn fn)
{
    KshimMayBlock(call);
    auto* config = Lookup<FxConfiguration>(configuration, call);
    if (config == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    kshim::reg::Store& store = kshim::reg::TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    kshim::reg::Key* key = kshim::reg::FindKeyLocked(store, config->keyPath);
    if (key == nullptr && create) {
        key = &kshim::reg::CreateKeyLocked(store, config->keyPath);
    }
    if (key == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    return fn(*key);
}

NTSTATUS Assign(NETCONFIGURATION configuration, PCUNICODE_STRING valueName, ULONG type, const uint8_t* data,
                size_t size, const char* call)
{
    std::string name;
    if (!ValueNameOf(valueName, &name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("net.assignconfiguration", name.c_str(), &status)) {
        return status;
    }
    return WithKey(configuration, call, true, [&](kshim::reg::Key& key) {
        kshim::reg::SetValue(key, name, type, data, size);
        return STATUS_SUCCESS;
    });
}

}  // namespace
}  // namespace kshim::wdf

using namespace kshim::wdf;

NTSTATUS NetDeviceOpenConfiguration(WDFDEVICE Device, PWDF_OBJECT_ATTRIBUTES ConfigurationAttributes,
                                    NETCONFIGURATION* Configuration)
{
    KshimMayBlock("NetDeviceOpenConfiguration");
    if (Configuration == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *Configuration = nullptr;
    auto* device = Lookup<FxDevice>(Device, "NetDeviceOpenConfiguration");
    if (device == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    {
        std::lock_guard<std::mutex> guard(device->settingsLock);
        if (!device->settings.netDevice) {
            return STATUS_INVALID_DEVICE_REQUEST;
        }
    }
    if (!AttributesValid(ConfigurationAttributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    bool invalid;
    FxObject* parent = ParentFromAttributes(ConfigurationAttributes, device, "NetDeviceOpenConfiguration", &invalid);
    if (invalid) {
        return STATUS_INVALID_HANDLE;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("net.openconfiguration", nullptr, &status)) {
        return status;
    }
    auto* config = new FxConfiguration();
    {
        // The device's software key always exists on a running system.
        kshim::reg::Store& store = kshim::reg::TheStore();
        std::lock_guard<std::mutex> guard(store.lock);
        std::string why;
        if (!kshim::reg::ResolvePathLocked(store, "@device", &config->keyPath, &why)) {
            delete config;
            return STATUS_OBJECT_NAME_INVALID;
        }
        kshim::reg::CreateKeyLocked(store, config->keyPath);
    }
    status = Register(config, ConfigurationAttributes, parent, "NetDeviceOpenConfiguration");
    if (!NT_SUCCESS(status)) {
        delete config;
        return status;
    }
    *Configuration = Handle<NETCONFIGURATION>(config);
    return STATUS_SUCCESS;
}

VOID NetConfigurationClose(NETCONFIGURATION Configuration)
{
    FxObject* config = Lookup<FxConfiguration>(Configuration, "NetConfigurationClose");
    if (config != nullptr) {
        FrameworkDelete(config);
    }
}

NTSTATUS NetConfigurationQueryUlong(NETCONFIGURATION Configuration, NET_CONFIGURATION_QUERY_ULONG_FLAGS Flags,
                                    PCUNICODE_STRING ValueName, PULONG Value)
{
    std::string name;
    if (Value == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!ValueNameOf(ValueName, &name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    return WithKey(Configuration, "NetConfigurationQueryUlong", false, [&](kshim::reg::Key& key) -> NTSTATUS {
        kshim::reg::Value* value = kshim::reg::FindValue(key, name);
        if (value == nullptr) {
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        if (value->type == REG_DWORD) {
            if (value->data.size() != sizeof(ULONG)) {
                return STATUS_INVALID_PARAMETER;
            }
            ULONG v;
            std::memcpy(&v, value->data.data(), sizeof(v));
            *Value = v;
            return STATUS_SUCCESS;
        }
        if (value->type == REG_SZ || value->type == REG_EXPAND_SZ) {
            ULONG v;
            bool hex = (Flags & NET_CONFIGURATION_QUERY_ULONG_MAY_BE_STORED_AS_HEX_STRING) != 0;
            if (!ParseNumber(TextOf(*value), hex, &v)) {
                return STATUS_INVALID_PARAMETER;
            }
            *Value = v;
            return STATUS_SUCCESS;
        }
        return STATUS_OBJECT_TYPE_MISMATCH;
    });
}

NTSTATUS NetConfigurationQueryString(NETCONFIGURATION Configuration, PCUNICODE_STRING ValueName,
                                     PWDF_OBJECT_ATTRIBUTES StringAttributes, WDFSTRING* WdfString)
{
    std::string name;
    if (WdfString == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *WdfString = nullptr;
    if (!ValueNameOf(ValueName, &name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    std::u16string text;
    NTSTATUS status =
        WithKey(Configuration, "NetConfigurationQueryString", false, [&](kshim::reg::Key& key) -> NTSTATUS {
            kshim::reg::Value* value = kshim::reg::FindValue(key, name);
            if (value == nullptr) {
                return STATUS_OBJECT_NAME_NOT_FOUND;
            }
            if (value->type != REG_SZ && value->type != REG_EXPAND_SZ) {
                return STATUS_OBJECT_TYPE_MISMATCH;
            }
            text = TextOf(*value);
            return STATUS_SUCCESS;
        });
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // A counted string holds at most 0xFFFE bytes.
    if (text.size() > 0xFFFE / sizeof(WCHAR)) {
        return STATUS_INVALID_PARAMETER;
    }
    UNICODE_STRING counted;
    counted.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    counted.MaximumLength = counted.Length;
    counted.Buffer = text.empty() ? nullptr : text.data();
    return WdfStringCreate(&counted, StringAttributes, WdfString);
}

NTSTATUS NetConfigurationAssignUlong(NETCONFIGURATION Configuration, PCUNICODE_STRING ValueName, ULONG Value)
{
    uint8_t data[sizeof(ULONG)];
    std::memcpy(data, &Value, sizeof(Value));
    return Assign(Configuration, ValueName, REG_DWORD, data, sizeof(data), "NetConfigurationAssignUlong");
}

NTSTATUS NetConfigurationAssignUnicodeString(NETCONFIGURATION Configuration, PCUNICODE_STRING ValueName,
                                             PCUNICODE_STRING Value)
{
    if (Value == nullptr || (Value->Length & 1) != 0 || Value->Length > Value->MaximumLength ||
        (Value->Length != 0 && Value->Buffer == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    std::u16string text;
    if (Value->Length != 0) {
        text.assign(Value->Buffer, Value->Length / sizeof(WCHAR));
    }
    text.push_back(u'\0');
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    return Assign(Configuration, ValueName, REG_SZ, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                  "NetConfigurationAssignUnicodeString");
}

// ================================================================================================
// net adapters
// ================================================================================================
NTSTATUS NetAdapterCreate(NETADAPTER_INIT* AdapterInit, PWDF_OBJECT_ATTRIBUTES Attributes, NETADAPTER* Adapter)
{
    using namespace kshim::wdf;
    NTSTATUS status = CheckCreateFromInit("NetAdapterCreate", AdapterInit, Adapter, Attributes, Kind::NetAdapter);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    auto* adapter = new FxNetAdapter();
    adapter->portId = AdapterInit->portId;
    adapter->type = AdapterInit->type;
    adapter->hasDatapath = AdapterInit->hasDatapath;
    adapter->datapath = AdapterInit->datapath;
    adapter->txDemux = AdapterInit->txDemux;
    // A net adapter always belongs to its device, whatever parent the attributes name.
    PWDF_OBJECT_ATTRIBUTES attributes = Attributes;
    WDF_OBJECT_ATTRIBUTES copy;
    if (Attributes != nullptr && Attributes->ParentObject != nullptr) {
        copy = *Attributes;
        copy.ParentObject = nullptr;
        attributes = &copy;
    }
    status = Register(adapter, attributes, AdapterInit->device, "NetAdapterCreate");
    if (!NT_SUCCESS(status)) {
        delete adapter;
        return status;
    }
    AdapterInit->consumed = true;
    *Adapter = Handle<NETADAPTER>(adapter);
    return STATUS_SUCCESS;
}
