// The control-thread executor's tests run on the bare adapter of the shell tests (blocks, locks,
// queues and command pools built, no worker thread unless started), with a station port 0.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "../shell/shell_fixture.h"
#include "kshim/files.h"
#include "kshim/host/files.h"
#include "platform/ndiscommon/ndiscommonhif.h"

namespace ctrltest {

inline std::vector<UCHAR> U32(ULONG value)
{
    std::vector<UCHAR> bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    return bytes;
}

class ExecutorTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        port0_ = AddPort(0, EXTSTA);
        port0_->Created = 1;
        kshim::host::TraceClear();
    }
    void TearDown() override
    {
        for (HANDLE* handle : {&adapter_->FwDump.IcsLogFile, &adapter_->FwDump.CoreDumpFile}) {
            if (*handle != nullptr) {
                ZwClose(*handle);
                *handle = nullptr;
            }
        }
        // Records a command posted and no thread ran go back to their pool.
        while (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue)) {
            QzReturnInternalCmdBuffer(adapter_.get(), cmd);
        }
        ShellTest::TearDown();
    }

    void Run(ULONG id, std::vector<UCHAR> payload = {}, PMP_PORT port = nullptr)
    {
        (void)NdisCommonHifControlThreadHandler(port != nullptr ? port : port0_, id,
                                                payload.empty() ? nullptr : payload.data(),
                                                static_cast<ULONG>(payload.size()));
    }

    // Opens (creating, emptying) a file under the stand-in's file root for appending writes.
    static HANDLE OpenForWrite(const std::u16string& name)
    {
        UNICODE_STRING path;
        RtlInitUnicodeString(&path, name.c_str());
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &path, OBJ_KERNEL_HANDLE | OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        IO_STATUS_BLOCK io = {};
        HANDLE handle = nullptr;
        NTSTATUS status = ZwCreateFile(&handle, GENERIC_WRITE | SYNCHRONIZE, &attributes, &io, nullptr,
                                       FILE_ATTRIBUTE_NORMAL, 0, FILE_OVERWRITE_IF, FILE_SYNCHRONOUS_IO_NONALERT,
                                       nullptr, 0);
        EXPECT_EQ(status, STATUS_SUCCESS);
        return handle;
    }

    MP_PORT* port0_ = nullptr;
};

}  // namespace ctrltest
