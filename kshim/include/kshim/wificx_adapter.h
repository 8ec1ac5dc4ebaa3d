// Net adapters and Wi-Fi Direct devices of the Wi-Fi class extension: the transmit demultiplexers a
// net adapter declares before its creation, its initialisation as a Wi-Fi adapter after it, and the
// Wi-Fi Direct device object of a WDI port.
#pragma once

#include "kshim/netadapter_caps.h"
#include "kshim/wificx.h"

// ---- transmit demultiplexing -------------------------------------------------------------------------
typedef enum _WIFI_ADAPTER_TX_DEMUX_TYPE {
    WifiAdapterTxDemuxTypePeerAddress = 2,
    WifiAdapterTxDemuxTypeWmmInfo = 3,
} WIFI_ADAPTER_TX_DEMUX_TYPE;

typedef struct _WIFI_ADAPTER_TX_DEMUX {
    ULONG Size;
    WIFI_ADAPTER_TX_DEMUX_TYPE Type;
    ULONG Range;
} WIFI_ADAPTER_TX_DEMUX;

inline VOID WIFI_ADAPTER_TX_DEMUX_INIT(WIFI_ADAPTER_TX_DEMUX* Demux, WIFI_ADAPTER_TX_DEMUX_TYPE Type, ULONG Range)
{
    Demux->Size = sizeof(*Demux);
    Demux->Type = Type;
    Demux->Range = Range;
}

// Adds a transmit demultiplexer to the adapter about to be created.
NTSTATUS WifiAdapterInitAddTxDemux(NETADAPTER_INIT* AdapterInit, const WIFI_ADAPTER_TX_DEMUX* Demux);
// Makes the created net adapter a Wi-Fi adapter (once; fault point "wifi.adapterinitialize").
NTSTATUS WifiAdapterInitialize(NETADAPTER Adapter);

// ---- Wi-Fi Direct devices -------------------------------------------------------------------------------
struct WIFIDIRECTDEVICE__ : WDFOBJECT__ {};
typedef struct WIFIDIRECTDEVICE__* WIFIDIRECTDEVICE;

// Creates the Wi-Fi Direct device from the initialisation object the OS handed to the driver (which
// it consumes); a child of the device. The attributes may carry a context type and a clean-up.
NTSTATUS WifiDirectDeviceCreate(WIFIDIRECT_DEVICE_INIT* WfdDeviceInit, PWDF_OBJECT_ATTRIBUTES Attributes,
                                WIFIDIRECTDEVICE* WifiDirectDevice);
NTSTATUS WifiDirectDeviceInitialize(WIFIDIRECTDEVICE WifiDirectDevice);
// The WDI port id the OS assigned to the Wi-Fi Direct device.
USHORT WifiDirectDeviceGetPortId(WIFIDIRECTDEVICE WifiDirectDevice);
