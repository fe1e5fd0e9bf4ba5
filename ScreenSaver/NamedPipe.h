// One endpoint of a pipe channel between the host application (the "mothership", server role)
// and a client such as the screen saver. The host creates two anonymous pipes, A (host to
// client) and B (client to host), and publishes its process id and the client ends' handle
// values in the settings file; a client opens the host process and duplicates those handles.
// With a callback, a reading thread hands every whole record to it.
//
// Records are QD_COPYDATASTRUCT records (common/QDCopyData.h): a 20-byte head, then N more
// bytes where N is the byte count at offset 12.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

class PipeBuffer;

// userData as given to Create; record and length describe one whole record, valid for the
// duration of the call only.
typedef void (*NamedPipeCallback)(void* userData, const BYTE* record, DWORD length);

class NamedPipe {
public:
    enum : DWORD {
        kErrorNone = 0x40000000,
        kErrorAlreadyExists = 0x40000001,   // server: a live host already owns the channel
        kErrorMutex = 0x40000002,           // server: the channel mutex could not be made
        kErrorNoHost = 0x40000003,          // client: no live host (process or mutex missing)
        kErrorCreation = 0x40000005,        // creating, publishing or duplicating the pipes
        kErrorThread = 0x40000006,          // the reading thread could not be started
        kErrorRead = 0x40000007,
        kErrorWrite = 0x40000008,
        kErrorCreateTwice = 0x40000009,
    };
    enum : DWORD {
        kOpenPipeA = 1,   // host to client
        kOpenPipeB = 2,   // client to host
    };
    static const DWORD kPipeBufferBytes = 64000;
    static const DWORD kReadChunkBytes = 4096;
    // The largest byte count a record may claim. The count arrives from another process, so
    // a record claiming more is refused as a failed read instead of being allocated; records
    // up to the pipe buffer size (and well beyond, for text payloads) are carried.
    static const DWORD kMaxRecordByteCount = 1024 * 1024;

    NamedPipe();
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    // Succeeds at most once per object.
    bool Create(const char* name, DWORD openFlags, bool isServer, NamedPipeCallback callback,
                void* userData);
    // Reads one whole record into pipeBuffer (one chunk per read call); bytesRead receives its
    // length, 20 + N.
    bool ReadPipe(PipeBuffer* pipeBuffer, DWORD* bytesRead);
    // One write call for all bytes.
    bool WritePipe(const void* bytes, DWORD length);
    // Closes the handles and lets the reading thread go; safe to call again.
    void Close();

    DWORD LastError() const { return m_dwLastError; }
    bool IsRegistered() const { return m_bRegistered; }
    bool IsThreadRunning() const { return m_bThreadRunning; }
    const std::string& FullName() const { return m_strFullName; }

    // Registration entries in the settings file, for the channel name given.
    static std::string PidProperty(const std::string& name);
    static std::string ReadHandleProperty(const std::string& name);
    static std::string WriteHandleProperty(const std::string& name);

private:
    struct ReaderLink;

    bool RegisterPipe();
    bool UpdateRegistration();
    bool RetreivePipe();
    bool CallBack();
    static DWORD WINAPI CallBackThread(void* parameter);
    // The reading itself, on any handle: the thread reads through its own duplicate.
    static bool ReadRecord(HANDLE handle, PipeBuffer* pipeBuffer, DWORD* bytesRead);
    void CloseMember(HANDLE& handle, const char* name);

    std::string m_strFullName;    // "NamedPipe." + name: prefix of the registration entries
    std::string m_strMutexName;   // ".namedpipe." + name
    std::atomic<DWORD> m_dwLastError{kErrorNone};
    std::string m_strName;
    DWORD m_dwOpenFlags = 0;
    bool m_bServer = false;
    NamedPipeCallback m_callback = nullptr;
    void* m_pUserData = nullptr;
    bool m_bCreated = false;
    bool m_bClosed = false;
    bool m_bRegistered = false;
    HANDLE m_hRead = nullptr;          // server: pipe B read end; client: pipe A read end
    HANDLE m_hWrite = nullptr;         // server: pipe A write end; client: pipe B write end
    HANDLE m_hClientRead = nullptr;    // server only: pipe A read end, published
    HANDLE m_hClientWrite = nullptr;   // server only: pipe B write end, published
    HANDLE m_hMutex = nullptr;         // server only: exists exactly while the host is alive
    HANDLE m_threadHandle = nullptr;
    // The reading thread's validity flag. It lives in a block shared with the thread, so that
    // neither side ever writes to memory the other has already let go.
    std::shared_ptr<ReaderLink> m_link;
    std::atomic<bool>* m_pbValidPtr = nullptr;
    std::atomic<bool> m_bValidThread{false};
    std::atomic<bool> m_bRunThread{true};
    std::atomic<bool> m_bThreadRunning{false};
};
