// Files and devices opened by name. The stand-in maps the platform's names onto a folder the
// harness chooses (the file root): "\SystemRoot\..." is <root>/SystemRoot/..., "\??\C:\..." (also
// "\DosDevices\C:\...") is <root>/C/...; every component is found without regard to case. Names
// under "\Device\" open devices the harness provides, which answer ZwDeviceIoControlFile.
// Every call here may block: PASSIVE_LEVEL only. Handles are closed with ZwClose.
#pragma once

#include "kshim/ke.h"
#include "kshim/rtl.h"

#ifndef STATUS_FILE_IS_A_DIRECTORY
#define STATUS_FILE_IS_A_DIRECTORY ((NTSTATUS)0xC00000BAL)
#endif
#ifndef STATUS_INFO_LENGTH_MISMATCH
#define STATUS_INFO_LENGTH_MISMATCH ((NTSTATUS)0xC0000004L)
#endif
#ifndef STATUS_NOT_A_DIRECTORY
#define STATUS_NOT_A_DIRECTORY ((NTSTATUS)0xC0000103L)
#endif

// ---- I/O status ------------------------------------------------------------------------------------
typedef struct _IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;  // bytes moved, or the create result (FILE_OPENED, ...)
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

typedef VOID (*PIO_APC_ROUTINE)(PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock, ULONG reserved);

// ---- access, sharing, attributes -------------------------------------------------------------------
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_EA 0x0008u
#define FILE_WRITE_EA 0x0010u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u
#define READ_CONTROL 0x00020000u
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define MAXIMUM_ALLOWED 0x02000000u
#define SYNCHRONIZE 0x00100000u
#endif
#define FILE_GENERIC_READ (READ_CONTROL | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA | SYNCHRONIZE)
#define FILE_GENERIC_WRITE                                                                         \
    (READ_CONTROL | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | FILE_APPEND_DATA | SYNCHRONIZE)
#define FILE_ALL_ACCESS 0x001F01FFu

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

// ---- create dispositions and their results -----------------------------------------------------------
#define FILE_SUPERSEDE 0x00000000u     // replace or create
#define FILE_OPEN 0x00000001u          // open; fail when missing
#define FILE_CREATE 0x00000002u        // create; fail when present
#define FILE_OPEN_IF 0x00000003u       // open, or create when missing; never truncates
#define FILE_OVERWRITE 0x00000004u     // open and truncate; fail when missing
#define FILE_OVERWRITE_IF 0x00000005u  // open and truncate, or create

#define FILE_SUPERSEDED 0x00000000u
#define FILE_OPENED 0x00000001u
#define FILE_CREATED 0x00000002u
#define FILE_OVERWRITTEN 0x00000003u
#define FILE_EXISTS 0x00000004u
#define FILE_DOES_NOT_EXIST 0x00000005u

// ---- create options ------------------------------------------------------------------------------------
#define FILE_DIRECTORY_FILE 0x00000001u
#define FILE_WRITE_THROUGH 0x00000002u
#define FILE_SEQUENTIAL_ONLY 0x00000004u
#define FILE_SYNCHRONOUS_IO_ALERT 0x00000010u
#define FILE_SYNCHRONOUS_IO_NONALERT 0x00000020u  // the handle keeps a current byte offset
#define FILE_NON_DIRECTORY_FILE 0x00000040u
#define FILE_RANDOM_ACCESS 0x00000800u

// A byte offset of {LowPart FILE_USE_FILE_POINTER_POSITION, HighPart -1} uses the current position.
#define FILE_WRITE_TO_END_OF_FILE 0xFFFFFFFFu
#define FILE_USE_FILE_POINTER_POSITION 0xFFFFFFFEu

// ---- information -----------------------------------------------------------------------------------------
typedef enum _FILE_INFORMATION_CLASS {
    FileStandardInformation = 5,
    FilePositionInformation = 14,
} FILE_INFORMATION_CLASS, *PFILE_INFORMATION_CLASS;

typedef struct _FILE_STANDARD_INFORMATION {
    LARGE_INTEGER AllocationSize;
    LARGE_INTEGER EndOfFile;
    ULONG NumberOfLinks;
    BOOLEAN DeletePending;
    BOOLEAN Directory;
} FILE_STANDARD_INFORMATION, *PFILE_STANDARD_INFORMATION;

typedef struct _FILE_POSITION_INFORMATION {
    LARGE_INTEGER CurrentByteOffset;
} FILE_POSITION_INFORMATION, *PFILE_POSITION_INFORMATION;

// ---- calls -------------------------------------------------------------------------------------------------
// Opens or creates a plain file (directories cannot be opened) or opens a device. The result of
// the disposition is in ioStatusBlock->Information. A missing file is STATUS_OBJECT_NAME_NOT_FOUND,
// a missing folder on the way STATUS_OBJECT_PATH_NOT_FOUND; an open whose access or sharing
// conflicts with a handle already open is STATUS_SHARING_VIOLATION.
NTSTATUS ZwCreateFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                      PIO_STATUS_BLOCK ioStatusBlock, PLARGE_INTEGER allocationSize, ULONG fileAttributes,
                      ULONG shareAccess, ULONG createDisposition, ULONG createOptions, PVOID eaBuffer,
                      ULONG eaLength);
// ZwCreateFile with FILE_OPEN.
NTSTATUS ZwOpenFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                    PIO_STATUS_BLOCK ioStatusBlock, ULONG shareAccess, ULONG openOptions);
// Synchronous transfers. Without a byte offset a synchronous handle reads or writes at its current
// position (0 after the open) and advances it; a handle opened without a synchronous option needs
// an offset. A read that starts at or past the end is STATUS_END_OF_FILE; a read that reaches the
// end early succeeds with the count in Information. The event and APC arguments must be null.
NTSTATUS ZwReadFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                    PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset,
                    PULONG key);
NTSTATUS ZwWriteFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                     PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset,
                     PULONG key);
NTSTATUS ZwQueryInformationFile(HANDLE fileHandle, PIO_STATUS_BLOCK ioStatusBlock, PVOID fileInformation,
                                ULONG length, FILE_INFORMATION_CLASS fileInformationClass);
// Sends a control code to an opened device; the device's answer (status and bytes written to the
// output) comes back in the status block. A file handle is STATUS_INVALID_DEVICE_REQUEST.
NTSTATUS ZwDeviceIoControlFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                               PIO_STATUS_BLOCK ioStatusBlock, ULONG ioControlCode, PVOID inputBuffer,
                               ULONG inputBufferLength, PVOID outputBuffer, ULONG outputBufferLength);
