// The firmware download: commands, images, the pre-download wait and the loaders shared by the
// chip generations.
#include "hal/common/fwdownload.h"

#include "Common/qzcmd.h"
#include "kshim/irql.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kStateReadDelayUs = 1000;
constexpr ULONG kWideNameChars = FW_IMAGE_NAME_SIZE + 1;

void PutLe32(UCHAR* p, ULONG value)
{
    p[0] = static_cast<UCHAR>(value);
    p[1] = static_cast<UCHAR>(value >> 8);
    p[2] = static_cast<UCHAR>(value >> 16);
    p[3] = static_cast<UCHAR>(value >> 24);
}

// One download command on port 0.
NTSTATUS Send(PMP_ADAPTER adapter, UCHAR cmdId, UCHAR cmdClass, UCHAR setQuery, UCHAR option, const void* payload,
              ULONG length)
{
    PMP_PORT port = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "download command 0x%02X: no port 0", static_cast<unsigned>(cmdId));
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS status = QzCmdSendSetQuery(port, cmdId, cmdClass, 0, setQuery, option, payload,
                                        static_cast<USHORT>(length), nullptr, 0, 0);
    if (HalFwDlFailed(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "download command 0x%02X of class 0x%02X failed (0x%08X)",
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(cmdClass), static_cast<unsigned>(status));
    }
    return status;
}

BOOLEAN AtDispatch() { return static_cast<BOOLEAN>(KeGetCurrentIrql() >= DISPATCH_LEVEL); }

}  // namespace

// ---- commands ----------------------------------------------------------------------------------------

NTSTATUS HalFwDlSendPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation)
{
    const UCHAR payload[4] = {operation, 0, 0, 0};
    return Send(adapter, FW_DL_CMD_PATCH_SEMAPHORE, FW_DL_CMD_PATCH_SEMAPHORE, 0, FW_DL_OPTION_SEMAPHORE, payload,
                sizeof(payload));
}

NTSTATUS HalFwDlSendDownloadInit(PMP_ADAPTER adapter, UCHAR cmdId, ULONG address, ULONG length, ULONG dataMode)
{
    UCHAR payload[12];
    PutLe32(payload, address);
    PutLe32(payload + 4, length);
    PutLe32(payload + 8, dataMode);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "download init 0x%02X: 0x%08X, %u bytes, data mode 0x%08X",
             static_cast<unsigned>(cmdId), static_cast<unsigned>(address), static_cast<unsigned>(length),
             static_cast<unsigned>(dataMode));
    return Send(adapter, cmdId, FW_DL_CMD_REGION_INIT, 0, FW_DL_OPTION_INIT, payload, sizeof(payload));
}

NTSTATUS HalFwDlSendScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length)
{
    if (data == nullptr || length == 0 || length > FW_DL_SCATTER_MAX) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "download data of %u bytes refused", static_cast<unsigned>(length));
        return STATUS_INVALID_PARAMETER;
    }
    return Send(adapter, FW_DL_CMD_SCATTER, FW_CMD_CLASS_DOWNLOAD_DATA, 1, FW_DL_OPTION_SCATTER, data, length);
}

NTSTATUS HalFwDlSendPatchFinish(PMP_ADAPTER adapter, UCHAR byte1)
{
    const UCHAR payload[4] = {0, byte1, 0, 0};
    return Send(adapter, FW_DL_CMD_PATCH_FINISH, FW_DL_CMD_PATCH_FINISH, 0, FW_DL_OPTION_FINISH, payload,
                sizeof(payload));
}

NTSTATUS HalFwDlSendFwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2)
{
    ULONG option = FW_DL_START_OPTION_BASE;
    if (hasEntry && entryAddress != 0) {
        option |= FW_DL_START_OPTION_ENTRY;
    }
    if (optionBit2) {
        option |= FW_DL_START_OPTION_BIT2;
    }
    UCHAR payload[8];
    PutLe32(payload, option);
    PutLe32(payload + 4, entryAddress);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "firmware start: option %u, entry 0x%08X", static_cast<unsigned>(option),
             static_cast<unsigned>(entryAddress));
    return Send(adapter, FW_DL_CMD_FW_START, FW_DL_CMD_FW_START, 0, FW_DL_OPTION_FINISH, payload, sizeof(payload));
}

NTSTATUS HalFwDlSendBtPatchQuery(PMP_ADAPTER adapter, ULONG targetAddress)
{
    UCHAR payload[12] = {1, 0, 0, 0};
    PutLe32(payload + 4, targetAddress);
    PutLe32(payload + 8, 0);
    return Send(adapter, FW_DL_CMD_BT_PATCH_QUERY, FW_DL_CMD_BT_PATCH_QUERY, 0, FW_DL_OPTION_SEMAPHORE, payload,
                sizeof(payload));
}

NTSTATUS HalFwDlPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation, BOOLEAN clearFirst)
{
    if (clearFirst) {
        __atomic_store_n(&adapter->FwEvent.PatchSemaphoreStatus, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    }
    NTSTATUS status = STATUS_SUCCESS;
    ULONG sends = 0;
    do {
        status = HalFwDlSendPatchSemaphore(adapter, operation);
        ++sends;
    } while (HalFwDlSucceeded(status) && operation == FW_DL_SEMAPHORE_OBTAIN &&
             __atomic_load_n(&adapter->FwEvent.PatchSemaphoreStatus, __ATOMIC_ACQUIRE) == FW_DL_SEMAPHORE_NOT_GRANTED &&
             sends < FW_DL_SEMAPHORE_SENDS);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "patch semaphore: answer %u after %u sends (0x%08X)",
             static_cast<unsigned>(__atomic_load_n(&adapter->FwEvent.PatchSemaphoreStatus, __ATOMIC_ACQUIRE)),
             static_cast<unsigned>(sends), static_cast<unsigned>(status));
    return status;
}

// ---- images -------------------------------------------------------------------------------------------

BOOLEAN HalFwDlObtainImage(PMP_ADAPTER adapter, PCSTR name, BOOLEAN fromContainer, PFW_DL_IMAGE image)
{
    PlatformZeroMemory(image, sizeof(*image));
    if (name == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "no image name");
        return FALSE;
    }
    const ULONG fwBin = adapter->RegistryBlock.FWBin;
    if (fromContainer) {
        ULONG size = 0;
        PUCHAR copy = HalLoadBigFW(&adapter->FwFiles, fwBin, name, &size);
        if (copy != nullptr) {
            image->Copy = copy;
            image->Data = copy;
            image->Size = size;
            return TRUE;
        }
        if (fwBin == 1) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "\"%s\": the firmware container is the only source", name);
            return FALSE;
        }
    }

    // The file of that name, beside the driver.
    const ULONG length = HalFwBoundedLength(name, kWideNameChars);
    if (length == kWideNameChars) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "image name too long for a file name");
        return FALSE;
    }
    WCHAR wide[kWideNameChars];
    for (ULONG i = 0; i <= length; ++i) {
        wide[i] = static_cast<WCHAR>(static_cast<UCHAR>(name[i]));
    }
    NDIS_STRING fileName;
    RtlInitUnicodeString(&fileName, wide);
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    NDIS_HANDLE file = nullptr;
    UINT fileLength = 0;
    NDIS_PHYSICAL_ADDRESS highest;
    highest.QuadPart = -1;
    NdisOpenFile(&status, &file, &fileLength, &fileName, highest);
    if (status != NDIS_STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "\"%s\": no such file (0x%08X)", name, static_cast<unsigned>(status));
        return FALSE;
    }
    image->File = file;
    if (fileLength == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "\"%s\": empty file", name);
        HalFwDlReleaseImage(image);
        return FALSE;
    }
    PVOID mapped = nullptr;
    NdisMapFile(&status, &mapped, file);
    if (status != NDIS_STATUS_SUCCESS || mapped == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "\"%s\": not mapped (0x%08X)", name, static_cast<unsigned>(status));
        HalFwDlReleaseImage(image);
        return FALSE;
    }
    image->Mapped = TRUE;
    image->Data = static_cast<const UCHAR*>(mapped);
    image->Size = fileLength;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "\"%s\": file of %u bytes", name, static_cast<unsigned>(fileLength));
    return TRUE;
}

void HalFwDlReleaseImage(PFW_DL_IMAGE image)
{
    if (image == nullptr) {
        return;
    }
    if (image->Copy != nullptr) {
        PlatformFreeMemory(image->Copy, image->Size);
    }
    if (image->File != nullptr) {
        if (image->Mapped) {
            NdisUnmapFile(image->File);
        }
        NdisCloseFile(image->File);
    }
    PlatformZeroMemory(image, sizeof(*image));
}

// ---- steps ----------------------------------------------------------------------------------------------

BOOLEAN HalFwDlSendData(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation, const UCHAR* data, ULONG length)
{
    for (ULONG offset = 0; offset < length;) {
        const ULONG piece = length - offset < FW_DL_SCATTER_MAX ? length - offset : FW_DL_SCATTER_MAX;
        if (HalFwDlFailed(generation->FwScatter(adapter, data + offset, piece))) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: download data at %u of %u failed", generation->Name,
                     static_cast<unsigned>(offset), static_cast<unsigned>(length));
            return FALSE;
        }
        offset += piece;
    }
    return TRUE;
}

NTSTATUS HalFwDlDownloadSections(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation, ULONG dataMode, ULONG kind,
                                 PPATCH_SECTION_LIST list)
{
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG i = 0; list != nullptr && i < list->Count; ++i) {
        const PATCH_SECTION_INFO& section = list->Sections[i];
        if (section.Data == nullptr) {
            continue;
        }
        if (HalFwDlFailed(generation->DownloadInit(adapter, section.TargetAddress, section.Length, dataMode, kind))) {
            result = STATUS_UNSUCCESSFUL;
            break;
        }
        if (!HalFwDlSendData(adapter, generation, section.Data, section.Length)) {
            result = STATUS_UNSUCCESSFUL;
            break;
        }
    }
    HalFwFreeSectionList(list);
    return result;
}

BOOLEAN HalFwDlWaitFwState(PMP_ADAPTER adapter, PFN_FW_DL_STATE getFwSyncValue, ULONG wanted, ULONG reads)
{
    ULONG value = 0;
    for (ULONG i = 0; i < reads; ++i) {
        value = getFwSyncValue(adapter);
        if (value == wanted) {
            return TRUE;
        }
        NdisCommonGenericDelay(kStateReadDelayUs);
    }
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "firmware state %u, not %u, after %u reads", static_cast<unsigned>(value),
             static_cast<unsigned>(wanted), static_cast<unsigned>(reads));
    return FALSE;
}

NTSTATUS HalFwDlOwnAndWaitRom(PMP_ADAPTER adapter, PFN_FW_DL_STATE getFwSyncValue, ULONG romReadyReads)
{
    NTSTATUS status = NdisCommonHifEnsureDriverOwn(adapter);
    if (HalFwDlFailed(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "no driver own before the download (0x%08X)", static_cast<unsigned>(status));
        return status;
    }
    if (!HalFwDlWaitFwState(adapter, getFwSyncValue, FW_STATE_ROM_READY, romReadyReads)) {
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

NTSTATUS HalFwPreDownloadWaitRom(PMP_ADAPTER adapter, PFN_FW_DL_STATE getFwSyncValue, ULONG romReadyReads)
{
    const ULONG state = getFwSyncValue(adapter);
    if (state != FW_STATE_ROM_NOT_RUNNING) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "firmware state %u: no wait for the ROM", static_cast<unsigned>(state));
        return NdisCommonHifEnsureDriverOwn(adapter);
    }
    return HalFwDlOwnAndWaitRom(adapter, getFwSyncValue, romReadyReads);
}

// ---- the loaders ----------------------------------------------------------------------------------------

namespace {

// The image of one loader: the driver-wide cache's when it holds a complete download of that
// name, else the image obtained now and (with caches) copied into the cache, not yet valid.
struct LoaderImage {
    const UCHAR* Bytes = nullptr;
    ULONG Size = 0;
    FW_DL_IMAGE Obtained{};
};

BOOLEAN TakeImage(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation, PFW_IMAGE_CACHE cache, PCSTR name,
                  ULONG minSize, LoaderImage* image)
{
    if (generation->UseCaches) {
        image->Bytes = HalFwImageCacheLookup(cache, name, &image->Size);
        if (image->Bytes != nullptr) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "%s: \"%s\" from the image cache, %u bytes", generation->Name,
                     name, static_cast<unsigned>(image->Size));
            return TRUE;
        }
    }
    if (!HalFwDlObtainImage(adapter, name, generation->UseCaches, &image->Obtained)) {
        return FALSE;
    }
    if (image->Obtained.Size < minSize) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: \"%s\" of %u bytes is too short", generation->Name, name,
                 static_cast<unsigned>(image->Obtained.Size));
        return FALSE;
    }
    if (!generation->UseCaches) {
        image->Bytes = image->Obtained.Data;
        image->Size = image->Obtained.Size;
        return TRUE;
    }
    if (!NT_SUCCESS(HalFwImageCacheStore(cache, name, image->Obtained.Data, image->Obtained.Size))) {
        return FALSE;
    }
    image->Bytes = cache->Buffer;
    image->Size = cache->Size;
    return TRUE;
}

NTSTATUS DownloadPatchContent(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation, const UCHAR* bytes, ULONG size)
{
    if (generation->SectionPatch) {
        ULONG dataMode = FW_DATA_MODE_PLAIN;
        PATCH_SECTION_LIST list{};
        NTSTATUS status = generation->ParsePatch(adapter, bytes, size, &dataMode, &list);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: ROM patch refused (0x%08X)", generation->Name,
                     static_cast<unsigned>(status));
            return STATUS_UNSUCCESSFUL;
        }
        return HalFwDlDownloadSections(adapter, generation, dataMode, FW_DL_KIND_ROM_PATCH, &list);
    }
    FW_3404_PATCH_BODY body;
    NTSTATUS status = HalFwParse3404RomPatch(bytes, size, &body);
    if (!NT_SUCCESS(status)) {
        return STATUS_UNSUCCESSFUL;
    }
    status = generation->DownloadInit(adapter, body.TargetAddress, body.Length, body.DataMode, FW_DL_KIND_ROM_PATCH);
    if (HalFwDlFailed(status)) {
        return status;
    }
    return HalFwDlSendData(adapter, generation, body.Data, body.Length) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

}  // namespace

NTSTATUS HalFwDlLoadRomPatch(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation)
{
    if (generation->RefuseAtDispatch && AtDispatch()) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: ROM patch refused above passive level", generation->Name);
        return STATUS_UNSUCCESSFUL;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_NOT_RESPONDING)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: the device does not respond", generation->Name);
        return STATUS_UNSUCCESSFUL;
    }
    PCSTR name = adapter->HalInfo.RomPatchFileName;
    if (name == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: the chip names no ROM patch", generation->Name);
        return STATUS_UNSUCCESSFUL;
    }
    LoaderImage image;
    NTSTATUS result = STATUS_UNSUCCESSFUL;
    if (TakeImage(adapter, generation, &g_FwRomPatchCache, name, generation->MinRomPatchSize, &image)) {
        (void)generation->PatchSemaphore(adapter, FW_DL_SEMAPHORE_OBTAIN);
        const UCHAR answer = __atomic_load_n(&adapter->FwEvent.PatchSemaphoreStatus, __ATOMIC_ACQUIRE);
        if (answer == FW_DL_SEMAPHORE_PATCH_PRESENT) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "%s: the ROM patch is in the chip already", generation->Name);
            result = STATUS_SUCCESS;
        } else if (answer != FW_DL_SEMAPHORE_NOT_GRANTED && answer != FW_DL_SEMAPHORE_GRANTED) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: patch semaphore refused (%u)", generation->Name,
                     static_cast<unsigned>(answer));
        } else {
            result = DownloadPatchContent(adapter, generation, image.Bytes, image.Size);
            if (HalFwDlSucceeded(result)) {
                result = generation->PatchFinish(adapter);
            }
            if (HalFwDlSucceeded(result) && generation->UseCaches) {
                HalFwImageCacheSetValid(&g_FwRomPatchCache);
            }
        }
    }
    HalFwDlReleaseImage(&image.Obtained);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "%s: ROM patch 0x%08X", generation->Name, static_cast<unsigned>(result));
    return result;
}

NTSTATUS HalFwDlLoadFirmware(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation)
{
    if (generation->RefuseAtDispatch && AtDispatch()) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: RAM code refused above passive level", generation->Name);
        return STATUS_UNSUCCESSFUL;
    }
    LoaderImage image;
    NTSTATUS result = STATUS_UNSUCCESSFUL;
    FW_RAM_CODE_INFO info;
    PCSTR name = adapter->HalInfo.RamCodeFileName;
    if (!TakeImage(adapter, generation, &g_FwRamCodeCache, name, generation->MinRamCodeSize, &image)) {
        // nothing to download
    } else if (!NT_SUCCESS(HalFwParseRamCode(image.Bytes, image.Size, &info))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: RAM code refused", generation->Name);
    } else if (generation->IdentificationText &&
               !NT_SUCCESS(HalFwGetIdentificationText(image.Bytes, image.Size, adapter->FwIdentText))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: RAM code without identification text", generation->Name);
    } else {
        result = STATUS_SUCCESS;
        if (generation->GetFwSyncValue(adapter) == FW_STATE_ROM_NOT_RUNNING) {
            result = HalFwDlOwnAndWaitRom(adapter, generation->GetFwSyncValue, FW_DL_ROM_READY_READS);
        }
        for (ULONG i = 0; HalFwDlSucceeded(result) && i < info.RegionCount; ++i) {
            const FW_REGION_DESC& region = info.Regions[i];
            if ((region.Flags & FW_REGION_FLAG_SKIP) != 0) {
                DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "%s: region %u skipped", generation->Name, static_cast<unsigned>(i));
                continue;
            }
            const ULONG dataMode = HalFwRegionDataMode(region.Flags, generation->RegionModeExtraBit);
            result = generation->DownloadInit(adapter, region.TargetAddress, region.Length, dataMode, FW_DL_KIND_RAM_CODE);
            if (HalFwDlSucceeded(result) &&
                !HalFwDlSendData(adapter, generation, image.Bytes + region.DataOffset, region.Length)) {
                result = STATUS_UNSUCCESSFUL;
            }
        }
        if (HalFwDlSucceeded(result)) {
            result = generation->FwStart(adapter, static_cast<BOOLEAN>(info.EntryAddress != 0), info.EntryAddress, FALSE);
        }
        if (HalFwDlSucceeded(result) && !HalFwDlWaitFwState(adapter, generation->GetFwSyncValue, FW_STATE_RAM_RUNNING,
                                                      FW_DL_RAM_RUNNING_READS)) {
            result = STATUS_UNSUCCESSFUL;
        }
        if (HalFwDlSucceeded(result) && generation->StartMark) {
            LARGE_INTEGER now;
            KeQuerySystemTime(&now);
            adapter->FwStartTime = now.QuadPart;
            __atomic_store_n(&adapter->FwCmd.FwJustDownloaded, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
        }
        if (HalFwDlSucceeded(result) && generation->UseCaches) {
            HalFwImageCacheSetValid(&g_FwRamCodeCache);
        }
    }
    HalFwDlReleaseImage(&image.Obtained);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "%s: RAM code 0x%08X", generation->Name, static_cast<unsigned>(result));
    return result;
}
