// Menu files: every kept text within its 259-byte bound, nesting within its limit and no more
// items than tags. (The 25 slots are the menu set's, a Windows class the Wine suite covers.)
#include "Wisp/windows/MenuFile.h"
#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

const std::size_t kBound = 259;   // 260 bytes with the terminator

std::size_t CheckItems(const std::vector<MenuFileItem>& items, int depth)
{
    // The top menu's items are at depth 1; no items deeper than the limit.
    FUZZ_CHECK(items.empty() || depth <= MenuFile::kMaxNesting);
    std::size_t count = 0;
    for (const MenuFileItem& item : items) {
        FUZZ_CHECK(item.text.size() <= kBound && item.icon.size() <= kBound);
        FUZZ_CHECK(item.enabledSource.size() <= kBound && item.checkedSource.size() <= kBound);
        FUZZ_CHECK(item.hasSubmenu || item.submenu.empty());
        std::string name;
        if (MenuFile::CallbackName(item.text, name))
            FUZZ_CHECK(name.size() <= kBound);
        count += 1 + CheckItems(item.submenu, depth + 1);
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static_assert(MenuFile::kMaxAttributeLength == kBound, "labels are kept to 259 bytes");
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    std::vector<MenuFileItem> items;
    const bool read = MenuFile::Read(text.data(), items);
    FUZZ_CHECK(read || items.empty());
    const std::size_t tags = static_cast<std::size_t>(std::count(data, data + size, '<'));
    FUZZ_CHECK(CheckItems(items, 1) <= tags);
    return 0;
}
