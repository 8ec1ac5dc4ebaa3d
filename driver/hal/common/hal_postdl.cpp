// The post-download initialisation shared by the chip generations.
#include "hal/common/hal_postdl.h"

#include <cstdarg>

#include "Common/fwsettings.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/common/fwdownload.h"
#include "kshim/rtl.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

namespace {

void PutLe16(UCHAR* p, USHORT value)
{
    p[0] = static_cast<UCHAR>(value);
    p[1] = static_cast<UCHAR>(value >> 8);
}

void PutLe32(UCHAR* p, ULONG value)
{
    PutLe16(p, static_cast<USHORT>(value));
    PutLe16(p + 2, static_cast<USHORT>(value >> 16));
}

NTSTATUS SendPiece(PMP_ADAPTER adapter, const UCHAR* payload, USHORT length)
{
    return FwSettingSendPort0(adapter, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, POSTDL_EXT_BUFFER_BIN, 1,
                              POSTDL_OPTION_BUFFER_BIN, payload, length);
}

// The one piece of "no file" (source 0, piece byte 0x01, length 0).
NTSTATUS SendNoFilePiece(PMP_ADAPTER adapter)
{
    const UCHAR head[BUFFER_BIN_HEAD_SIZE] = {0, BufferBinPieceByte(0, 0), 0, 0};
    return SendPiece(adapter, head, sizeof(head));
}

// The EEPROM image file by name, when it is neither missing, empty nor longer than `limit`.
bool ObtainEeprom(PMP_ADAPTER adapter, PCSTR name, ULONG limit, PFW_DL_IMAGE image)
{
    if (name == nullptr || !HalFwDlObtainImage(adapter, name, FALSE, image)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "buffer-bin: EEPROM image \"%s\" not opened", name != nullptr ? name : "");
        return false;
    }
    if (image->Size > limit) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "buffer-bin: EEPROM image of %u bytes is longer than %u",
                 static_cast<unsigned>(image->Size), static_cast<unsigned>(limit));
        HalFwDlReleaseImage(image);
        return false;
    }
    return true;
}

}  // namespace

VOID HalPostDlPrepare(PMP_ADAPTER adapter)
{
    __atomic_store_n(&adapter->Cmd.SeqNum[SEQ_NUM_CLASS_FW_CMD], static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    AsicSetRegBits(adapter, POSTDL_DMA_SCHEDULER_REG, POSTDL_DMA_SCHEDULER_BITS, 0);
}

NTSTATUS HalPostDlQueryCapability(PMP_ADAPTER adapter)
{
    return FwSettingSendPort0(adapter, POSTDL_CMD_CAPABILITY, FW_CMD_CLASS_NORMAL, 0, 0, POSTDL_OPTION_CAPABILITY,
                              nullptr, 0);
}

NTSTATUS HalPostDlBasicConfig(PMP_ADAPTER adapter)
{
    UCHAR payload[POSTDL_BASIC_CONFIG_SIZE] = {};
    PutLe16(payload, 1);
    return FwSettingSendPort0(adapter, POSTDL_CMD_BASIC_CONFIG, FW_CMD_CLASS_NORMAL, 0, 1, POSTDL_OPTION_SET, payload,
                              sizeof(payload));
}

NTSTATUS HalPostDlRegWrite(PMP_ADAPTER adapter, ULONG chipAddress, ULONG value)
{
    UCHAR payload[8];
    PutLe32(payload, chipAddress);
    PutLe32(payload + 4, value);
    return FwSettingSendPort0(adapter, POSTDL_CMD_REG_WRITE, FW_CMD_CLASS_NORMAL, 0, 1, POSTDL_OPTION_SET, payload,
                              sizeof(payload));
}

NTSTATUS HalDownloadBufferBinPieces(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.BinMode != 1) {
        return SendNoFilePiece(adapter);
    }
    FW_DL_IMAGE image = {};
    if (!ObtainEeprom(adapter, adapter->HalInfo.EepromFileName, BUFFER_BIN_MAX_FILE, &image)) {
        return STATUS_UNSUCCESSFUL;
    }
    // An image of whole pieces ends with a full piece; anything else with a shorter one.
    const ULONG last = image.Size % BUFFER_BIN_PIECE_DATA == 0 ? image.Size / BUFFER_BIN_PIECE_DATA - 1
                                                               : image.Size / BUFFER_BIN_PIECE_DATA;
    NTSTATUS first = STATUS_SUCCESS;
    for (ULONG i = 0; i <= last; ++i) {
        UCHAR payload[BUFFER_BIN_HEAD_SIZE + BUFFER_BIN_PIECE_DATA] = {};
        const ULONG offset = i * BUFFER_BIN_PIECE_DATA;
        const ULONG left = image.Size - offset;
        const ULONG length = left < BUFFER_BIN_PIECE_DATA ? left : BUFFER_BIN_PIECE_DATA;
        payload[0] = 1;
        payload[1] = BufferBinPieceByte(i, last);
        PutLe16(payload + 2, static_cast<USHORT>(length));
        PlatformMoveMemory(payload + BUFFER_BIN_HEAD_SIZE, image.Data + offset, length);
        // Every piece goes out; the first failure is the result.
        NTSTATUS status = SendPiece(adapter, payload, sizeof(payload));
        if (status != STATUS_SUCCESS && first == STATUS_SUCCESS) {
            first = status;
        }
    }
    HalFwDlReleaseImage(&image);
    return first;
}

NTSTATUS HalDownloadBufferBinQz3404(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.BinMode != 1) {
        return SendNoFilePiece(adapter);
    }
    FW_DL_IMAGE image = {};
    if (!ObtainEeprom(adapter, BUFFER_BIN_QZ3404_FILE, BUFFER_BIN_QZ3404_MAX_FILE, &image)) {
        return STATUS_UNSUCCESSFUL;
    }
    UCHAR payload[BUFFER_BIN_HEAD_SIZE + BUFFER_BIN_QZ3404_MAX_FILE] = {};
    payload[0] = 1;
    payload[1] = 1;
    PutLe16(payload + 2, static_cast<USHORT>(image.Size));
    PlatformMoveMemory(payload + BUFFER_BIN_HEAD_SIZE, image.Data, image.Size);
    HalFwDlReleaseImage(&image);
    return SendPiece(adapter, payload, sizeof(payload));
}

// ---- chip configuration texts ----------------------------------------------------------------------------
NTSTATUS HalSendChipConfigText(PMP_ADAPTER adapter, PCSTR format, ...)
{
    UCHAR payload[CHIP_CONFIG_PAYLOAD_SIZE] = {};
    PSTR text = reinterpret_cast<PSTR>(payload + CHIP_CONFIG_TEXT_OFFSET);
    va_list args;
    va_start(args, format);
    NTSTATUS status = RtlStringCbVPrintfA(text, CHIP_CONFIG_TEXT_MAX, format, args);
    va_end(args);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "chip configuration text does not fit: 0x%08X", static_cast<unsigned>(status));
        return STATUS_UNSUCCESSFUL;
    }
    PutLe16(payload + CHIP_CONFIG_LENGTH_OFFSET, static_cast<USHORT>(std::strlen(text)));
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "chip configuration text \"%s\"", text);
    return QzCmdSetChipConfig(adapter, payload);
}

NTSTATUS HalPostDlPassiveToActiveScan(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.PassiveToActiveScan != 0) {
        return STATUS_SUCCESS;
    }
    return HalSendChipConfigText(adapter, "PassiveToActiveScan %d", 0);
}

NTSTATUS HalPostDlSoftApLinkCheck(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.APSDCapable == 0) {
        return STATUS_SUCCESS;
    }
    return HalSendChipConfigText(adapter, "LinkDtSapCheckIntervalP2pGo %d", 240);
}

// ---- key installation -------------------------------------------------------------------------------------------
VOID AsicFillKeyRequest(PMP_ADAPTER adapter, PMP_PORT port, UCHAR install, UCHAR bssIndex, UCHAR keyIndex,
                        UCHAR wlanIndex, ULONG keyKind, PCIPHER_KEY key, const UCHAR* peerAddress,
                        PKEY_REQUEST request)
{
    PlatformZeroMemory(request, sizeof(*request));
    request->Install = install;
    request->BssIndex = bssIndex;
    request->WlanIndex = wlanIndex;
    request->KeyKind = keyKind;
    request->KeyIndex = keyIndex;
    const bool accessPoint = adapter->RegistryBlock.OpMode == 1;
    request->ModeWord = accessPoint ? 0 : 2;
    request->Key = key;
    const bool keepPeer = keyKind == KEY_KIND_PAIRWISE ||
                          (key != nullptr && key->CipherAlg == CIPHER_CODE_GROUP_KEEP_PEER && accessPoint);
    const UCHAR* peer = keepPeer ? peerAddress : port->Bssid;
    if (peer != nullptr) {
        PlatformMoveMemory(request->PeerAddress, peer, sizeof(request->PeerAddress));
    }
}

VOID AsicAddRemoveKey(PMP_ADAPTER adapter, UCHAR install, UCHAR bssIndex, UCHAR keyIndex, UCHAR wlanIndex,
                      ULONG keyKind, PCIPHER_KEY key, const UCHAR* peerAddress)
{
    PMP_PORT port = GetPortByBssIndex(adapter, bssIndex);
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "key: no port bound to BSS index %u", static_cast<unsigned>(bssIndex));
        return;
    }
    if (MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex) == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "key: port %u has no station entry %u", static_cast<unsigned>(port->PortNumber),
                 static_cast<unsigned>(wlanIndex));
        return;
    }
    if (adapter->HalInfo.KeyLayout != 2) {
        return;
    }
    KEY_REQUEST request;
    AsicFillKeyRequest(adapter, port, install, bssIndex, keyIndex, wlanIndex, keyKind, key, peerAddress, &request);
    (void)QzCmdSetAddDeleteKey(adapter, &request);
}
