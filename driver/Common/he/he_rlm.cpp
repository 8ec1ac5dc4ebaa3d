// Recorders of a peer's HE and EHT elements and the AFC power table.
#include "Common/he/he_rlm.h"

#include <cstring>

#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kHeOpFixed = 7;                 // extension id, parameters, colour, basic MCS set
constexpr UCHAR kHeOpVhtInfoPresent = 0x40;     // parameter bit 14
constexpr UCHAR kHeOpCoHostedPresent = 0x80;    // parameter bit 15
constexpr UCHAR kHeOp6gInfoPresent = 0x02;      // parameter bit 17

}  // namespace

void heRlmRecHeCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PHE_CAPABILITY_INFO heCap, const UCHAR* element)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(heCap);
    UNREFERENCED_PARAMETER(element);
    (void)NOT_BUILT_YET();
}

// Records what the beacon parser needs of the HE Operation: the fixed fields and the 6 GHz
// Operation Information, each read only when the element holds it. The port's HE state comes with
// the HE code.
void heRlmRecHeOperation(PMP_ADAPTER adapter, PHE_OPERATION_INFO heOp, PUCHAR he6gOp, const UCHAR* element)
{
    UNREFERENCED_PARAMETER(adapter);
    ULONG len = element[1];
    const UCHAR* body = element + 2;
    if (len < kHeOpFixed) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "HE Operation of length %u too short", static_cast<unsigned>(len));
        return;
    }
    std::memcpy(heOp->Params, body + 1, 3);
    heOp->BssColorInfo = body[4];
    heOp->BasicHeMcsNss = static_cast<USHORT>(body[5] | (body[6] << 8));
    ULONG pos = kHeOpFixed;
    if (heOp->Params[1] & kHeOpVhtInfoPresent) {
        pos += 3;
    }
    if (heOp->Params[1] & kHeOpCoHostedPresent) {
        pos += 1;
    }
    if ((heOp->Params[2] & kHeOp6gInfoPresent) && pos + HE_6G_OP_INFO_LEN <= len) {
        std::memcpy(he6gOp, body + pos, HE_6G_OP_INFO_LEN);
    }
}

UCHAR heRlmRecSRParams(PMP_PORT port, const UCHAR* element)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(element);
    (void)NOT_BUILT_YET();
    return 0;
}

UCHAR mqmUpdateMUEdcaParams(PMP_PORT port, const UCHAR* element, UCHAR flag)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(element);
    UNREFERENCED_PARAMETER(flag);
    (void)NOT_BUILT_YET();
    return 0;
}

void ehtRlmRecCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PEHT_CAPABILITY_INFO ehtCap, PHE_CAPABILITY_INFO heCap,
                      const UCHAR* element)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(ehtCap);
    UNREFERENCED_PARAMETER(heCap);
    UNREFERENCED_PARAMETER(element);
    (void)NOT_BUILT_YET();
}

void ehtRlmRecOperation(PMP_ADAPTER adapter, PMP_PORT port, PEHT_OPERATION_INFO ehtOp, const UCHAR* element)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(ehtOp);
    UNREFERENCED_PARAMETER(element);
    (void)NOT_BUILT_YET();
}

void AFCArrayInit(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

void SetAllAFCPwrBuffer(PMP_ADAPTER adapter, UCHAR basePower)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(basePower);
    (void)NOT_BUILT_YET();
}

void heRlmGenerateHeCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(buffer);
    *length = 0;
    (void)NOT_BUILT_YET();
}

void heRlmGenerateHe6GCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(buffer);
    *length = 0;
    (void)NOT_BUILT_YET();
}
