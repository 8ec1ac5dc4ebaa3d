// The Wi-Fi class extension: device initialisation with the driver's three entry points (WDI
// command, adapter creation, Wi-Fi Direct device creation) and the OS's WDI version. Requests,
// indications, capability records, adapters and Wi-Fi Direct devices, transmit demultiplexing and
// wake reports come with the parts of the driver that use them.
#pragma once

#include "kshim/netadapter.h"

// One WDI command from the OS.
struct WIFIREQUEST__ : WDFOBJECT__ {};
typedef struct WIFIREQUEST__* WIFIREQUEST;

// The kind of port the OS asks the driver to create for a net adapter.
typedef enum _WIFI_ADAPTER_TYPE {
    WIFI_ADAPTER_WLAN_STATION = 1,
    WIFI_ADAPTER_WLAN_SOFTAP = 2,
    WIFI_ADAPTER_WIFI_DIRECT_ROLE = 3,
} WIFI_ADAPTER_TYPE;

WIFI_ADAPTER_TYPE WifiAdapterInitGetType(NETADAPTER_INIT* AdapterInit);
// The WDI port id the OS assigned to the net adapter.
USHORT WifiAdapterGetPortId(NETADAPTER Adapter);
WIFI_ADAPTER_TYPE WifiAdapterGetType(NETADAPTER Adapter);

// The initialisation object of one Wi-Fi Direct device.
typedef struct WIFIDIRECT_DEVICE_INIT WIFIDIRECT_DEVICE_INIT;

typedef VOID EVT_WIFI_DEVICE_SEND_COMMAND(WDFDEVICE Device, WIFIREQUEST Request);
typedef EVT_WIFI_DEVICE_SEND_COMMAND* PFN_WIFI_DEVICE_SEND_COMMAND;
typedef NTSTATUS EVT_WIFI_DEVICE_CREATE_ADAPTER(WDFDEVICE Device, NETADAPTER_INIT* AdapterInit);
typedef EVT_WIFI_DEVICE_CREATE_ADAPTER* PFN_WIFI_DEVICE_CREATE_ADAPTER;
typedef NTSTATUS EVT_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE(WDFDEVICE Device, WIFIDIRECT_DEVICE_INIT* WfdDeviceInit);
typedef EVT_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE* PFN_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE;

typedef struct _WIFI_DEVICE_CONFIG {
    ULONG Size;
    ULONG WdiVersion;  // the WDI version the driver implements (e.g. 0x20003)
    PFN_WIFI_DEVICE_SEND_COMMAND SendCommandHandler;
    PFN_WIFI_DEVICE_CREATE_ADAPTER CreateAdapter;
    PFN_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE CreateWifiDirectDevice;
} WIFI_DEVICE_CONFIG, *PWIFI_DEVICE_CONFIG;

inline VOID WIFI_DEVICE_CONFIG_INIT(WIFI_DEVICE_CONFIG* Config, ULONG WdiVersion,
                                    PFN_WIFI_DEVICE_SEND_COMMAND SendCommandHandler,
                                    PFN_WIFI_DEVICE_CREATE_ADAPTER CreateAdapter,
                                    PFN_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE CreateWifiDirectDevice)
{
    std::memset(Config, 0, sizeof(WIFI_DEVICE_CONFIG));
    Config->Size = sizeof(WIFI_DEVICE_CONFIG);
    Config->WdiVersion = WdiVersion;
    Config->SendCommandHandler = SendCommandHandler;
    Config->CreateAdapter = CreateAdapter;
    Config->CreateWifiDirectDevice = CreateWifiDirectDevice;
}

// Prepares the device-initialisation object for a Wi-Fi device; call after NetDeviceInitConfig
// and before WdfDeviceCreate.
NTSTATUS WifiDeviceInitConfig(PWDFDEVICE_INIT DeviceInit);
// Registers the driver's entry points for the device (once, after WdfDeviceCreate).
NTSTATUS WifiDeviceInitialize(WDFDEVICE Device, WIFI_DEVICE_CONFIG* Config);
// The WDI version of the running OS.
ULONG WifiDeviceGetOsWdiVersion(WDFDEVICE Device);
