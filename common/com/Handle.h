// Owners of kernel handles, registry keys, GDI objects, menus and certificate objects.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <utility>

template <class Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;
    UniqueResource() = default;
    explicit UniqueResource(Type value) : m_value(value) {}
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    void Reset(Type value = Traits::Invalid())
    {
        if (Traits::Valid(m_value))
            Traits::Close(m_value);
        m_value = value;
    }
    Type Release()
    {
        Type value = m_value;
        m_value = Traits::Invalid();
        return value;
    }
    Type Get() const { return m_value; }
    Type* Put()
    {
        Reset();
        return &m_value;
    }
    explicit operator bool() const { return Traits::Valid(m_value); }

private:
    Type m_value = Traits::Invalid();
};

struct HandleTraits {   // events, mutexes, threads, processes, pipes
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits : HandleTraits {   // CreateFile answers INVALID_HANDLE_VALUE
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { RegCloseKey(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { DeleteObject(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};

struct MenuTraits {   // destroying a menu also destroys the submenus attached to it
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { DestroyMenu(h); }
};

struct InternetHandleTraits {   // WinINet sessions, connections and requests
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { InternetCloseHandle(h); }
};

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { CertCloseStore(h, 0); }
};

struct CryptMsgTraits {
    using Type = HCRYPTMSG;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { CryptMsgClose(h); }
};

struct CertContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { CertFreeCertificateContext(h); }
};

struct CertChainTraits {
    using Type = PCCERT_CHAIN_CONTEXT;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { CertFreeCertificateChain(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueHKey = UniqueResource<RegKeyTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueInternet = UniqueResource<InternetHandleTraits>;
using UniqueMenu = UniqueResource<MenuTraits>;
using UniqueCertStore = UniqueResource<CertStoreTraits>;
using UniqueCryptMsg = UniqueResource<CryptMsgTraits>;
using UniqueCertContext = UniqueResource<CertContextTraits>;
using UniqueCertChain = UniqueResource<CertChainTraits>;

// Holds a mutex acquired elsewhere and releases it when it goes.
class MutexRelease {
public:
    explicit MutexRelease(HANDLE mutex) : m_mutex(mutex) {}
    ~MutexRelease()
    {
        if (m_mutex)
            ReleaseMutex(m_mutex);
    }
    MutexRelease(const MutexRelease&) = delete;
    MutexRelease& operator=(const MutexRelease&) = delete;

private:
    HANDLE m_mutex;
};
