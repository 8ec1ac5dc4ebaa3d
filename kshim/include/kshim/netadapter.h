// The network adapter class extension: what a device does to become a network device. The net
// adapter object, its capabilities and configuration, the packet rings and queues, wake sources
// and power offloads come with the data path.
#pragma once

#include "kshim/wdf.h"

// The initialisation object of one net adapter (handed to the driver when a port is created).
typedef struct NETADAPTER_INIT NETADAPTER_INIT;

// One network adapter: a port of the device as the OS sees it. It is a child of its device and goes
// away with it; its clean-up callback runs before the device's.
struct NETADAPTER__ : WDFOBJECT__ {};
typedef struct NETADAPTER__* NETADAPTER;

// Creates the net adapter from the initialisation object the OS handed to the driver (which it
// consumes). The attributes may carry a context type and a clean-up callback; the parent is the
// device.
NTSTATUS NetAdapterCreate(NETADAPTER_INIT* AdapterInit, PWDF_OBJECT_ATTRIBUTES Attributes, NETADAPTER* Adapter);

// Prepares the device-initialisation object for a network device; call before WdfDeviceCreate.
NTSTATUS NetDeviceInitConfig(PWDFDEVICE_INIT DeviceInit);

// ---- device configuration ------------------------------------------------------------------------
// The device's configuration values: the named values of the device's software key in the
// registry. Values are read and written by name (case-insensitive). Every call may block:
// PASSIVE_LEVEL only.
KSHIM_WDF_HANDLE(NETCONFIGURATION);

typedef enum _NET_CONFIGURATION_QUERY_ULONG_FLAGS {
    NET_CONFIGURATION_QUERY_ULONG_NO_FLAGS = 0x00000000,
    // A value stored as text is read as hexadecimal digits rather than decimal ones.
    NET_CONFIGURATION_QUERY_ULONG_MAY_BE_STORED_AS_HEX_STRING = 0x00000001,
} NET_CONFIGURATION_QUERY_ULONG_FLAGS;

// Opens the configuration of a network device (NetDeviceInitConfig done before its creation;
// another device gets STATUS_INVALID_DEVICE_REQUEST). The object's parent is the device unless the
// attributes name another; close it with NetConfigurationClose.
NTSTATUS NetDeviceOpenConfiguration(WDFDEVICE Device, PWDF_OBJECT_ATTRIBUTES ConfigurationAttributes,
                                    NETCONFIGURATION* Configuration);
VOID NetConfigurationClose(NETCONFIGURATION Configuration);

// A 32-bit value: a 4-byte REG_DWORD, or a text of decimal digits (hexadecimal ones with the flag)
// that fits 32 bits. A missing value is STATUS_OBJECT_NAME_NOT_FOUND, a value of another type
// STATUS_OBJECT_TYPE_MISMATCH, a text that is no such number STATUS_INVALID_PARAMETER; *Value is
// written only on success.
NTSTATUS NetConfigurationQueryUlong(NETCONFIGURATION Configuration, NET_CONFIGURATION_QUERY_ULONG_FLAGS Flags,
                                    PCUNICODE_STRING ValueName, PULONG Value);
// A text value (REG_SZ or REG_EXPAND_SZ, up to its first zero) as a new framework string object
// (the default parent is the driver; the caller deletes it). A missing value is
// STATUS_OBJECT_NAME_NOT_FOUND, another type STATUS_OBJECT_TYPE_MISMATCH, a text too long for a
// counted string STATUS_INVALID_PARAMETER.
NTSTATUS NetConfigurationQueryString(NETCONFIGURATION Configuration, PCUNICODE_STRING ValueName,
                                     PWDF_OBJECT_ATTRIBUTES StringAttributes, WDFSTRING* WdfString);
// Writes a REG_DWORD value.
NTSTATUS NetConfigurationAssignUlong(NETCONFIGURATION Configuration, PCUNICODE_STRING ValueName, ULONG Value);
// Writes a REG_SZ value (the text and a terminating zero).
NTSTATUS NetConfigurationAssignUnicodeString(NETCONFIGURATION Configuration, PCUNICODE_STRING ValueName,
                                             PCUNICODE_STRING Value);
