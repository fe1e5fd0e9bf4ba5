// Heap blocks that travel in a window message's lParam from one thread (or module) of a process
// to the window that frees them. One process-wide heap, so the sender and the receiver may be
// different modules with their own runtime libraries.
//
// Any process on the desktop can post a message with a made-up lParam, so a receiver takes
// only a block that this process issued and nobody has freed yet. The live blocks are listed in
// the process's local atom table: every module of the process shares it, no other process can
// reach it, and looking a pointer up never touches the memory it names.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

// A zero-filled, listed block of `size` bytes, or null.
void* AllocateMessageBlock(std::size_t size);

// True for a block AllocateMessageBlock issued that has not been freed since.
bool IsLiveMessageBlock(const void* block);

// Frees a live block and answers true; anything else (null, a forged or an already freed
// pointer) is left alone and answers false.
bool FreeMessageBlock(void* block);

struct MessageBlockFree {
    void operator()(void* block) const { FreeMessageBlock(block); }
};
// The receiver's hold on a block: freed on every path out of its handler.
using UniqueMessageBlock = std::unique_ptr<void, MessageBlockFree>;
