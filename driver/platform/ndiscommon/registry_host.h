// The registry values read outside the device configuration: the two readers of a value under an
// absolute key path, and the driver's own service key.
#pragma once

#include "kshim/nt_types.h"

// Characters of a value read by HalReadRegistryValue, its terminating zero not counted.
#define HAL_REGISTRY_VALUE_CHARS 255

// Reads a 32-bit value (REG_DWORD of at most 4 bytes, zero-extended) of the key into *value. An
// open failure or a failed size query answers its status. A value of another type or longer than
// 4 bytes is treated as missing (STATUS_OBJECT_NAME_NOT_FOUND, traced); *value is written only on
// success.
NTSTATUS GetHostRegistryValue(PCWSTR keyPath, PCWSTR valueName, PULONG value);

// Reads a text value (REG_SZ or REG_EXPAND_SZ, up to its first zero) of the key into `buffer`
// (HAL_REGISTRY_VALUE_CHARS + 1 characters), terminated; *length receives the text's length in
// bytes. A text of more than HAL_REGISTRY_VALUE_CHARS characters or a value of another type is
// treated as missing (STATUS_OBJECT_NAME_NOT_FOUND, traced). On failure the buffer holds an empty
// text and *length is 0.
NTSTATUS HalReadRegistryValue(PCWSTR valueName, PULONG length, PWCHAR buffer, PCWSTR keyPath);

// Characters of the driver's service key path (terminating zero included).
#define DRIVER_REGISTRY_PATH_CHARS 256

// The driver's service key, "\Registry\Machine\System\CurrentControlSet\Services\<service>", from
// the name of the driver's object. STATUS_UNSUCCESSFUL when the driver or its name is missing;
// STATUS_BUFFER_OVERFLOW when the path does not fit. On failure `path` holds an empty text.
NTSTATUS RegistryGetDriverServicePath(PWCHAR path, ULONG pathChars);
// The driver's service key followed by "\Parameters".
NTSTATUS RegistryGetDriverParametersPath(PWCHAR path, ULONG pathChars);
