// The container's forwarding of the browser's UI-handler calls to an external dispatch handler.
#include "common/axhost/AxHost.h"

#include "common/com/ComObject.h"

#include <gtest/gtest.h>

namespace {

class Handler : public ComObject<Handler>, public IDocHostUIHandlerDispatch {
public:
    WISP_COM_INTERFACES(Handler, WISP_COM_ENTRY(IDocHostUIHandlerDispatch))
    WISP_IUNKNOWN_FORWARD()
    DWORD lastId = 0, lastX = 0, lastY = 0;
    ComPtr<IDispatch> external;

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    // The control's rule: kind 2 keeps the default menu, every other kind is "shown" (none).
    STDMETHODIMP ShowContextMenu(DWORD id, DWORD x, DWORD y, IUnknown*, IDispatch*, HRESULT* result) override
    {
        lastId = id;
        lastX = x;
        lastY = y;
        if (id == 2)
            return E_NOTIMPL;
        *result = S_OK;
        return S_OK;
    }
    STDMETHODIMP GetHostInfo(DWORD* flags, DWORD*) override
    {
        *flags = 0x1234;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IUnknown*, IUnknown*, IUnknown*, IUnknown*, HRESULT*) override { return E_NOTIMPL; }
    STDMETHODIMP HideUI() override { return E_NOTIMPL; }
    STDMETHODIMP UpdateUI() override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnDocWindowActivate(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFrameWindowActivate(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP ResizeBorder(long, long, long, long, IUnknown*, VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(DWORD_PTR, DWORD, DWORD_PTR, DWORD_PTR, BSTR, DWORD, HRESULT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetOptionKeyPath(BSTR*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDropTarget(IUnknown*, IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExternal(IDispatch** out) override { return external.CopyTo(out); }
    STDMETHODIMP TranslateUrl(DWORD, BSTR, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP FilterDataObject(IUnknown*, IUnknown**) override { return E_NOTIMPL; }
};

class AxHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        ASSERT_TRUE(AxHost::RegisterWindowClass());
        m_window = CreateWindowExA(0, AxHost::kWindowClass, "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(nullptr, m_window);
        m_host = AxHost::FromWindow(m_window);
        ASSERT_NE(nullptr, m_host);
    }
    void TearDown() override
    {
        if (m_window)
            DestroyWindow(m_window);
        OleUninitialize();
    }
    IDocHostUIHandler* UiHandler()
    {
        IDocHostUIHandler* handler = nullptr;
        m_host->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler));
        if (handler)
            handler->Release();   // the window keeps the container alive
        return handler;
    }
    HWND m_window = nullptr;
    AxHost* m_host = nullptr;
};

TEST_F(AxHostTest, ContextMenusFollowTheExternalHandlersAnswer)
{
    IDocHostUIHandler* ui = UiHandler();
    ASSERT_NE(nullptr, ui);
    POINT at = {12, 34};
    // No handler: the browser shows its own menu.
    EXPECT_EQ(S_FALSE, ui->ShowContextMenu(0, &at, nullptr, nullptr));

    ComPtr<Handler> handler = MakeComObject<Handler>();
    ASSERT_EQ(S_OK, m_host->SetExternalUIHandler(handler.Get()));
    EXPECT_EQ(S_FALSE, ui->ShowContextMenu(2, &at, nullptr, nullptr));   // default menu kept
    EXPECT_EQ(2u, handler->lastId);
    EXPECT_EQ(12u, handler->lastX);
    EXPECT_EQ(34u, handler->lastY);
    EXPECT_EQ(S_OK, ui->ShowContextMenu(0, &at, nullptr, nullptr));    // shown as nothing
    EXPECT_EQ(S_OK, ui->ShowContextMenu(4, &at, nullptr, nullptr));
    m_host->SetExternalUIHandler(nullptr);   // the host only borrows it
}

TEST_F(AxHostTest, ExternalAndHostInfoComeFromTheHandlerWhenSet)
{
    IDocHostUIHandler* ui = UiHandler();
    ASSERT_NE(nullptr, ui);
    DOCHOSTUIINFO info = {sizeof info};
    ASSERT_EQ(S_OK, ui->GetHostInfo(&info));
    EXPECT_EQ(static_cast<DWORD>(DOCHOSTUIFLAG_NO3DBORDER), info.dwFlags);

    IDispatch* external = nullptr;
    EXPECT_EQ(E_NOINTERFACE, ui->GetExternal(&external));
    ComPtr<Handler> other = MakeComObject<Handler>();
    m_host->SetExternalDispatch(other.Get());
    ASSERT_EQ(S_OK, ui->GetExternal(&external));
    EXPECT_EQ(static_cast<IDispatch*>(other.Get()), external);
    external->Release();

    ComPtr<Handler> handler = MakeComObject<Handler>();
    handler->external = ComPtr<IDispatch>(static_cast<IDispatch*>(handler.Get()));
    m_host->SetExternalUIHandler(handler.Get());
    ASSERT_EQ(S_OK, ui->GetExternal(&external));
    EXPECT_EQ(static_cast<IDispatch*>(handler.Get()), external);
    external->Release();
    ASSERT_EQ(S_OK, ui->GetHostInfo(&info));
    EXPECT_EQ(0x1234u, info.dwFlags);
    handler->external = nullptr;
    m_host->SetExternalUIHandler(nullptr);
}

TEST_F(AxHostTest, RefusesNamesThatCreateNothing)
{
    EXPECT_EQ(E_INVALIDARG, m_host->CreateControl(nullptr));
    EXPECT_EQ(E_INVALIDARG, m_host->CreateControl(L""));
    EXPECT_TRUE(FAILED(m_host->CreateControl(L"{00000000-0000-0000-0000-000000000001}")));
    EXPECT_EQ(nullptr, m_host->Control());
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_FAIL, m_host->QueryControl(IID_IUnknown, &none));
    EXPECT_EQ(nullptr, none);
}

}  // namespace
