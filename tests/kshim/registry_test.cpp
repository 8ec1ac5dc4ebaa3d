// Registry: the partial-information probe rules, missing keys and values, names without case,
// strings as UTF-16, access rights, the text form and its device alias.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/registry.h"
#include "kshim/registry.h"

namespace {

namespace host = kshim::host;

constexpr char kService[] = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qzlwlan";
constexpr char kParameters[] = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qzlwlan\\Parameters";

constexpr char kFixture[] = R"(; service key of the driver
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\qzlwlan]
ImagePath=sz:"\SystemRoot\System32\drivers\qzlwlan.sys"

[\Registry\Machine\SYSTEM\CurrentControlSet\Services\qzlwlan\Parameters]
EnableSystemEventLog=dword:0x1
FWBin = dword:0          ; spaces and a trailing comment
"Quoted Name"=hex:01,02,03
)";

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        host::RegistryClear();
        std::string error;
        ASSERT_TRUE(host::RegistryLoadText(kFixture, &error)) << error;
    }
    void TearDown() override
    {
        host::FaultClearAll();
        host::RegistryClear();
    }

    static NTSTATUS Open(const char16_t* path, ACCESS_MASK access, HANDLE* key)
    {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, path);
        OBJECT_ATTRIBUTES oa;
        InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
        return ZwOpenKey(key, access, &oa);
    }
    static NTSTATUS Create(const char16_t* path, ULONG* disposition, HANDLE* key)
    {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, path);
        OBJECT_ATTRIBUTES oa;
        InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
        return ZwCreateKey(key, KEY_ALL_ACCESS, &oa, 0, nullptr, REG_OPTION_NON_VOLATILE, disposition);
    }
    static NTSTATUS Query(HANDLE key, const char16_t* value, UCHAR* buffer, ULONG length, ULONG* result)
    {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, value);
        return ZwQueryValueKey(key, &name, KeyValuePartialInformation, length != 0 ? buffer : nullptr, length,
                               result);
    }
};

// One partial-information query: the buffer length given, and what must come back.
struct Probe {
    const char* name;
    const char16_t* value;
    ULONG length;
    NTSTATUS status;
    ULONG resultLength;
    ULONG dataCopied;  // bytes of data written after the 12-byte fixed part
};

TEST_F(Registry, PartialInformationProbesFollowTheSizeRules)
{
    const Probe probes[] = {
        {"zero-byte probe of a dword", u"EnableSystemEventLog", 0, STATUS_BUFFER_TOO_SMALL, 16, 0},
        {"buffer below the fixed part", u"EnableSystemEventLog", 8, STATUS_BUFFER_TOO_SMALL, 16, 0},
        {"16-byte probe of a dword succeeds at once", u"EnableSystemEventLog", 16, STATUS_SUCCESS, 16, 4},
        {"fixed part only", u"EnableSystemEventLog", 12, STATUS_BUFFER_OVERFLOW, 16, 0},
        {"short of the data: partial data", u"EnableSystemEventLog", 14, STATUS_BUFFER_OVERFLOW, 16, 2},
        {"16-byte probe of a longer string", u"ImagePath", 16, STATUS_BUFFER_OVERFLOW, 12 + 2 * 41, 4},
        {"value names ignore case", u"ENABLESYSTEMEVENTLOG", 64, STATUS_SUCCESS, 16, 4},
        {"missing value", u"PowerState", 64, STATUS_OBJECT_NAME_NOT_FOUND, 0, 0},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.name);
        HANDLE key;
        const char16_t* path = p.value == std::u16string(u"ImagePath")
                                   ? u"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QZLWLAN"
                                   : u"\\registry\\machine\\system\\currentcontrolset\\services\\qzlwlan\\parameters";
        ASSERT_EQ(Open(path, KEY_READ, &key), STATUS_SUCCESS) << "key paths ignore case";
        UCHAR buffer[128];
        std::memset(buffer, 0xCC, sizeof(buffer));
        ULONG result = 0xDEAD;
        EXPECT_EQ(Query(key, p.value, buffer, p.length, &result), p.status);
        EXPECT_EQ(result, p.resultLength);
        auto* info = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
        if (p.length >= 12 && (p.status == STATUS_SUCCESS || p.status == STATUS_BUFFER_OVERFLOW)) {
            EXPECT_EQ(info->DataLength, p.resultLength - 12) << "the full data length, also when cut";
        }
        for (ULONG i = 12 + p.dataCopied; i < sizeof(buffer); ++i) {
            ASSERT_EQ(buffer[i], 0xCC) << "byte " << i << " written";
        }
        if (p.dataCopied == 4 && p.status == STATUS_SUCCESS) {
            EXPECT_EQ(info->Type, static_cast<ULONG>(REG_DWORD));
            EXPECT_EQ(info->Data[0], 1);
        }
        ZwClose(key);
    }
}

TEST_F(Registry, MissingKeysAndTheOpenFaultPoint)
{
    HANDLE key = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(Open(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\nothing", KEY_READ, &key),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    host::FaultArm("registry.open", kParameters, 1, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Open(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qzlwlan\\Parameters", KEY_READ, &key),
              STATUS_ACCESS_DENIED);
    EXPECT_EQ(host::FaultFired("registry.open"), 1u);
    ASSERT_EQ(Open(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qzlwlan\\Parameters", KEY_READ, &key),
              STATUS_SUCCESS)
        << "the fault fires once";
    ZwClose(key);
}

TEST_F(Registry, CreateNeedsTheParentAndStringsRoundTripAsUtf16)
{
    HANDLE key;
    ULONG disposition = 0;
    EXPECT_EQ(Create(u"\\Registry\\Machine\\SYSTEM\\ControlSet001\\Services\\Other\\Parameters", &disposition, &key),
              STATUS_OBJECT_NAME_NOT_FOUND)
        << "a key is created only below an existing one";
    ASSERT_EQ(Create(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qzlwlan\\Parameters\\region",
                     &disposition, &key),
              STATUS_SUCCESS);
    EXPECT_EQ(disposition, static_cast<ULONG>(REG_CREATED_NEW_KEY));
    const WCHAR country[] = u"DE";  // 6 bytes with the terminator
    UNICODE_STRING name = RTL_CONSTANT_STRING(u"country");
    ASSERT_EQ(ZwSetValueKey(key, &name, 0, REG_SZ, const_cast<WCHAR*>(country), sizeof(country)), STATUS_SUCCESS);
    ZwClose(key);

    std::string region = std::string(kParameters) + "\\REGION";
    EXPECT_EQ(host::RegistryGetString(region, "Country"), "DE");
    EXPECT_EQ(host::RegistryGetValue(region, "country")->data, (std::vector<uint8_t>{'D', 0, 'E', 0, 0, 0}));

    ASSERT_EQ(Create(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qzlwlan\\Parameters\\Region",
                     &disposition, &key),
              STATUS_SUCCESS);
    EXPECT_EQ(disposition, static_cast<ULONG>(REG_OPENED_EXISTING_KEY));
    UCHAR buffer[64];
    ULONG result;
    ASSERT_EQ(Query(key, u"COUNTRY", buffer, sizeof(buffer), &result), STATUS_SUCCESS);
    auto* info = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    EXPECT_EQ(info->Type, static_cast<ULONG>(REG_SZ));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info->Data)), u"DE");
    UNICODE_STRING missing = RTL_CONSTANT_STRING(u"sensor");
    EXPECT_EQ(ZwDeleteValueKey(key, &missing), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(ZwDeleteValueKey(key, &name), STATUS_SUCCESS);
    EXPECT_EQ(Query(key, u"country", buffer, sizeof(buffer), &result), STATUS_OBJECT_NAME_NOT_FOUND);
    ZwClose(key);
}

TEST_F(Registry, ReadAccessDoesNotWriteAndFullInformationCarriesTheName)
{
    HANDLE key;
    ASSERT_EQ(Open(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qzlwlan\\Parameters", KEY_READ, &key),
              STATUS_SUCCESS);
    ULONG value = 4;
    UNICODE_STRING name = RTL_CONSTANT_STRING(u"PowerState");
    EXPECT_EQ(ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof(value)), STATUS_ACCESS_DENIED);

    UNICODE_STRING quoted = RTL_CONSTANT_STRING(u"quoted name");
    UCHAR buffer[96];
    ULONG result;
    ASSERT_EQ(ZwQueryValueKey(key, &quoted, KeyValueFullInformation, buffer, sizeof(buffer), &result), STATUS_SUCCESS);
    auto* full = reinterpret_cast<PKEY_VALUE_FULL_INFORMATION>(buffer);
    EXPECT_EQ(full->Type, static_cast<ULONG>(REG_BINARY));
    EXPECT_EQ(std::u16string(full->Name, full->NameLength / 2), u"Quoted Name");
    EXPECT_EQ(full->DataOffset % 4, 0u);
    EXPECT_EQ(result, full->DataOffset + 3);
    EXPECT_EQ(std::vector<UCHAR>(buffer + full->DataOffset, buffer + full->DataOffset + 3),
              (std::vector<UCHAR>{1, 2, 3}));
    ZwClose(key);
}

TEST_F(Registry, DeviceSectionAliasesTheDeviceConfigurationKey)
{
    const std::string device = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\Net\\0007";
    host::RegistrySetDevicePath(device);
    ASSERT_TRUE(host::RegistryLoadText("[@device]\nTxDirectThreshold=dword:32\nCountryRegionString=sz:\"de\"\n"));
    EXPECT_EQ(host::RegistryGetDword(device, "txdirectthreshold"), 32u);
    EXPECT_EQ(host::RegistryGetString("@device", "CountryRegionString"), "de");
    EXPECT_TRUE(host::RegistryKeyExists(device));
    host::RegistrySetDevicePath("\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\Net\\0000");
}

TEST_F(Registry, MalformedTextIsRefusedWithItsLineAndChangesNothing)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"Name=dword:1\n", "line 1: value before the first [key] section"},
        {"[\\Registry\\Machine\\A]\n\nName=dword:0x100000000\n", "line 3: dword value above 0xFFFFFFFF"},
        {"[\\Registry\\Machine\\A]\nName=sz:\"open\n", "line 2: missing closing quote"},
        {"[\\Registry\\Machine\\A]\nName=hex:1,02\n", "line 2: expected a two-digit hex byte"},
        {"[\\Software\\A]\n", "line 1: key path does not start with \\Registry"},
        {"[\\Registry\\Machine\\\\A]\n", "line 1: empty component in key path"},
        {"[\\Registry\\Machine\\A\n", "line 1: section without closing ']'"},
        {"[\\Registry\\Machine\\A]\nName\n", "line 2: expected name=type:value"},
        {"[\\Registry\\Machine\\A]\nName=float:1\n", "line 2: unknown value type"},
        {"[\\Registry\\Machine\\A]\nName=dword:1 2\n", "line 2: unexpected text after the value"},
        {"[\\Registry\\Machine\\A]\n=dword:1\n", "line 2: empty value name"},
        {"[\\Registry\\Machine\\A]\nN=sz:\"C:\\\"\n", "line 2: missing closing quote"},
    };
    std::string before = host::RegistryDumpText();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_FALSE(host::RegistryLoadText(c.text, &error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
    EXPECT_EQ(host::RegistryDumpText(), before);
    EXPECT_FALSE(host::RegistryKeyExists("\\Registry\\Machine\\A"));
}

TEST_F(Registry, DumpReloadsToTheSameStore)
{
    host::RegistrySetMultiString(kService, "Group", {"a", "", "b"});
    host::RegistrySetValue(kService, "Odd", REG_SZ, {0x41});  // not whole UTF-16 units
    host::RegistrySetValue(kService, "Quad", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    host::RegistrySetString(kService, "Text", "quote \" and \\ and \xc3\xa9");
    host::RegistryCreateKey(std::string(kService) + "\\Empty");
    std::string dump = host::RegistryDumpText();
    EXPECT_NE(dump.find("EnableSystemEventLog=dword:0x00000001\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("Group=multi_sz:\"a\",\"\",\"b\"\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("Odd=hex(1):41\n"), std::string::npos) << dump;
    host::RegistryClear();
    std::string error;
    ASSERT_TRUE(host::RegistryLoadText(dump, &error)) << error << "\n" << dump;
    EXPECT_EQ(host::RegistryDumpText(), dump);
    EXPECT_TRUE(host::RegistryKeyExists(std::string(kService) + "\\empty"));
}

}  // namespace
