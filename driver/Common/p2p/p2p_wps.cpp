// Wi-Fi Direct: the WPS element of a peer's frame, parsed into the fields the Wi-Fi Direct procedures
// need.
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket_wire.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kWpsHeadLen = 6;  // id, length, OUI and type
constexpr ULONG kWpsAttrHeadLen = 4;

}  // namespace

BOOLEAN P2PParseWPSIE(const UCHAR* element, ULONG elementLen, PUSHORT devicePasswordId, PUSHORT configMethods,
                      PUCHAR name, PUCHAR nameLen, PUCHAR selectedRegistrar, PUCHAR requestedCount,
                      PUCHAR deviceTypes)
{
    if (nameLen != nullptr) {
        *nameLen = 0;
    }
    if (requestedCount != nullptr) {
        *requestedCount = 0;
    }
    if (element == nullptr || elementLen < kWpsHeadLen) {
        return FALSE;
    }
    if (element[0] != 221 || memcmp(element + 2, kWpsOui, sizeof(kWpsOui)) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: element %u is not a WPS element", __func__, element[0]);
        return FALSE;
    }
    if (elementLen < 10) {
        return TRUE;
    }
    ULONG offset = kWpsHeadLen;
    while (offset + kWpsAttrHeadLen <= elementLen) {
        const USHORT type = P2pGetBe16(element + offset);
        const USHORT length = P2pGetBe16(element + offset + 2);
        const UCHAR* value = element + offset + kWpsAttrHeadLen;
        if (offset + kWpsAttrHeadLen + length > elementLen) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: attribute 0x%04X of %u bytes runs past the element", __func__,
                     type, length);
            break;
        }
        switch (type) {
        case WSC_ID_CONFIG_METHODS:
            if (configMethods != nullptr && length >= 2) {
                *configMethods = P2pGetBe16(value);
            }
            break;
        case WSC_ID_DEVICE_NAME:
            if (name != nullptr) {
                const ULONG stored = length > P2P_DEVICE_NAME_MAX ? P2P_DEVICE_NAME_MAX : length;
                PlatformMoveMemory(name, value, stored);
                if (nameLen != nullptr) {
                    *nameLen = static_cast<UCHAR>(stored);
                }
            }
            break;
        case WSC_ID_DEVICE_PWD_ID:
            if (devicePasswordId != nullptr && length >= 2) {
                *devicePasswordId = P2pGetBe16(value);
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_P2P, "%s: device password id %s", __func__,
                         P2pDevPasswordIdName(*devicePasswordId));
            }
            break;
        case WSC_ID_SELECTED_REGISTRAR:
            if (selectedRegistrar != nullptr && length >= 1) {
                *selectedRegistrar = value[0];
            }
            break;
        case WSC_ID_PRIMARY_DEVICE_TYPE:
            if (length == P2P_DEVICE_TYPE_LEN && requestedCount == nullptr && deviceTypes != nullptr) {
                PlatformMoveMemory(deviceTypes, value, P2P_DEVICE_TYPE_LEN);
            }
            break;
        case WSC_ID_REQUESTED_DEVICE_TYPE:
            if (length == P2P_DEVICE_TYPE_LEN && requestedCount != nullptr && deviceTypes != nullptr &&
                *requestedCount < WSC_REQUESTED_TYPES_MAX) {
                PlatformMoveMemory(deviceTypes + *requestedCount * P2P_DEVICE_TYPE_LEN, value, P2P_DEVICE_TYPE_LEN);
                ++*requestedCount;
            }
            break;
        default:
            if ((type & 0xFF00) != 0x1000) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: attribute 0x%04X ends the walk", __func__, type);
                return TRUE;
            }
            break;
        }
        offset += kWpsAttrHeadLen + length;
    }
    return TRUE;
}
