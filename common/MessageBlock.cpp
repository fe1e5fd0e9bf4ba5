#include "common/MessageBlock.h"

#include <cstdio>

namespace {

// The block's entry in the local atom table. Atom names are compared without case, which is
// harmless for hexadecimal addresses.
void BlockName(const void* block, char (&name)[40])
{
    std::snprintf(name, sizeof name, "WispMessageBlock:%p", block);
}

}  // namespace

void* AllocateMessageBlock(std::size_t size)
{
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
    if (!block)
        return nullptr;
    char name[40];
    BlockName(block, name);
    if (!AddAtomA(name)) {
        HeapFree(GetProcessHeap(), 0, block);
        return nullptr;
    }
    return block;
}

bool IsLiveMessageBlock(const void* block)
{
    if (!block)
        return false;
    char name[40];
    BlockName(block, name);
    return FindAtomA(name) != 0;
}

bool FreeMessageBlock(void* block)
{
    if (!block)
        return false;
    char name[40];
    BlockName(block, name);
    const ATOM atom = FindAtomA(name);
    if (!atom)
        return false;
    DeleteAtom(atom);
    HeapFree(GetProcessHeap(), 0, block);
    return true;
}
