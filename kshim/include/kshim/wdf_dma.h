// The DMA enabler and common buffers.
// Included by kshim/wdf.h.
#pragma once
