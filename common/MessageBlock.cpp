#include "common/MessageBlock.h"

#include <cstdint>
#include <cstdio>
#include <mutex>

namespace {

// In front of every block; 16 bytes keep the caller's part as aligned as the heap's blocks.
struct BlockHeader {
    UINT kind;
    UINT reserved;
    uint64_t size;
};
static_assert(sizeof(BlockHeader) == 16, "the header keeps blocks 16-byte aligned");

// A window queue holds at most 10,000 posted messages.
const int kMaxQueuedMessages = 10000;

// Looking up and deleting a post are two steps: one taker at a time within the module.
std::mutex g_lock;

BlockHeader* HeaderOf(const void* block)
{
    return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block))) - 1;
}

// The entries in the local atom table: one while the block lives, one while it is posted.
// Atom names are compared without case, which is harmless for hexadecimal numbers.
void LiveName(const void* block, char (&name)[64])
{
    std::snprintf(name, sizeof name, "WispMessageBlock:%p", block);
}

void PostedName(const void* block, UINT kind, char (&name)[64])
{
    std::snprintf(name, sizeof name, "WispPostedBlock:%p:%X", block, kind);
}

bool Listed(const char* name)
{
    return FindAtomA(name) != 0;
}

// Removes the post, if there is one; true for the one caller that removed it.
bool Unpost(const void* block, UINT kind)
{
    char name[64];
    PostedName(block, kind, name);
    std::lock_guard<std::mutex> guard(g_lock);
    const ATOM atom = FindAtomA(name);
    return atom && DeleteAtom(atom) == 0;
}

}  // namespace

void* AllocateMessageBlock(UINT kind, std::size_t size)
{
    if (size > SIZE_MAX - sizeof(BlockHeader))
        return nullptr;
    auto* header =
        static_cast<BlockHeader*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(BlockHeader) + (size ? size : 1)));
    if (!header)
        return nullptr;
    header->kind = kind;
    header->size = size;
    void* block = header + 1;
    char name[64];
    LiveName(block, name);
    if (!AddAtomA(name)) {
        HeapFree(GetProcessHeap(), 0, header);
        return nullptr;
    }
    return block;
}

bool IsLiveMessageBlock(const void* block)
{
    if (!block)
        return false;
    char name[64];
    LiveName(block, name);
    return Listed(name);
}

bool IsPostedMessageBlock(const void* block, UINT kind)
{
    if (!block)
        return false;
    char name[64];
    PostedName(block, kind, name);
    return Listed(name);
}

std::size_t MessageBlockSize(const void* block)
{
    return IsLiveMessageBlock(block) ? static_cast<std::size_t>(HeaderOf(block)->size) : 0;
}

UINT MessageBlockKind(const void* block)
{
    return IsLiveMessageBlock(block) ? HeaderOf(block)->kind : 0;
}

bool FreeMessageBlock(void* block)
{
    if (!block)
        return false;
    char name[64];
    LiveName(block, name);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const ATOM atom = FindAtomA(name);
        if (!atom)
            return false;
        // A post nobody took goes with its block: the address may be issued again.
        char posted[64];
        PostedName(block, HeaderOf(block)->kind, posted);
        if (const ATOM post = FindAtomA(posted))
            DeleteAtom(post);
        DeleteAtom(atom);
    }
    HeapFree(GetProcessHeap(), 0, HeaderOf(block));
    return true;
}

bool PostMessageBlock(HWND window, WPARAM wParam, void* block)
{
    if (!IsLiveMessageBlock(block))
        return false;
    const UINT kind = HeaderOf(block)->kind;
    char name[64];
    PostedName(block, kind, name);
    bool listed = false;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        // Posted twice, it would be taken twice.
        if (Listed(name))
            return false;
        listed = AddAtomA(name) != 0;
    }
    if (listed && PostMessageA(window, kind, wParam, reinterpret_cast<LPARAM>(block)))
        return true;
    const DWORD error = GetLastError();
    // A forged message naming the block may have taken it meanwhile: then it is the taker's.
    if (!listed || Unpost(block, kind))
        FreeMessageBlock(block);
    SetLastError(error);
    return false;
}

UniqueMessageBlock TakeMessageBlock(UINT kind, LPARAM lParam)
{
    void* block = reinterpret_cast<void*>(lParam);
    if (!block || !Unpost(block, kind))
        return UniqueMessageBlock();
    return UniqueMessageBlock(block);
}

void FreeQueuedMessageBlocks(HWND window, const UINT* kinds, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        MSG message;
        for (int n = 0; n < kMaxQueuedMessages &&
                        PeekMessageA(&message, window, kinds[i], kinds[i], PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE);
             ++n)
            TakeMessageBlock(kinds[i], message.lParam);
    }
}
