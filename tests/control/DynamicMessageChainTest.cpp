// The chain through which pop-ups and balloons see the messages of the control's window.
#include "Wisp/control/DynamicMessageChain.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

class Target : public MessageMapTarget {
public:
    Target(std::vector<int>& log, int id, bool handles) : m_log(log), m_id(id), m_handles(handles) {}
    bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD mapId) override
    {
        m_log.push_back(m_id * 100 + static_cast<int>(mapId));
        if (onMessage)
            onMessage();
        if (m_handles)
            result = m_id;
        return m_handles && message != 0;
    }
    std::function<void()> onMessage;

private:
    std::vector<int>& m_log;
    int m_id;
    bool m_handles;
};

TEST(DynamicMessageChain, OffersInRegistrationOrderUntilOneHandles)
{
    std::vector<int> log;
    Target first(log, 1, false), second(log, 2, true), third(log, 3, true);
    DynamicMessageChain chain;
    chain.Add(&first, 1);
    chain.Add(&second, 1);
    chain.Add(&third, 1);
    chain.Add(&first, 7);   // re-adding changes the map, not the order
    EXPECT_EQ(3u, chain.Size());

    LRESULT result = 0;
    EXPECT_TRUE(chain.Offer(nullptr, WM_USER, 0, 0, result));
    EXPECT_EQ(2, result);
    EXPECT_EQ((std::vector<int>{107, 201}), log);

    log.clear();
    EXPECT_TRUE(chain.Remove(&second));
    EXPECT_FALSE(chain.Remove(&second));
    EXPECT_TRUE(chain.Offer(nullptr, WM_USER, 0, 0, result));
    EXPECT_EQ((std::vector<int>{107, 301}), log);

    log.clear();
    EXPECT_FALSE(chain.Offer(nullptr, 0, 0, 0, result));   // nobody handles message 0
    EXPECT_EQ((std::vector<int>{107, 301}), log);
}

TEST(DynamicMessageChain, ATargetRemovingAnotherWhileOfferedIsSafe)
{
    std::vector<int> log;
    DynamicMessageChain chain;
    Target first(log, 1, false), second(log, 2, true);
    first.onMessage = [&] { chain.Remove(&second); chain.Remove(&first); };
    chain.Add(&first, 0);
    chain.Add(&second, 0);
    LRESULT result = 0;
    EXPECT_FALSE(chain.Offer(nullptr, WM_USER, 0, 0, result));
    EXPECT_EQ((std::vector<int>{100}), log);
    EXPECT_EQ(0u, chain.Size());
}

}  // namespace
