// The network adapter class extension: what a device does to become a network device. The net
// adapter object, its capabilities and configuration, the packet rings and queues, wake sources
// and power offloads come with the data path.
#pragma once

#include "kshim/wdf.h"

// The initialisation object of one net adapter (handed to the driver when a port is created).
typedef struct NETADAPTER_INIT NETADAPTER_INIT;

// Prepares the device-initialisation object for a network device; call before WdfDeviceCreate.
NTSTATUS NetDeviceInitConfig(PWDFDEVICE_INIT DeviceInit);
