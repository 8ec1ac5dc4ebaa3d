// Files under the harness's root folder, devices provided by the harness, and the NDIS file calls.
#include "kshim/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "recorder_internal.h"
#include "kshim/host/files.h"
#include "kshim/ndis.h"
#include "text.h"

namespace {

constexpr size_t kMaxNameBytes = 4096;
constexpr size_t kMaxComponentBytes = 255;
constexpr uint64_t kMaxMappedBytes = 512ull << 20;

struct FileObject {
    int fd = -1;
    std::string hostPath;
    ACCESS_MASK access = 0;
    ULONG share = 0;
    bool synchronous = false;
    std::mutex lock;  // guards position
    int64_t position = 0;
};

struct DeviceObject {
    std::string name;
};

struct OpenRecord {
    const FileObject* file;
    ACCESS_MASK access;
    ULONG share;
};

struct FilesState {
    std::mutex lock;
    std::string root;
    std::multimap<std::string, OpenRecord> open;  // by host path
    std::map<std::string, std::pair<std::string, kshim::host::DeviceControlHandler>> devices;  // by folded name
};

FilesState& State()
{
    static FilesState* state = new FilesState();
    return *state;
}

std::atomic<size_t> g_openHandles{0};

// ---- names ---------------------------------------------------------------------------------------------

enum class NameKind { Invalid, File, Device, Outside };

bool StartsWithFolded(const std::string& s, const char* prefix)
{
    size_t n = std::strlen(prefix);
    return s.size() >= n && kshim::NamesEqual(std::string_view(s).substr(0, n), prefix);
}

// Splits a platform name into the components below the root (files) or the device name.
NameKind SplitName(const std::string& name, std::vector<std::string>* components)
{
    components->clear();
    if (name.empty() || name.size() > kMaxNameBytes || name[0] != '\\') {
        return NameKind::Invalid;
    }
    std::string rest;
    if (StartsWithFolded(name, "\\Device\\")) {
        return name.size() > 8 ? NameKind::Device : NameKind::Invalid;
    }
    if (StartsWithFolded(name, "\\SystemRoot") && (name.size() == 11 || name[11] == '\\')) {
        components->push_back("SystemRoot");
        rest = name.substr(11);
    } else {
        size_t prefix = 0;
        if (StartsWithFolded(name, "\\??\\")) {
            prefix = 4;
        } else if (StartsWithFolded(name, "\\DosDevices\\")) {
            prefix = 12;
        } else {
            return NameKind::Outside;
        }
        if (name.size() < prefix + 2 || name[prefix + 1] != ':' ||
            !((name[prefix] >= 'A' && name[prefix] <= 'Z') || (name[prefix] >= 'a' && name[prefix] <= 'z'))) {
            return NameKind::Outside;
        }
        components->push_back(std::string(1, static_cast<char>(name[prefix] & ~0x20)));
        rest = name.substr(prefix + 2);
    }
    if (rest.empty()) {
        return NameKind::File;
    }
    if (rest[0] != '\\') {
        return NameKind::Invalid;
    }
    size_t start = 1;
    for (;;) {
        size_t end = rest.find('\\', start);
        std::string component = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (component.empty() || component == "." || component == ".." || component.size() > kMaxComponentBytes) {
            return NameKind::Invalid;
        }
        for (char c : component) {
            if (c == '/' || static_cast<unsigned char>(c) < 0x20) {
                return NameKind::Invalid;
            }
        }
        components->push_back(component);
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return NameKind::File;
}

// The entry of `folder` named `name` without regard to case ("" when there is none).
std::string FindEntry(const std::string& folder, const std::string& name)
{
    struct stat st;
    if (::lstat((folder + "/" + name).c_str(), &st) == 0) {
        return name;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return std::string();
    }
    std::string found;
    while (dirent* entry = ::readdir(dir)) {
        if (kshim::NamesEqual(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Resolves the components under the root. *exists tells whether the last one is there; *path is
// the host path (with the last component as written when it is missing). Folders on the way are
// created when `createFolders` is set. The state lock is held.
NTSTATUS ResolveLocked(const FilesState& state, const std::vector<std::string>& components, bool createFolders,
                       std::string* path, bool* exists)
{
    if (state.root.empty() || components.empty()) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    std::string current = state.root;
    for (size_t i = 0; i < components.size(); ++i) {
        std::string entry = FindEntry(current, components[i]);
        bool last = i + 1 == components.size();
        if (last) {
            *exists = !entry.empty();
            *path = current + "/" + (entry.empty() ? components[i] : entry);
            return STATUS_SUCCESS;
        }
        if (entry.empty()) {
            if (!createFolders || ::mkdir((current + "/" + components[i]).c_str(), 0777) != 0) {
                return STATUS_OBJECT_PATH_NOT_FOUND;
            }
            entry = components[i];
        }
        current += "/" + entry;
        if (!IsDirectory(current)) {
            return STATUS_OBJECT_PATH_NOT_FOUND;
        }
    }
    return STATUS_OBJECT_PATH_NOT_FOUND;
}

ACCESS_MASK MapAccess(ACCESS_MASK desired)
{
    ACCESS_MASK access = desired & 0x00FFFFFFu;
    if ((desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) != 0) {
        access |= FILE_ALL_ACCESS;
    }
    if ((desired & GENERIC_READ) != 0) {
        access |= FILE_GENERIC_READ;
    }
    if ((desired & GENERIC_WRITE) != 0) {
        access |= FILE_GENERIC_WRITE;
    }
    return access;
}

constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA;

bool SharingConflicts(ACCESS_MASK access, ULONG share, const OpenRecord& other)
{
    bool reads = (access & FILE_READ_DATA) != 0;
    bool writes = (access & kWriteRights) != 0;
    bool otherReads = (other.access & FILE_READ_DATA) != 0;
    bool otherWrites = (other.access & kWriteRights) != 0;
    return (reads && (other.share & FILE_SHARE_READ) == 0) || (writes && (other.share & FILE_SHARE_WRITE) == 0) ||
           (otherReads && (share & FILE_SHARE_READ) == 0) || (otherWrites && (share & FILE_SHARE_WRITE) == 0);
}

void CloseFile(void* object)
{
    auto* file = static_cast<FileObject*>(object);
    {
        FilesState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        auto range = state.open.equal_range(file->hostPath);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second.file == file) {
                state.open.erase(it);
                break;
            }
        }
    }
    ::close(file->fd);
    delete file;
    g_openHandles.fetch_sub(1);
}

void CloseDevice(void* object)
{
    delete static_cast<DeviceObject*>(object);
    g_openHandles.fetch_sub(1);
}

void SetIoStatus(PIO_STATUS_BLOCK io, NTSTATUS status, ULONG_PTR information)
{
    if (io != nullptr) {
        io->Status = status;
        io->Information = information;
    }
}

struct OpenRequest {
    std::string name;  // platform name, UTF-8
    ACCESS_MASK access;
    ULONG share;
    ULONG disposition;
    ULONG options;
};

// Opens a file or device; the common path of ZwCreateFile, ZwOpenFile and NdisOpenFile.
NTSTATUS OpenByNameUnrecorded(const OpenRequest& request, kshim::HandleKind* kind, void** object,
                              ULONG_PTR* information)
{
    *information = 0;
    NTSTATUS status;
    if (kshim::FaultCheck("file.open", request.name.c_str(), &status)) {
        return status;
    }
    std::vector<std::string> components;
    NameKind nameKind = SplitName(request.name, &components);
    if (nameKind == NameKind::Invalid) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    if (nameKind == NameKind::Outside) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    FilesState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (nameKind == NameKind::Device) {
        auto it = state.devices.find(kshim::FoldName(request.name));
        if (it == state.devices.end()) {
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        *kind = kshim::HandleDevice;
        *object = new DeviceObject{it->first};
        *information = FILE_OPENED;
        return STATUS_SUCCESS;
    }
    if ((request.options & FILE_DIRECTORY_FILE) != 0) {
        return STATUS_NOT_SUPPORTED;  // folders are not opened through the stand-in
    }
    std::string path;
    bool exists = false;
    status = ResolveLocked(state, components, false, &path, &exists);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (exists && IsDirectory(path)) {
        return STATUS_FILE_IS_A_DIRECTORY;
    }
    ACCESS_MASK access = MapAccess(request.access);
    int flags = (access & kWriteRights) != 0 ? O_RDWR : O_RDONLY;
    bool truncate = false;
    ULONG_PTR result;
    switch (request.disposition) {
    case FILE_SUPERSEDE:
        truncate = exists;
        result = exists ? FILE_SUPERSEDED : FILE_CREATED;
        break;
    case FILE_OPEN:
        if (!exists) {
            *information = FILE_DOES_NOT_EXIST;
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        result = FILE_OPENED;
        break;
    case FILE_CREATE:
        if (exists) {
            *information = FILE_EXISTS;
            return STATUS_OBJECT_NAME_COLLISION;
        }
        result = FILE_CREATED;
        break;
    case FILE_OPEN_IF:
        result = exists ? FILE_OPENED : FILE_CREATED;
        break;
    case FILE_OVERWRITE:
        if (!exists) {
            *information = FILE_DOES_NOT_EXIST;
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        truncate = true;
        result = FILE_OVERWRITTEN;
        break;
    case FILE_OVERWRITE_IF:
        truncate = exists;
        result = exists ? FILE_OVERWRITTEN : FILE_CREATED;
        break;
    default:
        return STATUS_INVALID_PARAMETER;
    }
    auto range = state.open.equal_range(path);
    for (auto it = range.first; it != range.second; ++it) {
        if (SharingConflicts(access, request.share, it->second)) {
            return STATUS_SHARING_VIOLATION;
        }
    }
    if (!exists) {
        flags |= O_CREAT | O_EXCL;
    }
    if (truncate) {
        if (flags == O_RDONLY) {
            flags = O_RDWR;  // truncation needs a writable descriptor even for a read-only handle
        }
        flags |= O_TRUNC;
    }
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno == ENOENT ? STATUS_OBJECT_PATH_NOT_FOUND : STATUS_ACCESS_DENIED;
    }
    auto* file = new FileObject();
    file->fd = fd;
    file->hostPath = path;
    file->access = access;
    file->share = request.share;
    file->synchronous = (request.options & (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT)) != 0;
    state.open.emplace(path, OpenRecord{file, access, request.share});
    *kind = kshim::HandleFile;
    *object = file;
    *information = result;
    return STATUS_SUCCESS;
}

bool NameFromAttributes(POBJECT_ATTRIBUTES attributes, std::string* name)
{
    if (attributes == nullptr || attributes->ObjectName == nullptr || attributes->RootDirectory != nullptr) {
        return false;
    }
    PCUNICODE_STRING s = attributes->ObjectName;
    if ((s->Length & 1) != 0 || s->Length > s->MaximumLength || (s->Length != 0 && s->Buffer == nullptr)) {
        return false;
    }
    *name = kshim::CountedToUtf8(s);
    return true;
}

// The offset a transfer starts at; false when the handle cannot do without one.
bool TransferOffset(FileObject* file, PLARGE_INTEGER byteOffset, bool write, int64_t* offset)
{
    bool useCurrent = byteOffset == nullptr ||
                      (byteOffset->HighPart == -1 && byteOffset->LowPart == FILE_USE_FILE_POINTER_POSITION);
    if (useCurrent) {
        if (!file->synchronous) {
            return false;
        }
        *offset = file->position;
    } else if (write && byteOffset->HighPart == -1 && byteOffset->LowPart == FILE_WRITE_TO_END_OF_FILE) {
        struct stat st;
        *offset = ::fstat(file->fd, &st) == 0 ? st.st_size : 0;
    } else if (byteOffset->QuadPart < 0) {
        return false;
    } else {
        *offset = byteOffset->QuadPart;
    }
    if (write && (file->access & FILE_WRITE_DATA) == 0) {
        struct stat st;  // append-only handle: always at the end
        *offset = ::fstat(file->fd, &st) == 0 ? st.st_size : 0;
    }
    return true;
}

FileObject* LookupFile(HANDLE handle, NTSTATUS* status)
{
    if (auto* file = static_cast<FileObject*>(kshim::HandleLookup(handle, kshim::HandleFile))) {
        return file;
    }
    *status = kshim::HandleLookup(handle, kshim::HandleDevice) != nullptr ? STATUS_INVALID_DEVICE_REQUEST
                                                                         : STATUS_INVALID_HANDLE;
    return nullptr;
}

// Every open by name, whatever its outcome, is recorded as a crossing of the file boundary.
NTSTATUS OpenByName(const OpenRequest& request, kshim::HandleKind* kind, void** object, ULONG_PTR* information)
{
    NTSTATUS status = OpenByNameUnrecorded(request, kind, object, information);
    kshim::RecordFileOpen(request.name, request.access, request.disposition, status);
    return status;
}

}  // namespace

// ================================================================================================
// Zw file calls
// ================================================================================================
NTSTATUS ZwCreateFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                      PIO_STATUS_BLOCK ioStatusBlock, PLARGE_INTEGER allocationSize, ULONG fileAttributes,
                      ULONG shareAccess, ULONG createDisposition, ULONG createOptions, PVOID eaBuffer,
                      ULONG eaLength)
{
    KshimMayBlock("ZwCreateFile");
    if (fileHandle == nullptr || ioStatusBlock == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *fileHandle = nullptr;
    OpenRequest request{{}, desiredAccess, shareAccess, createDisposition, createOptions};
    if (!NameFromAttributes(objectAttributes, &request.name)) {
        SetIoStatus(ioStatusBlock, STATUS_OBJECT_NAME_INVALID, 0);
        return STATUS_OBJECT_NAME_INVALID;
    }
    kshim::HandleKind kind;
    void* object = nullptr;
    ULONG_PTR information;
    NTSTATUS status = OpenByName(request, &kind, &object, &information);
    SetIoStatus(ioStatusBlock, status, information);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    g_openHandles.fetch_add(1);
    *fileHandle = kshim::HandleCreate(kind, object, kind == kshim::HandleFile ? CloseFile : CloseDevice);
    return STATUS_SUCCESS;
}

NTSTATUS ZwOpenFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                    PIO_STATUS_BLOCK ioStatusBlock, ULONG shareAccess, ULONG openOptions)
{
    return ZwCreateFile(fileHandle, desiredAccess, objectAttributes, ioStatusBlock, nullptr, 0, shareAccess,
                        FILE_OPEN, openOptions, nullptr, 0);
}

namespace {

// A synchronous read or write: the checks both share, the offset, the transfer loop.
NTSTATUS Transfer(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PIO_STATUS_BLOCK ioStatusBlock,
                  PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset, bool write)
{
    NTSTATUS status = STATUS_SUCCESS;
    FileObject* file = LookupFile(fileHandle, &status);
    if (file == nullptr || ioStatusBlock == nullptr || (buffer == nullptr && length != 0) || event != nullptr ||
        apcRoutine != nullptr) {
        status = file == nullptr ? status : STATUS_INVALID_PARAMETER;
        SetIoStatus(ioStatusBlock, status, 0);
        return status;
    }
    if ((file->access & (write ? kWriteRights : FILE_READ_DATA)) == 0) {
        SetIoStatus(ioStatusBlock, STATUS_ACCESS_DENIED, 0);
        return STATUS_ACCESS_DENIED;
    }
    std::lock_guard<std::mutex> guard(file->lock);
    int64_t offset;
    if (!TransferOffset(file, byteOffset, write, &offset)) {
        SetIoStatus(ioStatusBlock, STATUS_INVALID_PARAMETER, 0);
        return STATUS_INVALID_PARAMETER;
    }
    struct stat st;
    if (!write && ::fstat(file->fd, &st) == 0 && length != 0 && offset >= st.st_size) {
        SetIoStatus(ioStatusBlock, STATUS_END_OF_FILE, 0);
        return STATUS_END_OF_FILE;
    }
    auto* bytes = static_cast<UCHAR*>(buffer);
    size_t done = 0;
    while (done < length) {
        auto at = static_cast<off_t>(offset + static_cast<int64_t>(done));
        ssize_t n = write ? ::pwrite(file->fd, bytes + done, length - done, at)
                          : ::pread(file->fd, bytes + done, length - done, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || (n == 0 && write)) {
            SetIoStatus(ioStatusBlock, STATUS_IO_DEVICE_ERROR, done);
            return STATUS_IO_DEVICE_ERROR;
        }
        if (n == 0) {
            break;  // end of file: a short read
        }
        done += static_cast<size_t>(n);
    }
    if (file->synchronous) {
        file->position = offset + static_cast<int64_t>(done);
    }
    SetIoStatus(ioStatusBlock, STATUS_SUCCESS, done);
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS ZwReadFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                    PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset,
                    PULONG key)
{
    KshimMayBlock("ZwReadFile");
    return Transfer(fileHandle, event, apcRoutine, ioStatusBlock, buffer, length, byteOffset, false);
}

NTSTATUS ZwWriteFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                     PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset,
                     PULONG key)
{
    KshimMayBlock("ZwWriteFile");
    return Transfer(fileHandle, event, apcRoutine, ioStatusBlock, buffer, length, byteOffset, true);
}

NTSTATUS ZwQueryInformationFile(HANDLE fileHandle, PIO_STATUS_BLOCK ioStatusBlock, PVOID fileInformation,
                                ULONG length, FILE_INFORMATION_CLASS fileInformationClass)
{
    KshimMayBlock("ZwQueryInformationFile");
    NTSTATUS status = STATUS_SUCCESS;
    FileObject* file = LookupFile(fileHandle, &status);
    if (file == nullptr || ioStatusBlock == nullptr || fileInformation == nullptr) {
        status = file == nullptr ? status : STATUS_INVALID_PARAMETER;
        SetIoStatus(ioStatusBlock, status, 0);
        return status;
    }
    if (fileInformationClass == FileStandardInformation) {
        if (length < sizeof(FILE_STANDARD_INFORMATION)) {
            SetIoStatus(ioStatusBlock, STATUS_INFO_LENGTH_MISMATCH, 0);
            return STATUS_INFO_LENGTH_MISMATCH;
        }
        struct stat st;
        if (::fstat(file->fd, &st) != 0) {
            SetIoStatus(ioStatusBlock, STATUS_IO_DEVICE_ERROR, 0);
            return STATUS_IO_DEVICE_ERROR;
        }
        auto* info = static_cast<PFILE_STANDARD_INFORMATION>(fileInformation);
        std::memset(info, 0, sizeof(*info));
        info->EndOfFile.QuadPart = st.st_size;
        info->AllocationSize.QuadPart = (st.st_size + 4095) & ~static_cast<int64_t>(4095);
        info->NumberOfLinks = 1;
        SetIoStatus(ioStatusBlock, STATUS_SUCCESS, sizeof(FILE_STANDARD_INFORMATION));
        return STATUS_SUCCESS;
    }
    if (fileInformationClass == FilePositionInformation) {
        if (length < sizeof(FILE_POSITION_INFORMATION)) {
            SetIoStatus(ioStatusBlock, STATUS_INFO_LENGTH_MISMATCH, 0);
            return STATUS_INFO_LENGTH_MISMATCH;
        }
        std::lock_guard<std::mutex> guard(file->lock);
        static_cast<PFILE_POSITION_INFORMATION>(fileInformation)->CurrentByteOffset.QuadPart = file->position;
        SetIoStatus(ioStatusBlock, STATUS_SUCCESS, sizeof(FILE_POSITION_INFORMATION));
        return STATUS_SUCCESS;
    }
    SetIoStatus(ioStatusBlock, STATUS_INVALID_PARAMETER, 0);
    return STATUS_INVALID_PARAMETER;
}

NTSTATUS ZwDeviceIoControlFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                               PIO_STATUS_BLOCK ioStatusBlock, ULONG ioControlCode, PVOID inputBuffer,
                               ULONG inputBufferLength, PVOID outputBuffer, ULONG outputBufferLength)
{
    KshimMayBlock("ZwDeviceIoControlFile");
    auto* device = static_cast<DeviceObject*>(kshim::HandleLookup(fileHandle, kshim::HandleDevice));
    NTSTATUS status;
    if (device == nullptr) {
        status = kshim::HandleLookup(fileHandle, kshim::HandleFile) != nullptr ? STATUS_INVALID_DEVICE_REQUEST
                                                                              : STATUS_INVALID_HANDLE;
        SetIoStatus(ioStatusBlock, status, 0);
        return status;
    }
    if (ioStatusBlock == nullptr || event != nullptr || apcRoutine != nullptr ||
        (inputBuffer == nullptr && inputBufferLength != 0) || (outputBuffer == nullptr && outputBufferLength != 0)) {
        SetIoStatus(ioStatusBlock, STATUS_INVALID_PARAMETER, 0);
        return STATUS_INVALID_PARAMETER;
    }
    kshim::host::DeviceControlHandler handler;
    {
        FilesState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        auto it = state.devices.find(device->name);
        if (it != state.devices.end()) {
            handler = it->second.second;
        }
    }
    if (!handler) {
        SetIoStatus(ioStatusBlock, STATUS_DEVICE_REMOVED, 0);
        return STATUS_DEVICE_REMOVED;
    }
    size_t information = 0;
    status = handler(ioControlCode, static_cast<const uint8_t*>(inputBuffer), inputBufferLength,
                     static_cast<uint8_t*>(outputBuffer), outputBufferLength, &information);
    if (information > outputBufferLength) {
        KshimViolation("device answered more bytes than the output buffer holds", device->name.c_str());
        information = outputBufferLength;
    }
    SetIoStatus(ioStatusBlock, status, information);
    return status;
}

// ================================================================================================
// NDIS file calls
// ================================================================================================
namespace {

constexpr ULONG kNdisFileMagic = 0x4E46494C;  // 'NFIL'

struct NdisFile {
    ULONG magic = kNdisFileMagic;
    std::vector<UCHAR> content;
    bool mapped = false;
};

NdisFile* NdisFileFrom(NDIS_HANDLE handle, const char* call)
{
    auto* file = static_cast<NdisFile*>(handle);
    if (file == nullptr || file->magic != kNdisFileMagic) {
        KshimViolation("NDIS file call with a handle that is not an open NDIS file", call);
        return nullptr;
    }
    return file;
}

}  // namespace

void NdisOpenFile(PNDIS_STATUS status, PNDIS_HANDLE fileHandle, PUINT fileLength, PNDIS_STRING fileName,
                  NDIS_PHYSICAL_ADDRESS highestAcceptableAddress)
{
    KshimMayBlock("NdisOpenFile");
    *fileHandle = nullptr;
    *fileLength = 0;
    if (fileName == nullptr || fileName->Buffer == nullptr || fileName->Length == 0 || (fileName->Length & 1) != 0) {
        *status = STATUS_OBJECT_NAME_INVALID;
        return;
    }
    std::string name = kshim::CountedToUtf8(fileName);
    if (name[0] != '\\') {
        name = "\\SystemRoot\\System32\\drivers\\" + name;
    }
    OpenRequest request{name, FILE_GENERIC_READ, FILE_SHARE_READ, FILE_OPEN,
                        FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE};
    kshim::HandleKind kind;
    void* object = nullptr;
    ULONG_PTR information;
    NTSTATUS result = OpenByName(request, &kind, &object, &information);
    if (!NT_SUCCESS(result)) {
        *status = result;
        return;
    }
    if (kind != kshim::HandleFile) {
        delete static_cast<DeviceObject*>(object);
        *status = STATUS_INVALID_DEVICE_REQUEST;
        return;
    }
    g_openHandles.fetch_add(1);
    auto* file = static_cast<FileObject*>(object);
    struct stat st;
    auto* ndisFile = new NdisFile();
    result = STATUS_SUCCESS;
    if (::fstat(file->fd, &st) != 0) {
        result = STATUS_IO_DEVICE_ERROR;
    } else if (static_cast<uint64_t>(st.st_size) > kMaxMappedBytes) {
        result = STATUS_INSUFFICIENT_RESOURCES;
    } else {
        ndisFile->content.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < ndisFile->content.size()) {
            ssize_t n = ::pread(file->fd, ndisFile->content.data() + done, ndisFile->content.size() - done,
                                static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        ndisFile->content.resize(done);
    }
    CloseFile(file);
    if (!NT_SUCCESS(result)) {
        delete ndisFile;
        *status = result;
        return;
    }
    g_openHandles.fetch_add(1);
    *fileHandle = ndisFile;
    *fileLength = static_cast<UINT>(ndisFile->content.size());
    *status = NDIS_STATUS_SUCCESS;
}

void NdisMapFile(PNDIS_STATUS status, PVOID* mappedBuffer, NDIS_HANDLE fileHandle)
{
    *mappedBuffer = nullptr;
    NdisFile* file = NdisFileFrom(fileHandle, "NdisMapFile");
    if (file == nullptr) {
        *status = NDIS_STATUS_INVALID_PARAMETER;
        return;
    }
    if (file->mapped) {
        *status = STATUS_INVALID_DEVICE_STATE;
        return;
    }
    if (file->content.empty()) {
        file->content.reserve(1);  // an empty file still maps to a valid address
    }
    file->mapped = true;
    *mappedBuffer = file->content.data();
    *status = NDIS_STATUS_SUCCESS;
}

void NdisUnmapFile(NDIS_HANDLE fileHandle)
{
    if (NdisFile* file = NdisFileFrom(fileHandle, "NdisUnmapFile")) {
        file->mapped = false;
    }
}

void NdisCloseFile(NDIS_HANDLE fileHandle)
{
    if (NdisFile* file = NdisFileFrom(fileHandle, "NdisCloseFile")) {
        file->magic = 0;
        delete file;
        g_openHandles.fetch_sub(1);
    }
}

// ================================================================================================
// harness functions
// ================================================================================================
namespace kshim::host {

namespace {

// The host path for a fixture name; creates folders on the way when asked.
std::string FixturePath(const std::string& ntName, bool createFolders, bool* exists)
{
    std::vector<std::string> components;
    if (SplitName(ntName, &components) != NameKind::File) {
        return std::string();
    }
    FilesState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    std::string path;
    bool found = false;
    if (!NT_SUCCESS(ResolveLocked(state, components, createFolders, &path, &found))) {
        return std::string();
    }
    if (exists != nullptr) {
        *exists = found;
    }
    return path;
}

}  // namespace

void FilesSetRoot(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    // Create the folder and the folders above it.
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            ::mkdir(path.substr(0, i).c_str(), 0777);
        }
    }
    FilesState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.root = path;
}

std::string FilesRoot()
{
    FilesState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.root;
}

std::string FilesHostPath(const std::string& ntName) { return FixturePath(ntName, false, nullptr); }

bool FilesWrite(const std::string& ntName, const std::vector<uint8_t>& bytes)
{
    std::string path = FixturePath(ntName, true, nullptr);
    if (path.empty()) {
        return false;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0;
}

bool FilesWriteText(const std::string& ntName, const std::string& text)
{
    return FilesWrite(ntName, std::vector<uint8_t>(text.begin(), text.end()));
}

std::optional<std::vector<uint8_t>> FilesRead(const std::string& ntName)
{
    bool exists = false;
    std::string path = FixturePath(ntName, false, &exists);
    if (path.empty() || !exists) {
        return std::nullopt;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof(chunk));
        if (n <= 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return bytes;
}

bool FilesExists(const std::string& ntName)
{
    bool exists = false;
    return !FixturePath(ntName, false, &exists).empty() && exists;
}

bool FilesRemove(const std::string& ntName)
{
    bool exists = false;
    std::string path = FixturePath(ntName, false, &exists);
    return !path.empty() && exists && ::unlink(path.c_str()) == 0;
}

size_t FilesOpenHandles() { return g_openHandles.load(); }

void FilesRegisterDevice(const std::string& name, DeviceControlHandler handler)
{
    FilesState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.devices[kshim::FoldName(name)] = {name, std::move(handler)};
}

void FilesUnregisterDevice(const std::string& name)
{
    FilesState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.devices.erase(kshim::FoldName(name));
}

void FilesClearDevices()
{
    FilesState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.devices.clear();
}

}  // namespace kshim::host
