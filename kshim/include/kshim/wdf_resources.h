// Resource lists (WdfCmResourceListGetCount, WdfCmResourceListGetDescriptor) and the bus
// interface query (WdfFdoQueryForInterface).
// Included by kshim/wdf.h.
#pragma once
