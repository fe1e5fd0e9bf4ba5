// A real top-level window of a chosen class and title on a thread of its own, recording the
// messages it receives, with copies of the payloads they point to.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ReceivedMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    ULONG_PTR dwData = 0;    // WM_COPYDATA
    std::string bytes;       // WM_COPYDATA data, a record's bytes, or a posted heap block
    SIZE_T heapBlockSize = 0;
};

class RecorderWindow {
public:
    // Messages numbered dataPost carry a process-heap block in lParam: it is copied and freed.
    static const UINT kDataPost = WM_USER + 500;
    static const UINT kSentinel = WM_USER + 999;

    RecorderWindow(const char* className, const char* title, LRESULT answer = 0);
    ~RecorderWindow();
    RecorderWindow(const RecorderWindow&) = delete;
    RecorderWindow& operator=(const RecorderWindow&) = delete;

    HWND Handle() const { return m_window; }
    // Posts a sentinel and waits for it, so that every message posted before has arrived;
    // then hands over (and forgets) what arrived since the last call, sentinels left out.
    std::vector<ReceivedMessage> Drain(DWORD milliseconds = 5000);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(std::string className, std::string title);

    LRESULT m_answer;
    HWND m_window = nullptr;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_ready = false;
    std::vector<ReceivedMessage> m_messages;
    int m_sentinelsPosted = 0;
    int m_sentinelsSeen = 0;
};
