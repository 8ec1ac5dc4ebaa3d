// The harness's side of the file services: the folder that stands for the platform's file system,
// fixture files in it, and the devices that answer device-control requests.
//
// Names are the platform's: "\SystemRoot\System32\drivers\qzlwlan.dat" is
// <root>/SystemRoot/System32/drivers/qzlwlan.dat, "\??\C:\x.bin" is <root>/C/x.bin; components are
// found without regard to case (a new component is created as written).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kshim/nt_types.h"

namespace kshim::host {

// The folder the file names map into (created when missing). No root: every open fails with
// STATUS_OBJECT_PATH_NOT_FOUND.
void FilesSetRoot(const std::string& folder);
std::string FilesRoot();
// The host path a platform name maps to ("" when it maps nowhere or a folder on the way is missing).
std::string FilesHostPath(const std::string& ntName);

// Fixture files: write (creating the folders on the way), read, test, remove.
bool FilesWrite(const std::string& ntName, const std::vector<uint8_t>& bytes);
bool FilesWriteText(const std::string& ntName, const std::string& text);
std::optional<std::vector<uint8_t>> FilesRead(const std::string& ntName);
bool FilesExists(const std::string& ntName);
bool FilesRemove(const std::string& ntName);

// File, device and NDIS file handles that are open now (a leak check after a run).
size_t FilesOpenHandles();

// A device under "\Device\" answering ZwDeviceIoControlFile: it reads `input`, writes at most
// `outputLength` bytes to `output`, sets *information to the bytes written and returns the status.
using DeviceControlHandler = std::function<NTSTATUS(uint32_t ioControlCode, const uint8_t* input,
                                                    size_t inputLength, uint8_t* output, size_t outputLength,
                                                    size_t* information)>;
// name: the full device name, e.g. "\Device\QZLBTFilter_1" (matched without regard to case).
void FilesRegisterDevice(const std::string& name, DeviceControlHandler handler);
void FilesUnregisterDevice(const std::string& name);
void FilesClearDevices();

}  // namespace kshim::host
