// Heap blocks that travel in a window message's lParam from one thread (or module) of a process
// to the window that frees them. One process-wide heap, so the sender and the receiver may be
// different modules with their own runtime libraries.
//
// Any process on the desktop can post a message with a made-up lParam, and any thread of this
// one may still be filling a block it has not posted yet. So a block carries its kind (the
// message it travels with: 0x040C an HTTP result, 0x040B a mail snapshot, 0x0436 a
// verification record, ...) and a handler takes only a block of its own message's kind that
// was posted and not yet taken, once. The blocks and their posts are listed in the process's
// local atom table: every module of the process shares it, no other process can reach it, and
// looking a pointer up never touches the memory it names.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

// A zero-filled, listed block of `size` bytes of the given kind, or null.
void* AllocateMessageBlock(UINT kind, std::size_t size);

// True for a block AllocateMessageBlock issued that has not been freed since.
bool IsLiveMessageBlock(const void* block);
// True for a live block of this kind that is posted and not yet taken.
bool IsPostedMessageBlock(const void* block, UINT kind);

// The holder's view of its block; 0 for anything that is not a live block.
std::size_t MessageBlockSize(const void* block);
UINT MessageBlockKind(const void* block);

// Frees a live block and answers true; anything else (null, a forged or an already freed
// pointer) is left alone and answers false.
bool FreeMessageBlock(void* block);

struct MessageBlockFree {
    void operator()(void* block) const { FreeMessageBlock(block); }
};
// The receiver's hold on a block: freed on every path out of its handler.
using UniqueMessageBlock = std::unique_ptr<void, MessageBlockFree>;

// Posts the block as the lParam of its kind's message. From then on the receiver owns it; a
// block that could not be posted is freed here (false). A block posted already and not taken
// since is left as it is (false): it would be taken twice.
bool PostMessageBlock(HWND window, WPARAM wParam, void* block);

// What a handler of message `kind` does with its lParam: the block when it is a posted block
// of that kind, taken out of the post so that nobody takes it again; otherwise null and the
// memory is not touched.
UniqueMessageBlock TakeMessageBlock(UINT kind, LPARAM lParam);

// Frees the blocks of these kinds still queued for a window that goes (a window's queued
// messages are dropped with it).
void FreeQueuedMessageBlocks(HWND window, const UINT* kinds, std::size_t count);
