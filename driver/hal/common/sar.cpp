// SAR and the platform's regulatory data: the lookups in the tables the platform's ACPI methods
// gave, the WMI SAR sensor and time-averaged SAR.
#include "hal/common/sar.h"

#include <cstring>

#include "Common/fwsettings.h"
#include "Common/rlm_domain.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

// Where a SAR table row or a geographic row lies: its header and row length, and how many rows the
// platform gave.
struct RowForm {
    const UCHAR* bytes;
    ULONG header;
    ULONG length;
    ULONG rows;
};

// A row the platform did not give falls back to row 1: SAR is a safety limit, never "no limit".
const UCHAR* Row(const RowForm& form, ULONG row)
{
    if (row < 1 || row > form.rows) {
        row = 1;
    }
    return form.bytes + form.header + (row - 1) * form.length;
}

RowForm SarRows(const SAR_BIOS_TABLES& sar)
{
    if (sar.QzdsMode != 0) {
        return sar.RegulatoryMethodPresent ? RowForm{sar.QzdsCl, 7, 12, sar.QzdsRows} : RowForm{sar.Qzds, 6, 6, sar.QzdsRows};
    }
    return RowForm{sar.Qzss, 6, 11, sar.QzssRows};
}

RowForm GeoRows(const SAR_BIOS_TABLES& sar)
{
    return sar.RegulatoryMethodPresent ? RowForm{sar.QzgsCl, 7, 7, sar.QzgsRows} : RowForm{sar.Qzgs, 6, 5, sar.QzgsRows};
}

// The value with the geographic offset (maximum and offset elements of the current country's row),
// then the dynamic-mode-2 reduction of the main tables.
UCHAR Finish(PMP_ADAPTER adapter, UCHAR value, ULONG maxElement, ULONG offsetElement, UCHAR chain)
{
    SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    if (sar.GeoValid) {
        SarVersionCountryMapping(adapter);
        const UCHAR* geo = Row(GeoRows(sar), sar.GeoRow);
        const USHORT sum = static_cast<USHORT>(value + geo[offsetElement]);
        value = static_cast<UCHAR>(sum < geo[maxElement] ? sum : geo[maxElement]);
    }
    if (sar.QzdsMode == 2 && chain == 2) {
        value = static_cast<UCHAR>(value < 6 ? 0 : value - 6);
    }
    return value;
}

constexpr char kEu[] = "AD AT BE BG CH CY CZ DE DK EE ES FI FR GB GR HR HU IE IS IT LI LT LU LV MC MT NL NO PL PT RO SE SI SK";

bool Listed(const char* list, USHORT key)
{
    for (ULONG i = 0; list[i] != '\0' && list[i + 1] != '\0'; i += 3) {
        if (((static_cast<UCHAR>(list[i]) << 8) | static_cast<UCHAR>(list[i + 1])) == key) {
            return true;
        }
        if (list[i + 2] == '\0') {
            break;
        }
    }
    return false;
}

}  // namespace

// ================================================================================================
// lookups
// ================================================================================================
void SarVersionCountryMapping(PMP_ADAPTER adapter)
{
    SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    const UCHAR version = sar.RegulatoryMethodPresent ? sar.QzgsCl[4] : sar.Qzgs[4];
    const USHORT key = DomainCurrentKey(adapter);
    const bool eu = Listed(kEu, key);
    UCHAR row = 1;
    switch (version) {
    case 1:
        row = Listed("US CA TW", key) ? 1 : eu || Listed("AU NZ JP KR", key) ? 2 : 3;
        break;
    case 2:
        row = Listed("US CA TW", key) ? 1 : eu || Listed("AU NZ", key) ? 2 : Listed("KR", key) ? 3 : Listed("JP", key) ? 4 : 5;
        break;
    case 3:
        row = Listed("US CA TW", key) ? 1 : eu || Listed("JP KR NZ", key) ? 2 : Listed("AU", key) ? 3 : 4;
        break;
    case 4:
        row = Listed("US CA", key)        ? 1
              : eu || Listed("AU NZ", key) ? 2
              : Listed("KR", key)          ? 3
              : Listed("JP", key)          ? 4
              : Listed("TW", key)          ? 5
                                           : 6;
        break;
    default:
        row = 1;
        break;
    }
    sar.GeoRow = row;
}

BOOLEAN SarGetSarTablePowerLimit(PMP_ADAPTER adapter, UCHAR channel, UCHAR chain, PUCHAR limit)
{
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    if (limit == nullptr || (sar.QzdsMode == 0 && sar.QzssMode == 0)) {
        return FALSE;
    }
    ULONG element;
    ULONG maxElement;
    if (channel >= 1 && channel <= 14) {
        element = 1;
        maxElement = 1;
    } else if (channel >= 36 && channel <= 64) {
        element = 2;
        maxElement = 3;
    } else if (channel >= 100 && channel <= 144) {
        element = 4;
        maxElement = 3;
    } else if (channel >= 149 && channel <= 177) {
        element = 5;
        maxElement = 3;
    } else {
        return FALSE;
    }
    const UCHAR value = Row(SarRows(sar), sar.ActiveSarTable)[element];
    *limit = Finish(adapter, value, maxElement, maxElement + 1, chain);
    return TRUE;
}

BOOLEAN SarGetSarTablePowerLimit_6G(PMP_ADAPTER adapter, UCHAR channel, UCHAR chain, PUCHAR limit)
{
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    // Only the platform's 12-element rows (given with the regulatory method) carry 6 GHz values.
    if (limit == nullptr || sar.QzdsMode == 0 || !sar.RegulatoryMethodPresent) {
        return FALSE;
    }
    ULONG element;
    if (channel >= 1 && channel <= 41) {
        element = 6;
    } else if (channel >= 45 && channel <= 93) {
        element = 7;
    } else if (channel >= 97 && channel <= 113) {
        element = 8;
    } else if (channel >= 117 && channel <= 149) {
        element = 9;
    } else if (channel >= 153 && channel <= 185) {
        element = 10;
    } else if (channel >= 189 && channel <= 233) {
        element = 11;
    } else {
        return FALSE;
    }
    const UCHAR value = Row(SarRows(sar), sar.ActiveSarTable)[element];
    *limit = Finish(adapter, value, 5, 6, chain);
    return TRUE;
}

namespace {
// The platform power-limit entries: as many as the table names, as far as the method gave them.
ULONG PlatformEntries(const SAR_BIOS_TABLES& sar)
{
    const ULONG named = sar.Qzpl[5];
    // The platform's element count is bounded by the table the record holds.
    const ULONG elements = sar.QzplElements < SAR_QZPL_SIZE ? sar.QzplElements : SAR_QZPL_SIZE;
    const ULONG given = elements > 8 ? (elements - 8u) / 4u : 0;
    return named < given ? named : given;
}
}  // namespace

BOOLEAN SarGetTxPwrLimitPerCh(PMP_ADAPTER adapter, UCHAR channel, PUCHAR limit)
{
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    if (limit == nullptr || !sar.QzplValid) {
        return FALSE;
    }
    const ULONG entries = PlatformEntries(sar);
    for (ULONG i = 0; i < entries; ++i) {
        const UCHAR* entry = sar.Qzpl + 8 + 4 * i;
        if (entry[1] == channel) {
            *limit = entry[2];
            return TRUE;
        }
    }
    return FALSE;
}

BOOLEAN SarGetTxPwrLimitPerGroup(PMP_ADAPTER adapter, UCHAR channel, UCHAR group, BOOLEAN sixGhz, PUCHAR limit)
{
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    if (limit == nullptr || !sar.QzplValid) {
        return FALSE;
    }
    const ULONG entries = PlatformEntries(sar);
    for (ULONG i = 0; i < entries; ++i) {
        const UCHAR* entry = sar.Qzpl + 8 + 4 * i;
        if ((entry[2] == 1) != (sixGhz != FALSE)) {
            continue;
        }
        if (entry[1] == channel && entry[2] == group) {
            *limit = entry[3];
            return TRUE;
        }
    }
    return FALSE;
}

BOOLEAN StandardPowerSupportOrNot(PMP_ADAPTER adapter, USHORT key)
{
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    if (!sar.QzspValid) {
        return FALSE;
    }
    const ULONG bit = key == 0x4341 ? 1 : key == 0x5553 ? 2 : 0;  // CA, US, every other country
    return static_cast<BOOLEAN>((sar.Qzsp[6] >> (7 - bit)) & 1);
}

// ================================================================================================
// ACPI and the WMI sensor
// ================================================================================================
NTSTATUS SarGetSarPwrTbl(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
    return STATUS_SUCCESS;
}

NTSTATUS SarOpenSensorObject(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

void SarCloseSensorObject(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

// ================================================================================================
// time-averaged SAR
// ================================================================================================
BOOLEAN TASarSupportOrNot(PMP_ADAPTER adapter)
{
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    if (!HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_TASAR) || !sar.QzasValid) {
        return FALSE;
    }
    const USHORT key = DomainCurrentKey(adapter);
    const ULONG bit = key == 0x4341 ? 1 : key == 0x5553 ? 2 : 0;  // CA, US, every other country
    return static_cast<BOOLEAN>((sar.Qzas[6] >> (7 - bit)) & 1);
}

NTSTATUS TASarPwrLimitCMD(PMP_ADAPTER adapter, UCHAR index, UCHAR band, UCHAR firstChannel, UCHAR lastChannel, UCHAR channel)
{
    UCHAR limit = 0;
    const BOOLEAN found = band == 2 ? SarGetSarTablePowerLimit_6G(adapter, channel, 2, &limit)
                                    : SarGetSarTablePowerLimit(adapter, channel, 2, &limit);
    if (!found) {
        return STATUS_INVALID_PARAMETER;
    }
    char text[CHIP_CONFIG_TEXT_MAX];
    if (!NT_SUCCESS(RtlStringCbPrintfA(text, sizeof(text), "coex tasar_set 12 %d %d %d %d %d", static_cast<int>(index),
                                       static_cast<int>(band), static_cast<int>(firstChannel), static_cast<int>(lastChannel),
                                       static_cast<int>(limit)))) {
        return STATUS_INVALID_PARAMETER;
    }
    return QzCmdSetChipConfigText(adapter, text);
}

NTSTATUS TASarUpdatePwrLimit(PMP_ADAPTER adapter)
{
    NTSTATUS status = QzCmdSetChipConfigText(adapter, "coex tasar_set 0 1");
    if (!NT_SUCCESS(status)) {
        return status;
    }
    struct Range {
        UCHAR band, first, last, channel;
    };
    static constexpr Range kRanges[10] = {
        {0, 1, 14, 6},     {1, 36, 64, 36},   {1, 100, 144, 100}, {1, 149, 177, 149}, {2, 1, 41, 1},
        {2, 45, 93, 45},   {2, 97, 113, 97},  {2, 117, 149, 117}, {2, 153, 185, 153}, {2, 189, 233, 189},
    };
    // Every range is sent; the first failure is reported, so that a missing limit never leaves
    // time-averaged SAR on.
    NTSTATUS first = STATUS_SUCCESS;
    for (UCHAR i = 0; i < 10; ++i) {
        const Range& r = kRanges[i];
        status = TASarPwrLimitCMD(adapter, i, r.band, r.first, r.last, r.channel);
        if (!NT_SUCCESS(status) && NT_SUCCESS(first)) {
            first = status;
        }
    }
    return first;
}

NTSTATUS TASarTurnOff(PMP_ADAPTER adapter) { return QzCmdSetChipConfigText(adapter, "coex tasar_set 0 0"); }
