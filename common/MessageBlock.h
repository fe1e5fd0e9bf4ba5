// Heap blocks that travel in a window message's lParam from one thread (or module) of a process
// to the window that frees them. One process-wide heap, so the sender and the receiver may be
// different modules with their own runtime libraries.
#pragma once

#include <windows.h>

#include <cstddef>

// A zero-filled block of `size` bytes, or null.
inline void* AllocateMessageBlock(std::size_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}

inline void FreeMessageBlock(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}
