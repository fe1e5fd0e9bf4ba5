#include "QDIPC.h"

#include "common/QDCopyData.h"
#include "common/TraceLog.h"

#include <cstdint>
#include <new>

namespace {

const char kChannelName[] = "qdpipe";
const DWORD kBothPipes = NamedPipe::kOpenPipeA | NamedPipe::kOpenPipeB;

}  // namespace

QDIPC::~QDIPC()
{
    if (!m_pipe)
        return;
    try {
        UnRegister();
    } catch (...) {
        TraceLog("QDIPC::~QDIPC() - Caught Exception!\n");
    }
}

DWORD QDIPC::Register(HWND window, bool asMothership)
{
    TraceLog("QDIPC::Register as %s \n", asMothership ? "mothership" : "client");
    if (!window) {
        TraceLog("QDIPC::Register - hWnd is NULL\n");
        return kResultNullWindow;
    }
    if (m_pipe || m_hWnd) {
        TraceLog("QDIPC::RegisterAsClient failure; already registered!!\n");
        return kResultNotRegistered;
    }
    m_hWnd = window;
    m_pipe.reset(new (std::nothrow) NamedPipe);
    m_strName = kChannelName;
    if (!m_pipe ||
        !m_pipe->Create(kChannelName, kBothPipes, asMothership, &QDIPC::HandleCallback, this)) {
        TraceLog("QDIPC::Register failed! \n");
        m_pipe.reset();
        m_hWnd = nullptr;
        return kResultNotRegistered;
    }
    return kResultOk;
}

DWORD QDIPC::UnRegister()
{
    TraceLog("QDIPC::UnRegister() \n");
    if (!m_pipe) {
        TraceLog("QDIPC::UnRegister() - m_pipe is already NULL.\n");
        return 0;
    }
    // Taken out first: a record delivered while the pipe closes may run UnRegister again, and
    // must find nothing left to close or delete.
    std::unique_ptr<NamedPipe> pipe = std::move(m_pipe);
    TraceLog("QDIPC::UnRegister() - Closing pipe.\n");
    pipe->Close();
    TraceLog("QDIPC::UnRegister() - Deleting pipe.\n");
    pipe.reset();
    TraceLog("QDIPC::UnRegister() - Clearing member vars.\n");
    m_hWnd = nullptr;
    return 0;
}

DWORD QDIPC::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    TraceLog("QDIPC::PostMessage() \n");
    WritePipeData(message, wParam, lParam, 0, nullptr);
    return 0;
}

DWORD QDIPC::PostDataMessage(UINT message, DWORD byteCount, const void* bytes)
{
    TraceLog("QDIPC::PostDataMessage()\n");
    WritePipeData(message, 0, 0, byteCount, bytes);
    TraceLog("QDIPC::PostDataMessage - complete.\n");
    return 0;
}

bool QDIPC::WritePipeData(UINT message, WPARAM wParam, LPARAM lParam, DWORD byteCount,
                          const void* bytes)
{
    if (!m_pipe) {
        TraceLog("QDIPC::WritePipeData - pipe is NULL.\n");
        return false;
    }
    // The reader refuses such a record and stops; better not to send it at all.
    if (byteCount > NamedPipe::kMaxRecordByteCount) {
        TraceLog("QDIPC::WritePipeData - %lu bytes are more than a record carries.\n",
                 static_cast<unsigned long>(byteCount));
        return false;
    }
    if (byteCount && !bytes) {
        TraceLog("QDIPC::WritePipeData - pData is NULL.\n");
        return false;
    }
    try {
        // The wire carries the parameters' low 32 bits.
        QDCopyDataRecord record(message, static_cast<uint32_t>(wParam),
                                static_cast<uint32_t>(lParam), bytes, byteCount);
        if (!m_pipe->WritePipe(record.Bytes(), static_cast<DWORD>(record.Size()))) {
            TraceLog("QDIPC::WritePipeData - WritePipe Failed!\n");
            return false;
        }
    } catch (const std::bad_alloc&) {
        TraceLog("QDIPC::WritePipeData - out of memory for %lu bytes.\n",
                 static_cast<unsigned long>(byteCount));
        return false;
    }
    return true;
}

void QDIPC::HandleCallback(void* endpoint, const BYTE* record, DWORD length)
{
    TraceLog("QDIPC::pipeCallback()\n");
    QDIPC* ipc = static_cast<QDIPC*>(endpoint);
    if (!ipc) {
        TraceLog("pipeCallback failed, ipcObject is NULL! \n");
        return;
    }
    TraceLog("QDIPC::HandleCallback() \n");
    if (!record)
        return;
    const QD_COPYDATASTRUCT* whole = QDCopyDataFromBytes(record, length);
    if (!whole) {
        TraceLog("QDIPC::HandleCallback - record of %lu bytes is malformed.\n",
                 static_cast<unsigned long>(length));
        return;
    }
    ipc->SendAppMessageToSelf(whole);
}

void QDIPC::SendAppMessageToSelf(const QD_COPYDATASTRUCT* record)
{
    TraceLog("QDIPC::SendAppMessageToSelf() \n");
    const HWND window = m_hWnd;
    if (!record || !window || window == reinterpret_cast<HWND>(INVALID_HANDLE_VALUE))
        return;
    // wParam is unsigned and widens with zeros; lParam is signed and widens with its sign.
    const WPARAM wParam = static_cast<WPARAM>(record->wParam);
    if (record->cbData > 0) {
        COPYDATASTRUCT copy = {};
        copy.dwData = record->message;
        copy.cbData = record->cbData;
        copy.lpData = const_cast<uint8_t*>(record->data);
        SendMessageA(window, WM_COPYDATA, wParam, reinterpret_cast<LPARAM>(&copy));
    } else if (record->message < WM_USER) {
        // Plain records carry host messages only: a system message from another process would
        // reach default processing with a raw lParam (WM_SETTEXT, WM_COPYDATA) or close the window.
        TraceLog("QDIPC::SendAppMessageToSelf - refused the system message 0x%X of a plain record.\n",
                 static_cast<unsigned>(record->message));
    } else {
        const LPARAM lParam = static_cast<LPARAM>(static_cast<int32_t>(record->lParam));
        SendMessageA(window, record->message, wParam, lParam);
    }
}
