// Whether to offer the user to make this product the reader of feed addresses.
#pragma once

#include <windows.h>

class DefaultRSSReader {
public:
    enum Detection { kDetectNone = 1, kDetectAsk = 2 };

    // Only while the setting check_marigold_default_rss_reader is true. kDetectAsk: when this
    // product does not own the feed protocol, asks (owned by `owner`) whether it should, and
    // keeps the answer's "ask again" check box in that setting.
    static void DoDetect(int kind, HWND owner);
};
