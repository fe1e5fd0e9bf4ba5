#include "tests/support/FreedMemory.h"

#include <windows.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Plain storage only: nothing here may allocate, it runs inside operator delete.
std::atomic<DWORD> g_thread{0};
char g_narrow[256];
wchar_t g_wide[256];
std::size_t g_length = 0;
std::atomic<int> g_narrowHits{0};
std::atomic<int> g_wideHits{0};

bool Holds(const void* block, std::size_t size, const void* pattern, std::size_t length)
{
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t at = 0; at + length <= size; ++at)
        if (std::memcmp(bytes + at, pattern, length) == 0)
            return true;
    return false;
}

void Inspect(void* block)
{
    if (!block || g_thread.load() != GetCurrentThreadId())
        return;
    const std::size_t size = _msize(block);
    if (Holds(block, size, g_narrow, g_length))
        ++g_narrowHits;
    if (Holds(block, size, g_wide, g_length * sizeof(wchar_t)))
        ++g_wideHits;
}

void* Allocate(std::size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void Release(void* block)
{
    Inspect(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }

namespace testing_support {

FreedMemoryWatch::FreedMemoryWatch(const std::string& secret)
{
    g_length = secret.size() < sizeof g_narrow ? secret.size() : sizeof g_narrow - 1;
    for (std::size_t i = 0; i < g_length; ++i) {
        g_narrow[i] = secret[i];
        g_wide[i] = static_cast<unsigned char>(secret[i]);
    }
    g_narrowHits = 0;
    g_wideHits = 0;
    g_thread = GetCurrentThreadId();
}

FreedMemoryWatch::~FreedMemoryWatch()
{
    g_thread = 0;
}

int FreedMemoryWatch::NarrowHits() const
{
    return g_narrowHits.load();
}

int FreedMemoryWatch::WideHits() const
{
    return g_wideHits.load();
}

}  // namespace testing_support
