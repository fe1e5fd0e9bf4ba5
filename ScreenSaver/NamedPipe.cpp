#include "NamedPipe.h"

#include "PipeBuffer.h"
#include "PipeRecord.h"

#include "common/PersistentSettings.h"
#include "common/QDCopyData.h"
#include "common/TraceLog.h"

#include <algorithm>
#include <mutex>
#include <new>

namespace {

const DWORD kHeadBytes = sizeof(QD_COPYDATASTRUCT);
static_assert(NamedPipe::kReadChunkBytes == pipe_record::kReadChunkBytes, "one read size");
const DWORD kCloseWaitMs = 1000;
const DWORD kCloseCheckMs = 10;
// Published while the host has made its registration but not yet its pipes.
const int kNotPublished = -1;

bool IsUsableHandle(HANDLE handle)
{
    return handle && handle != INVALID_HANDLE_VALUE;
}

// A handle value published by the host, made valid in this process. Handle values fit in
// 32 bits on 64-bit Windows too; LongToHandle sign-extends them as the system expects.
HANDLE DuplicateFromHost(HANDLE hostProcess, int value)
{
    if (value == 0)
        return nullptr;
    // -1 is no handle yet: duplicated, it would be the host's own process pseudo-handle.
    if (value == kNotPublished)
        return INVALID_HANDLE_VALUE;
    HANDLE local = nullptr;
    if (!DuplicateHandle(hostProcess, LongToHandle(value), GetCurrentProcess(), &local, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        TraceLog("NamedPipe::RetreivePipe - DuplicateHandle of 0x%X failed. Error %d\n",
                 static_cast<unsigned>(value), static_cast<int>(GetLastError()));
        return INVALID_HANDLE_VALUE;
    }
    return local;
}

}  // namespace

// Shared by the endpoint and its reading thread; whichever lets go last frees it. The lock
// makes the hand-off of the validity flag and the endpoint's thread flags atomic.
struct NamedPipe::ReaderLink {
    std::mutex lock;
    std::atomic<bool> valid{true};
    // The endpoint's run flag as the thread sees it, so that the loop asks without the lock.
    std::atomic<bool> run{true};
    NamedPipe* endpoint = nullptr;   // touched only under the lock while valid
    HANDLE read = nullptr;           // the thread's own duplicate of the read handle
    NamedPipeCallback callback = nullptr;
    void* userData = nullptr;
};

NamedPipe::NamedPipe() : m_strMutexName(".namedpipe") {}

NamedPipe::~NamedPipe()
{
    TraceLog("NamedPipe::~NamedPipe()\n");
    Close();
    // A thread that did not stop in time keeps running on its own; it no longer needs us.
    if (m_threadHandle)
        CloseHandle(m_threadHandle);
}

std::string NamedPipe::PidProperty(const std::string& name) { return "NamedPipe." + name + ".PID"; }
std::string NamedPipe::ReadHandleProperty(const std::string& name)
{
    return "NamedPipe." + name + ".HRP";
}
std::string NamedPipe::WriteHandleProperty(const std::string& name)
{
    return "NamedPipe." + name + ".HWP";
}

bool NamedPipe::Create(const char* name, DWORD openFlags, bool isServer,
                       NamedPipeCallback callback, void* userData)
{
    if (m_bCreated) {
        m_dwLastError = kErrorCreateTwice;
        TraceLog("NamedPipe::Create - Failed, pipe create already called.\n");
        return false;
    }
    if (!name) {
        TraceLog("NamedPipe::Create - strName is NULL.\n");
        return false;
    }
    m_strName = name;
    m_dwOpenFlags = openFlags;
    m_bServer = isServer;
    m_callback = callback;
    m_pUserData = userData;
    m_bCreated = true;
    m_strFullName = "NamedPipe." + m_strName;
    m_strMutexName += "." + m_strName;

    bool ok = false;
    if (m_bServer) {
        if (RegisterPipe()) {
            SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
            bool pipes = true;
            if (m_dwOpenFlags & kOpenPipeA)
                pipes = CreatePipe(&m_hClientRead, &m_hWrite, &inheritable, kPipeBufferBytes) != 0;
            if (pipes && (m_dwOpenFlags & kOpenPipeB))
                pipes = CreatePipe(&m_hRead, &m_hClientWrite, &inheritable, kPipeBufferBytes) != 0;
            if (!pipes)
                TraceLog("NamedPipe::Create - CreatePipe failed. Error %d\n",
                         static_cast<int>(GetLastError()));
            ok = pipes && UpdateRegistration() && CallBack();
            if (!ok) {
                m_dwLastError = kErrorCreation;
                m_bRegistered = false;
            }
        }
    } else {
        ok = RetreivePipe() && CallBack();
    }
    if (!ok)
        TraceLog("NamedPipe::Create - Failed!\n");
    return ok;
}

bool NamedPipe::RegisterPipe()
{
    // One settings object for the whole check and publication: its mutex keeps a second
    // host from slipping in between.
    PersistentSettings settings;
    int pid = 0;
    if (settings.GetProperty(PidProperty(m_strName).c_str(), pid)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid));
        if (process) {
            HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, m_strMutexName.c_str());
            CloseHandle(process);
            if (mutex) {
                CloseHandle(mutex);
                m_dwLastError = kErrorAlreadyExists;
                TraceLog("NamedPipe::RegisterPipe - Error, Already exists.\n");
                return false;
            }
        }
    }

    m_hMutex = CreateMutexA(nullptr, TRUE, m_strMutexName.c_str());
    // An existing mutex is not ours to hold: another endpoint is alive under a registration
    // that no longer names it.
    if (!m_hMutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (m_hMutex) {
            CloseHandle(m_hMutex);
            m_hMutex = nullptr;
        }
        m_dwLastError = kErrorMutex;
        TraceLog("NamedPipe::RegisterPipe - Registration Failed!\n");
        return false;
    }

    settings.SetProperty(PidProperty(m_strName).c_str(), static_cast<int>(GetCurrentProcessId()),
                         true);
    settings.SetProperty(ReadHandleProperty(m_strName).c_str(), kNotPublished, true);
    settings.SetProperty(WriteHandleProperty(m_strName).c_str(), kNotPublished, true);
    settings.Save();
    m_bRegistered = true;
    return true;
}

bool NamedPipe::UpdateRegistration()
{
    PersistentSettings settings;
    settings.SetProperty(ReadHandleProperty(m_strName).c_str(),
                         static_cast<int>(HandleToLong(m_hClientRead)), true);
    settings.SetProperty(WriteHandleProperty(m_strName).c_str(),
                         static_cast<int>(HandleToLong(m_hClientWrite)), true);
    const bool saved = settings.Save();
    if (!saved)
        TraceLog("NamedPipe::UpdateRegistration - Failed!\n");
    return saved;
}

bool NamedPipe::RetreivePipe()
{
    PersistentSettings settings;
    int pid = 0;
    HANDLE process = nullptr;
    HANDLE mutex = nullptr;
    if (settings.GetProperty(PidProperty(m_strName).c_str(), pid))
        process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, static_cast<DWORD>(pid));
    if (process)
        mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, m_strMutexName.c_str());
    if (!process || !mutex) {
        if (process)
            CloseHandle(process);
        m_dwLastError = kErrorNoHost;
        TraceLog("NamedPipe::RetreivePipe - Error! Name does not exist.\n");
        return false;
    }

    int readValue = 0;
    int writeValue = 0;
    settings.GetProperty(ReadHandleProperty(m_strName).c_str(), readValue);
    settings.GetProperty(WriteHandleProperty(m_strName).c_str(), writeValue);
    m_hRead = DuplicateFromHost(process, readValue);
    m_hWrite = DuplicateFromHost(process, writeValue);
    CloseHandle(process);
    CloseHandle(mutex);

    if (!IsUsableHandle(m_hRead) || !IsUsableHandle(m_hWrite)) {
        m_dwLastError = kErrorCreation;
        TraceLog("NamedPipe::RetreivePipe - Creation Failed.\n");
        return false;
    }
    return true;
}

bool NamedPipe::CallBack()
{
    if (!m_callback)
        return true;

    std::shared_ptr<ReaderLink> link;
    std::shared_ptr<ReaderLink>* parameter = nullptr;
    try {
        link = std::make_shared<ReaderLink>();
        parameter = new std::shared_ptr<ReaderLink>(link);
    } catch (const std::bad_alloc&) {
        delete parameter;
        link.reset();
    }
    HANDLE read = nullptr;
    if (link && !DuplicateHandle(GetCurrentProcess(), m_hRead, GetCurrentProcess(), &read, 0,
                                 FALSE, DUPLICATE_SAME_ACCESS))
        read = nullptr;
    if (read) {
        link->endpoint = this;
        link->read = read;
        link->callback = m_callback;
        link->userData = m_pUserData;
        // Published before the thread starts, so that a Close racing its start still finds
        // the flag to clear.
        m_link = link;
        m_pbValidPtr = &link->valid;
        m_bValidThread = true;
        m_bThreadRunning = true;
        m_threadHandle = CreateThread(nullptr, 0, CallBackThread, parameter, 0, nullptr);
    }
    if (!m_threadHandle) {
        if (read)
            CloseHandle(read);
        delete parameter;
        m_link.reset();
        m_pbValidPtr = nullptr;
        m_bValidThread = false;
        m_bThreadRunning = false;
        m_dwLastError = kErrorThread;
        TraceLog("NamedPipe::CallBack - Failed creating CallBackThread!\n");
        return false;
    }
    return true;
}

DWORD WINAPI NamedPipe::CallBackThread(void* parameter)
{
    std::shared_ptr<ReaderLink> link;
    {
        auto* handed = static_cast<std::shared_ptr<ReaderLink>*>(parameter);
        link = std::move(*handed);
        delete handed;
    }
    PipeBuffer buffer;
    bool runThread = true;
    bool readResult = true;
    try {
        for (;;) {
            runThread = link->valid && link->run;
            if (!runThread)
                break;
            DWORD bytesRead = 0;
            readResult = ReadRecord(link->read, &buffer, &bytesRead);
            if (!readResult) {
                std::lock_guard<std::mutex> hold(link->lock);
                // A read cut short by Close is no failure of the channel.
                if (link->valid && link->endpoint->m_bRunThread)
                    link->endpoint->m_dwLastError = kErrorRead;
                break;
            }
            const bool valid = link->valid;
            const uint8_t* record = nullptr;
            uint32_t length = 0;
            // Only a record read whole is handed on: its head, N further bytes, nothing else.
            const bool whole = valid && buffer.GetBuffer(&record, &length) &&
                               length == bytesRead && QDCopyDataFromBytes(record, length) &&
                               reinterpret_cast<const QD_COPYDATASTRUCT*>(record)->cbData ==
                                   length - kHeadBytes;
            if (whole)
                link->callback(link->userData, record, length);
            else
                TraceLog("NamedPipe::CallBackThread - NOT Calling CallBackFunc.  bValidPtr = %d, "
                         "dwBytesRead = %d\n",
                         valid ? 1 : 0, static_cast<int>(bytesRead));
            buffer.Clear();
        }
    } catch (...) {
        TraceLog("NamedPipe::CallBackThread - Caught Exception!\n");
        readResult = false;
    }
    TraceLog("NamedPipe::CallBackThread - Leaving thread: m_bRunThread=%d, BReadResult = %d.\n",
             runThread ? 1 : 0, readResult ? 1 : 0);
    {
        std::lock_guard<std::mutex> hold(link->lock);
        if (link->valid) {
            link->endpoint->m_bValidThread = false;
            link->endpoint->m_bThreadRunning = false;
        }
    }
    CloseHandle(link->read);
    link->read = nullptr;
    return 0;
}

bool NamedPipe::ReadPipe(PipeBuffer* pipeBuffer, DWORD* bytesRead)
{
    if (!ReadRecord(m_hRead, pipeBuffer, bytesRead)) {
        if (pipeBuffer && bytesRead)
            m_dwLastError = kErrorRead;
        return false;
    }
    return true;
}

bool NamedPipe::ReadRecord(HANDLE handle, PipeBuffer* pipeBuffer, DWORD* bytesRead)
{
    if (!pipeBuffer) {
        TraceLog("NamedPipe::ReadPipe - pPipeBuffer is NULL!\n");
        return false;
    }
    if (!bytesRead) {
        TraceLog("NamedPipe::ReadPipe - pNumberOfBytesRead is NULL.\n");
        return false;
    }
    *bytesRead = 0;

    auto readFile = [](void* context, uint8_t* into, uint32_t wanted, uint32_t* got) {
        DWORD count = 0;
        const BOOL success = ReadFile(static_cast<HANDLE>(context), into, wanted, &count, nullptr);
        *got = count;
        return success != FALSE;
    };
    const pipe_record::Result result =
        pipe_record::Read(readFile, handle, *pipeBuffer, kMaxRecordByteCount);
    if (result.outcome == pipe_record::Outcome::ShortHead)
        TraceLog("    NamedPipe::ReadPipe - Failed reading QD_COPYDATASTRUCT from pipe.  success=%d, "
                 "lpNumberOfBytesRead=%d\n",
                 result.headReadOk ? 1 : 0, static_cast<int>(result.headBytes));
    else if (result.outcome == pipe_record::Outcome::Oversized)
        TraceLog("NamedPipe::ReadPipe - record claims %lu bytes, more than the %lu allowed.\n",
                 static_cast<unsigned long>(result.byteCount),
                 static_cast<unsigned long>(kMaxRecordByteCount));
    if (result.outcome != pipe_record::Outcome::Whole) {
        TraceLog("NamedPipe::ReadPipe - Pipe Read Failed!\n");
        return false;
    }
    *bytesRead = result.length;
    return true;
}

bool NamedPipe::WritePipe(const void* bytes, DWORD length)
{
    DWORD written = 0;
    if (!bytes || length == 0 || !WriteFile(m_hWrite, bytes, length, &written, nullptr) ||
        written != length) {
        m_dwLastError = kErrorWrite;
        TraceLog("NamedPipe::WritePipe - Failed!\n");
        return false;
    }
    return true;
}

void NamedPipe::CloseMember(HANDLE& handle, const char* name)
{
    TraceLog("NamedPipe::Close() - closing %s.\n", name);
    if (IsUsableHandle(handle))
        CloseHandle(handle);
    handle = nullptr;
}

void NamedPipe::Close()
{
    TraceLog("NamedPipe::Close()\n");
    if (m_bClosed) {
        TraceLog("NamedPipe::Close() - Already Closed.\n");
        return;
    }
    m_bClosed = true;
    m_bRunThread = false;
    if (m_link)
        m_link->run = false;
    m_bRegistered = false;

    CloseMember(m_hClientWrite, "m_hClientWrite");
    CloseMember(m_hClientRead, "m_hClientRead");
    CloseMember(m_hWrite, "m_hWrite");
    CloseMember(m_hRead, "m_hRead");
    CloseMember(m_hMutex, "m_hMutex");

    // The thread reads through its own handle, which the peer may keep busy: cancel its
    // blocking read until it notices the run flag. It may instead be blocked handing a record
    // to a window of this thread, so sent messages are answered while waiting; the wait ends
    // as soon as the thread does.
    const DWORD start = GetTickCount();
    for (DWORD waited = 0; m_bThreadRunning && waited < kCloseWaitMs; waited = GetTickCount() - start) {
        if (m_threadHandle)
            CancelSynchronousIo(m_threadHandle);
        const DWORD slice = std::min(kCloseCheckMs, kCloseWaitMs - waited);
        if (m_threadHandle)
            MsgWaitForMultipleObjects(1, &m_threadHandle, FALSE, slice, QS_SENDMESSAGE);
        else
            Sleep(slice);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (!m_bThreadRunning)
        TraceLog("NamedPipe::Close() - Read thread exited within timeout period.\n");
    else
        TraceLog("NamedPipe::Close - timed out waiting for read thread to exit \n");

    if (m_bThreadRunning) {
        TraceLog("NamedPipe::Close() - m_bThreadRunning is true, not setting m_threadHandle to NULL\n");
    } else {
        TraceLog("NamedPipe::Close() - !m_bThreadRunning, set m_threadHandle to NULL.\n");
        if (m_threadHandle)
            CloseHandle(m_threadHandle);
        m_threadHandle = nullptr;
    }

    std::shared_ptr<ReaderLink> link = m_link;
    std::unique_lock<std::mutex> hold;
    if (link)
        hold = std::unique_lock<std::mutex>(link->lock);
    if (m_bValidThread && m_pbValidPtr) {
        TraceLog("NamedPipe::Close() - m_bValidThread is true, setting m_pbValidPtr to false.\n");
        *m_pbValidPtr = false;
        m_bValidThread = false;
    } else {
        TraceLog("NamedPipe::Close() - m_bValidThread is false, not setting m_pbValidPtr to false.\n");
    }
}
