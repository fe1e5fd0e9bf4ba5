// The base of every COM object the system implements: a reference count, QueryInterface answered
// from a table, and the module lock count that DllCanUnloadNow reads.
//
//   class Sink : public ComObject<Sink>, public IDispatch, public IOleClientSite {
//   public:
//       WISP_COM_INTERFACES(Sink, WISP_COM_ENTRY(IDispatch) WISP_COM_ENTRY(IOleClientSite))
//       WISP_IUNKNOWN_FORWARD()
//       ...
//   };
//   ComPtr<Sink> sink = MakeComObject<Sink>(args...);   // starts with one reference
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstddef>
#include <utility>

#include "common/com/ComPtr.h"

// Objects alive plus explicit locks (IClassFactory::LockServer) in this module.
class ModuleLock {
public:
    static void Lock() { Count().fetch_add(1); }
    static void Unlock() { Count().fetch_sub(1); }
    static long Current() { return Count().load(); }

private:
    static std::atomic<long>& Count()
    {
        static std::atomic<long> count{0};
        return count;
    }
};

struct ComInterfaceEntry {
    const IID* iid;
    std::ptrdiff_t offset;   // from the object to the interface's vtable pointer
};

// Offset of interface I inside class C, for the table (computed without an object).
template <class C, class I>
std::ptrdiff_t ComInterfaceOffset()
{
    alignas(C) static char probe[sizeof(C)];
    C* object = reinterpret_cast<C*>(probe);
    return reinterpret_cast<char*>(static_cast<I*>(object)) - reinterpret_cast<char*>(object);
}

template <class Derived>
class ComObject {
public:
    ComObject() { ModuleLock::Lock(); }
    virtual ~ComObject() { ModuleLock::Unlock(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG InternalAddRef() { return static_cast<ULONG>(++m_refs); }
    ULONG InternalRelease()
    {
        long refs = --m_refs;
        if (refs == 0) {
            // References taken and dropped while the destructor runs (a window message on the
            // way out) must not reach zero a second time.
            m_refs = kDestroying;
            delete static_cast<Derived*>(this);
        }
        return static_cast<ULONG>(refs);
    }
    HRESULT InternalQueryInterface(REFIID iid, void** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        const ComInterfaceEntry* table = Derived::InterfaceTable();
        if (!table[0].iid)
            return E_NOINTERFACE;
        char* base = reinterpret_cast<char*>(static_cast<Derived*>(this));
        // IUnknown is the first entry's face, as COM identity requires.
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = base + table[0].offset;
        } else {
            for (const ComInterfaceEntry* e = table; e->iid; ++e)
                if (IsEqualIID(iid, *e->iid)) {
                    *out = base + e->offset;
                    break;
                }
        }
        if (!*out)
            return E_NOINTERFACE;
        reinterpret_cast<IUnknown*>(*out)->AddRef();
        return S_OK;
    }
    // The object's identity, for callers inside the implementation.
    IUnknown* Identity()
    {
        return reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(static_cast<Derived*>(this)) +
                                           Derived::InterfaceTable()[0].offset);
    }

private:
    static const long kDestroying = 0x3FFFFFFF;
    std::atomic<long> m_refs{0};
};

#define WISP_COM_ENTRY_IID(iid, Interface) {&(iid), ComInterfaceOffset<ThisClass, Interface>()},
#define WISP_COM_ENTRY(Interface) WISP_COM_ENTRY_IID(IID_##Interface, Interface)
#define WISP_COM_INTERFACES(Class, entries)                          \
    using ThisClass = Class;                                         \
    static const ComInterfaceEntry* InterfaceTable()                 \
    {                                                                \
        static const ComInterfaceEntry table[] = {entries{nullptr, 0}}; \
        return table;                                                \
    }
#define WISP_IUNKNOWN_FORWARD()                                                                 \
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return InternalQueryInterface(iid, out); } \
    STDMETHODIMP_(ULONG) AddRef() override { return InternalAddRef(); }                          \
    STDMETHODIMP_(ULONG) Release() override { return InternalRelease(); }

// Creates an object with one reference, owned by the answer.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args)
{
    ComPtr<T> object;
    T* raw = new T(std::forward<Args>(args)...);
    raw->InternalAddRef();
    object.Attach(raw);
    return object;
}

// A class factory for T (default-constructible). Its own life does not lock the module:
// LockServer does, as the COM rules ask.
template <class T>
class ClassFactory final : public IClassFactory {
public:
    virtual ~ClassFactory() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        long refs = --m_refs;
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ComPtr<T> object = MakeComObject<T>();
        return object->InternalQueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            ModuleLock::Lock();
        else
            ModuleLock::Unlock();
        return S_OK;
    }

private:
    std::atomic<long> m_refs{0};
};
