// Firmware status, wake, dump and legacy event handlers run on the bare adapter of the shell tests
// (blocks, locks, queues and command pools built, no worker thread), with a station port 0. Events are
// handed to the handlers as the dispatch hands them: an event view (16 bytes, the 12-byte header with
// its length, then the payload).
#pragma once

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../shell/shell_fixture.h"
#include "Common/common.h"
#include "Common/qzevent.h"
#include "Common/qzevent_handlers.h"
#include "kshim/files.h"
#include "kshim/host/eventlog.h"
#include "kshim/host/files.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

namespace fwstatustest {

using Bytes = std::vector<UCHAR>;

inline void PutU16(Bytes& b, size_t at, USHORT v) { std::memcpy(b.data() + at, &v, sizeof(v)); }
inline void PutU32(Bytes& b, size_t at, ULONG v) { std::memcpy(b.data() + at, &v, sizeof(v)); }

// An event view: 16 bytes, the header (length = 12 + payload, or `headerLength` when given), the payload.
inline Bytes View(UCHAR id, const Bytes& payload, UCHAR extId = 0, UCHAR s2d = 0, int headerLength = -1)
{
    Bytes view(FW_EVENT_VIEW_PAYLOAD_OFFSET, 0);
    view.insert(view.end(), payload.begin(), payload.end());
    const USHORT length = static_cast<USHORT>(headerLength >= 0 ? headerLength : FW_EVENT_HEADER_LENGTH + payload.size());
    PutU16(view, FW_EVENT_VIEW_HEADER_OFFSET, length);
    view[FW_EVENT_VIEW_ID_OFFSET] = id;
    view[FW_EVENT_VIEW_EXT_ID_OFFSET] = extId;
    view[FW_EVENT_VIEW_S2D_OFFSET] = s2d;
    return view;
}

class FwStatusTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        port0_ = AddPort(0, EXTSTA);
        port0_->Created = 1;
        adapter_->Fdo = WdfDeviceWdmGetDeviceObject(adapter_->Device);
        kshim::host::ErrorLogClear();
        kshim::host::TraceClear();
    }
    void TearDown() override
    {
        UCHAR cancelled = 0;
        PlatformCancelTimer(&adapter_->FwDump.CoreDumpTimer, &cancelled);
        PlatformFreeTimer(&adapter_->FwDump.CoreDumpTimer);
        for (HANDLE* handle : {&adapter_->FwDump.IcsLogFile, &adapter_->FwDump.CoreDumpFile}) {
            if (*handle != nullptr) {
                ZwClose(*handle);
                *handle = nullptr;
            }
        }
        DrainQueues();
        if (!root_.empty()) {
            kshim::host::FilesSetRoot("");
            std::filesystem::remove_all(root_);
        }
        ShellTest::TearDown();
    }

    void UseFileRoot()
    {
        char pattern[] = "/tmp/qzl-fwstatus-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        kshim::host::FilesSetRoot(root_);
        ASSERT_TRUE(kshim::host::FilesWrite("\\SystemRoot\\System32\\drivers\\placeholder", {}));
    }
    Bytes ReadFile(const std::string& name)
    {
        auto bytes = kshim::host::FilesRead(name);
        return bytes ? Bytes(bytes->begin(), bytes->end()) : Bytes{};
    }

    struct Posted {
        ULONG id;
        Bytes payload;
    };
    // Takes the internal commands posted to a queue, in order.
    std::vector<Posted> Take(COMMAND_QUEUE* queue)
    {
        std::vector<Posted> out;
        while (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(queue)) {
            out.push_back({cmd->CmdId, Bytes(cmd->Payload, cmd->Payload + cmd->PayloadLength)});
            QzReturnInternalCmdBuffer(adapter_.get(), cmd);
        }
        return out;
    }
    std::vector<Posted> TakeControl() { return Take(&adapter_->Cmd.ControlQueue); }
    std::vector<Posted> TakeIcs() { return Take(&adapter_->Cmd.IcsQueue); }
    // Runs the posted commands as their threads would.
    void RunAll(const std::vector<Posted>& commands)
    {
        for (const Posted& c : commands) {
            Bytes payload = c.payload;
            (void)NdisCommonHifControlThreadHandler(port0_, c.id, payload.empty() ? nullptr : payload.data(),
                                                    static_cast<ULONG>(payload.size()));
        }
    }
    void DrainQueues()
    {
        (void)TakeControl();
        (void)TakeIcs();
    }

    MP_PORT* port0_ = nullptr;
    std::string root_;
};

}  // namespace fwstatustest
