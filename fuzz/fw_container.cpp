// Fuzz target: the firmware container check and lookups, the copy-out between two containers, and
// every image parser, both on the whole input and on each image found inside it as a container.
// Every range a parser hands back is read completely, so a range outside the input shows up.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "hal/common/fwfile.h"
#include "hal/common/fwimage.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/memory.h"

namespace {

volatile unsigned g_sink;

void Touch(const UCHAR* data, ULONG length)
{
    unsigned sum = 0;
    for (ULONG i = 0; i < length; ++i) {
        sum += data[i];
    }
    g_sink = g_sink + sum;
}

void ParseImages(const UCHAR* image, ULONG size)
{
    using PatchParser = NTSTATUS (*)(struct _MP_ADAPTER*, const UCHAR*, ULONG, PULONG, PPATCH_SECTION_LIST);
    for (PatchParser parse : {AsicArvel2xwlanImageSectionGetPatchInfoV2, AsicArvel3xwlanImageSectionGetPatchInfoV2,
                              AsicArvel2xwlanImageSectionGetBtPatchInfo}) {
        PATCH_SECTION_LIST list{};
        ULONG mode = 0;
        if (NT_SUCCESS(parse(nullptr, image, size, &mode, &list))) {
            for (ULONG i = 0; i < list.Count; ++i) {
                if (list.Sections[i].Data != nullptr) {
                    Touch(list.Sections[i].Data, list.Sections[i].Length);
                }
            }
        }
        HalFwFreeSectionList(&list);
    }

    FW_RAM_CODE_INFO info;
    if (NT_SUCCESS(HalFwParseRamCode(image, size, &info))) {
        for (ULONG i = 0; i < info.RegionCount; ++i) {
            Touch(image + info.Regions[i].DataOffset, info.Regions[i].Length);
            g_sink = g_sink + HalFwRegionDataMode(info.Regions[i].Flags, TRUE);
        }
    }
    CHAR text[FW_IDENT_TEXT_SIZE];
    if (NT_SUCCESS(HalFwGetIdentificationText(image, size, text))) {
        Touch(reinterpret_cast<const UCHAR*>(text), sizeof(text));
    }
    FW_3404_PATCH_BODY body;
    if (NT_SUCCESS(HalFwParse3404RomPatch(image, size, &body))) {
        Touch(body.Data, body.Length);
    }
}

const char* const kNames[] = {"", "a", "WIFI_", "WIFI_RAM_CODE_QZ3602_2_1.bin", "WIFI_QZ3602_PATCH_MCU_2_1_hdr.bin"};

PUCHAR CopyToPool(const uint8_t* data, ULONG size)
{
    PVOID block = nullptr;
    if (size == 0 || !NT_SUCCESS(PlatformAllocateMemory(nullptr, &block, size, TAG_ZV53))) {
        return nullptr;
    }
    std::memcpy(block, data, size);
    return static_cast<PUCHAR>(block);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length > 0xFFFFFFFFu) {
        return 0;
    }
    const ULONG size = static_cast<ULONG>(length);

    ParseImages(data, size);

    g_sink = g_sink + static_cast<unsigned>(HalFwCheckContainer(data, size));
    for (const char* name : kNames) {
        FW_IMAGE_REF ref;
        if (NT_SUCCESS(HalFwFindImage(data, size, name, &ref))) {
            Touch(ref.Image, ref.Size);
            ParseImages(ref.Image, ref.Size);
        }
    }
    if (size >= 2 * FW_IMAGE_INFO_SIZE) {
        g_sink = g_sink + HalCompareBtWfTimestamp(data, data + FW_IMAGE_INFO_SIZE);
    }

    // The input as both containers at once: the copy-out picks by time stamp.
    FW_FILE_BLOCK files;
    std::memset(&files, 0, sizeof(files));
    HalFwSetContainer(&files, TRUE, CopyToPool(data, size), size);
    HalFwSetContainer(&files, FALSE, CopyToPool(data, size), size);
    for (const char* name : kNames) {
        ULONG imageSize = 0;
        PUCHAR copy = HalLoadBigFW(&files, 1, name, &imageSize);
        if (copy != nullptr) {
            Touch(copy, imageSize);
            PlatformFreeMemory(copy, imageSize);
        }
    }
    HalFreeBigFW(&files);
    return 0;
}
