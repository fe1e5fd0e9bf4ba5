// A speech balloon showing an HTML page in a nested Wisp.WispControl: a rounded body with a
// tail pointing at an anchor point, fading in once its page has loaded, outlined in black,
// closing itself after its lifetime with a fade-out, and able to follow a tracking window.
//
// Lifetime: allocate with new; the object deletes itself with its window (final message). A
// CreateWispBalloonWindow call answering null has already deleted the object.
#pragma once

#include <windows.h>

#include <vector>

#include "common/com/ComPtr.h"
#include "Wisp/windows/HostedPageWindow.h"

class CWispBalloonWindow : public HostedPageWindow {
public:
    static const char kWindowClass[];   // "WispBalloonWindow"

    enum Timer : UINT_PTR {
        kFadeInTimer = 1066,    // 33 ms
        kFadeOutTimer = 1067,   // 33 ms
        kLifetimeTimer = 1070,  // 1000 ms
    };
    static const int kTailHeight = 16;
    static const int kCornerRadius = 12;

    // Where the balloon lies against its anchor; the tail points from the named edge end.
    enum TailPosition { kAboveLeft = 0, kAboveRight = 1, kBelowRight = 2, kBelowLeft = 3 };
    // The balloon's rectangle for an anchor and size: the first of the four positions that
    // lies inside `bounds`, else kBelowLeft.
    static TailPosition Place(int x, int y, int width, int height, const RECT& bounds, RECT& rect);

    explicit CWispBalloonWindow(DynamicMessageChain* ownerChain = nullptr)
        : HostedPageWindow("CWispBalloonWindow", ownerChain)
    {
    }
    ~CWispBalloonWindow() override;
    CWispBalloonWindow(const CWispBalloonWindow&) = delete;
    CWispBalloonWindow& operator=(const CWispBalloonWindow&) = delete;

    // (x, y): the anchor in screen coordinates. Answers the window, or null.
    HWND CreateWispBalloonWindow(const char* url, int x, int y, int width, int height, int lifetimeSeconds,
                                 HWND hWndParent);
    // Keeps the creating control (owner of the chain) alive as long as this window.
    void SetCreator(IUnknown* control) { m_creatorReference = ComPtr<IUnknown>(control); }
    void SetTrackingWindow(HWND window) { m_hWndTrackingWindow = window; }

    void SetAlpha(int alpha);
    void StartFadeOut();
    void DrawBorder();


    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                              DWORD mapId) override;

private:
    template <class Window>
    friend LRESULT SelfDeletingWindowProc(HWND, UINT, WPARAM, LPARAM, const char*);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void OnTimer(UINT_PTR id);
    LRESULT OnDocumentComplete();
    void BuildShape(const RECT& rect, TailPosition tail);

    int m_alpha = 0;
    int m_lifetimeSeconds = 0;
    DWORD m_fadeInStart = 0;
    DWORD m_fadeOutStart = 0;
    HWND m_hWndOwner = nullptr;
    std::vector<POINT> m_outlinePoints;
    std::vector<BYTE> m_outlineTypes;
    HWND m_hWndTrackingWindow = nullptr;
    int m_trackingOffsetX = 0;
    int m_trackingOffsetY = 0;

    ComPtr<IUnknown> m_creatorReference;
};
