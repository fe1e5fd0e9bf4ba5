// What the stand-in shows of a page: its body's visible text, plain and wrapped, in the default
// GUI font, on the body's background colour (bgcolor, or a #rrggbb background in its style),
// else white. No layout beyond that: enough for a screenshot to tell the pages apart.
#pragma once

#include <windows.h>

#include "HtmlTree.h"

namespace standin {

// The body's background colour; `fallback` when it sets none this reader understands.
COLORREF BodyBackground(const Node& root, COLORREF fallback);
void PaintPage(HDC dc, const RECT& area, const Node& root);

}  // namespace standin
