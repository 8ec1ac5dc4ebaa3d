// Interrupt objects: WdfInterruptCreate, WdfInterruptQueueDpcForIsr, WdfInterruptSynchronize and
// the enable and disable callbacks.
// Included by kshim/wdf.h.
#pragma once
