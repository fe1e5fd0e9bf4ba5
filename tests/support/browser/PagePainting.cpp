#include "PagePainting.h"

#include <cwctype>
#include <string>

namespace standin {

namespace {

const int kMargin = 8;

bool ParseHexColour(const std::wstring& text, COLORREF& colour)
{
    std::size_t at = text.find(L'#');
    if (at == std::wstring::npos || at + 7 > text.size())
        return false;
    unsigned value = 0;
    for (std::size_t i = at + 1; i < at + 7; ++i) {
        if (!std::iswxdigit(text[i]))
            return false;
        const wchar_t c = static_cast<wchar_t>(std::towlower(text[i]));
        value = value * 16 + static_cast<unsigned>(c <= L'9' ? c - L'0' : c - L'a' + 10);
    }
    colour = RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    return true;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

COLORREF BodyBackground(const Node& root, COLORREF fallback)
{
    NodePtr body = BodyOf(root);
    if (!body)
        return fallback;
    COLORREF colour = fallback;
    if (const std::wstring* bgcolor = body->Attribute(L"bgcolor"))
        if (ParseHexColour(*bgcolor, colour))
            return colour;
    const std::wstring style = Lower(body->AttributeOr(L"style"));
    std::size_t at = style.find(L"background");
    if (at != std::wstring::npos) {
        std::size_t end = style.find(L';', at);
        if (ParseHexColour(style.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at), colour))
            return colour;
    }
    return fallback;
}

void PaintPage(HDC dc, const RECT& area, const Node& root)
{
    HBRUSH brush = CreateSolidBrush(BodyBackground(root, RGB(255, 255, 255)));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    NodePtr body = BodyOf(root);
    if (!body)
        return;
    std::wstring text = InnerText(*body);
    RECT inner = {area.left + kMargin, area.top + kMargin, area.right - kMargin, area.bottom - kMargin};
    HGDIOBJ previous = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inner, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
}

}  // namespace standin
