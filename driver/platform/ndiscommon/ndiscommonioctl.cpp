// Private control: firmware answers to the vendor tool's requests.
#include "platform/ndiscommon/ndiscommonioctl.h"

#include "platform/ndiscommon/trace.h"

VOID ProcessAccessReg(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessGetChipReq(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessCoexCtrl(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }
