// Host and screen-saver messaging with real windows: a stand-in host window and screen-saver
// window on threads of their own, found by class and title as the real ones are.
#include "RecorderWindow.h"

#include "common/HostMessages.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const LRESULT kHostAnswer = 0x10000;
const LRESULT kRelayAnswer = 0x20000;

std::string Record(uint32_t message, uint32_t wParam, uint32_t lParam, const std::string& payload)
{
    std::string bytes(16, '\0');
    std::memcpy(&bytes[0], &message, 4);
    std::memcpy(&bytes[4], &wParam, 4);
    std::memcpy(&bytes[8], &lParam, 4);
    const uint32_t size = static_cast<uint32_t>(payload.size());
    std::memcpy(&bytes[12], &size, 4);
    return bytes + payload + std::string(4, '\0');
}

class RoutingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(nullptr, QDUtilities::FindApplicationWindow()) << "a host window is already open";
        ASSERT_EQ(nullptr, QDUtilities::FindScreenSaverWindow()) << "a screen saver is already open";
        QDUtilities::SetThisApplicationWND(nullptr);
    }
    void TearDown() override { QDUtilities::SetThisApplicationWND(nullptr); }

    std::unique_ptr<RecorderWindow> OpenHost()
    {
        std::unique_ptr<RecorderWindow> host(new RecorderWindow(
            HOST_WINDOW_CLASS, HOST_WINDOW_TITLE, kHostAnswer));
        EXPECT_EQ(host->Handle(), QDUtilities::FindApplicationWindow());
        return host;
    }
    std::unique_ptr<RecorderWindow> OpenScreenSaver()
    {
        std::unique_ptr<RecorderWindow> saver(new RecorderWindow(
            SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE));
        EXPECT_EQ(saver->Handle(), QDUtilities::FindScreenSaverWindow());
        return saver;
    }
    // The relay window the page names with "SetAppHWnd".
    std::unique_ptr<RecorderWindow> OpenRelay()
    {
        std::unique_ptr<RecorderWindow> relay(
            new RecorderWindow("WispTestRelayWindow", "relay", kRelayAnswer));
        QDUtilities::SetThisApplicationWND(relay->Handle());
        return relay;
    }
    static std::vector<ReceivedMessage> Drain(RecorderWindow& window) { return window.Drain(); }
};

TEST_F(RoutingTest, NobodyToTalkToGivesZeroAndFalse)
{
    EXPECT_EQ(0, QDUtilities::SendApplicationMessage(0x403, 1, 2));
    EXPECT_FALSE(QDUtilities::PostApplicationMessage(0x403, 1, 2));
    EXPECT_FALSE(QDUtilities::PostScreenSaverMessage(RM_EXIT_SCREENSAVER, 0, 0));
    EXPECT_EQ(0, QDUtilities::SendDataMessage(RM_ON_NAVIGATE, 3, "ab"));
}

TEST_F(RoutingTest, WithoutApplicationWindowTheHostIsMessagedDirectly)
{
    auto host = OpenHost();
    EXPECT_EQ(kHostAnswer + 0x403, QDUtilities::SendApplicationMessage(0x403, 7, 9));
    EXPECT_TRUE(QDUtilities::PostApplicationMessage(RM_EXIT, 3, 4));
    const std::vector<ReceivedMessage> got = Drain(*host);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(0x403u, got[0].message);
    EXPECT_EQ(7u, got[0].wParam);
    EXPECT_EQ(9, got[0].lParam);
    EXPECT_EQ(RM_EXIT, got[1].message);
    EXPECT_EQ(3u, got[1].wParam);
    EXPECT_EQ(4, got[1].lParam);
}

TEST_F(RoutingTest, WithApplicationWindowASendArrivesAsA20ByteRecord)
{
    auto host = OpenHost();
    auto relay = OpenRelay();
    EXPECT_EQ(kRelayAnswer + RM_NOTIFY_MOTHERSHIP, QDUtilities::SendApplicationMessage(0x403, 7, 0));
    const std::vector<ReceivedMessage> got = Drain(*relay);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(RM_NOTIFY_MOTHERSHIP, got[0].message);
    EXPECT_EQ(20u, got[0].wParam);
    EXPECT_EQ(Record(0x403, 7, 0, ""), got[0].bytes);
    // The host itself heard nothing.
    EXPECT_TRUE(Drain(*host).empty());
    // Posting still goes to the host found by class and title.
    EXPECT_TRUE(QDUtilities::PostApplicationMessage(RM_EXIT, 0, 0));
    EXPECT_EQ(1u, Drain(*host).size());
}

TEST_F(RoutingTest, DataWithoutApplicationWindowIsCopyData)
{
    auto host = OpenHost();
    const char text[] = "hello";
    EXPECT_EQ(kHostAnswer + WM_COPYDATA, QDUtilities::SendDataMessage(0x437, 6, text));
    const std::vector<ReceivedMessage> got = Drain(*host);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(static_cast<UINT>(WM_COPYDATA), got[0].message);
    EXPECT_EQ(0u, got[0].wParam);
    EXPECT_EQ(0x437u, got[0].dwData);
    EXPECT_EQ(std::string("hello", 6), got[0].bytes);
}

TEST_F(RoutingTest, DataWithApplicationWindowIsARecordWithItsPayload)
{
    auto relay = OpenRelay();
    const char text[] = "hello";
    QDUtilities::SendDataMessage(0x437, 6, text);
    // A text without its terminator still arrives terminated.
    QDUtilities::SendDataMessage(RM_LOG_USAGE_DATA, 3, "abc");
    const std::vector<ReceivedMessage> got = Drain(*relay);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(RM_NOTIFY_MOTHERSHIP, got[0].message);
    EXPECT_EQ(26u, got[0].wParam);
    EXPECT_EQ(Record(0x437, 0, 0, std::string("hello", 6)), got[0].bytes);
    EXPECT_EQ(23u, got[1].wParam);
    EXPECT_STREQ("abc", got[1].bytes.c_str() + 16);
}

TEST_F(RoutingTest, ClientNotificationsCarryAnInnerRecord)
{
    auto host = OpenHost();
    QDUtilities::NotifyClientsRecord(RM_HEADLINE_SETTING_CHANGED, 5, 6, 0, nullptr);
    const char name[] = "headline_transition_mode";
    QDUtilities::NotifyClientsRecord(RM_HEADLINE_SETTING_CHANGED, 5, 6, sizeof name, name);
    QDUtilities::NotifyTopClientRecord(0x450, 1, 2, 0, nullptr);
    const std::vector<ReceivedMessage> got = Drain(*host);
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(RM_NOTIFY_CLIENTS, got[0].dwData);
    EXPECT_EQ(Record(RM_HEADLINE_SETTING_CHANGED, 5, 6, ""), got[0].bytes);
    // With a payload, lParam is not carried.
    EXPECT_EQ(RM_NOTIFY_CLIENTS, got[1].dwData);
    EXPECT_EQ(Record(RM_HEADLINE_SETTING_CHANGED, 5, 0, std::string(name, sizeof name)), got[1].bytes);
    EXPECT_EQ(RM_NOTIFY_TOP_CLIENT, got[2].dwData);
    EXPECT_EQ(Record(0x450, 1, 2, ""), got[2].bytes);

    // Through the relay window the inner record is the payload of the outer one.
    auto relay = OpenRelay();
    QDUtilities::NotifyTopClientRecord(0x450, 1, 2, 0, nullptr);
    const std::vector<ReceivedMessage> relayed = Drain(*relay);
    ASSERT_EQ(1u, relayed.size());
    EXPECT_EQ(Record(RM_NOTIFY_TOP_CLIENT, 0, 0, Record(0x450, 1, 2, "")), relayed[0].bytes);
}

TEST_F(RoutingTest, ScreenSaverMessagesGoToTheSaverOrAreForwardedThroughTheHost)
{
    auto host = OpenHost();
    EXPECT_TRUE(QDUtilities::PostScreenSaverMessage(0x411, 0, 1));
    std::vector<ReceivedMessage> got = Drain(*host);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(RM_RELAY_TO_SCREENSAVER, got[0].message);
    EXPECT_EQ(0x411u, got[0].wParam);
    EXPECT_EQ(1, got[0].lParam);

    // The message's own wParam is not forwarded.
    EXPECT_TRUE(QDUtilities::PostScreenSaverMessage(RM_EXIT_SCREENSAVER_IMMEDIATE, 9, 1));
    got = Drain(*host);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(RM_EXIT_SCREENSAVER_IMMEDIATE, got[0].wParam);

    auto saver = OpenScreenSaver();
    EXPECT_TRUE(QDUtilities::PostScreenSaverMessage(RM_EXIT_SCREENSAVER_IMMEDIATE, 9, 1));
    got = Drain(*saver);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(RM_EXIT_SCREENSAVER_IMMEDIATE, got[0].message);
    EXPECT_EQ(9u, got[0].wParam);
    EXPECT_EQ(1, got[0].lParam);
    EXPECT_TRUE(Drain(*host).empty());
    EXPECT_TRUE(QDUtilities::SSIsRunning());
}

TEST_F(RoutingTest, SameProcessDataPostHandsOverAHeapCopy)
{
    RecorderWindow window("WispTestDataWindow", "data");
    EXPECT_EQ(ERROR_INVALID_PARAMETER, QDUtilities::PostDataMessageSameProcessOnly(
                                           window.Handle(), RecorderWindow::kDataPost, 1, "x", 0));
    EXPECT_TRUE(Drain(window).empty());

    std::string block("\x01\x00\x00\x00payload", 11);
    EXPECT_EQ(0u, QDUtilities::PostDataMessageSameProcessOnly(window.Handle(), RecorderWindow::kDataPost,
                                                              42, block.data(), block.size()));
    block.assign(block.size(), '#');   // the receiver has its own copy
    const std::vector<ReceivedMessage> got = Drain(window);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(42u, got[0].wParam);
    EXPECT_EQ(11u, got[0].heapBlockSize);
    EXPECT_EQ(std::string("\x01\x00\x00\x00payload", 11), got[0].bytes);

    // From another thread too.
    std::thread worker([&] {
        QDUtilities::PostDataMessageSameProcessOnly(window.Handle(), RecorderWindow::kDataPost, 43,
                                                    "t", 2);
    });
    worker.join();
    ASSERT_EQ(1u, Drain(window).size());

    // A window that cannot receive it: the failure is reported and the copy not leaked.
    HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                nullptr);
    DestroyWindow(gone);
    EXPECT_NE(0u, QDUtilities::PostDataMessageSameProcessOnly(gone, RecorderWindow::kDataPost, 1,
                                                              "x", 1));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, QDUtilities::PostDataMessageSameProcessOnly(
                                           window.Handle(), RecorderWindow::kDataPost, 1, nullptr, 4));
}

TEST_F(RoutingTest, RecordHelpersRefuseShortOrOverlongRecords)
{
    QDCopyDataRecord record(1, 2, 3, "abc", 3);
    EXPECT_EQ(23u, record.Size());
    EXPECT_EQ(record.Record(), QDCopyDataFromBytes(record.Bytes(), record.Size()));
    EXPECT_EQ(nullptr, QDCopyDataFromBytes(record.Bytes(), record.Size() - 1));
    EXPECT_EQ(nullptr, QDCopyDataFromBytes(record.Bytes(), 19));
    EXPECT_EQ(nullptr, QDCopyDataFromBytes(nullptr, 40));
    QDCopyDataRecord plain(1, 2, 3);
    EXPECT_EQ(20u, plain.Size());
    EXPECT_EQ(0u, plain.Record()->cbData);
    // Every byte is defined: head, payload, then the four zeros.
    const uint8_t expected[] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0,
                                'a', 'b', 'c', 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(expected, expected + sizeof expected),
              std::vector<uint8_t>(record.Bytes(), record.Bytes() + record.Size()));
    EXPECT_EQ(std::vector<uint8_t>({1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
              std::vector<uint8_t>(plain.Bytes(), plain.Bytes() + plain.Size()));
    QDCopyDataRecord nothing(7, 0, 0, nullptr, 5);   // a count without bytes carries none
    EXPECT_EQ(20u, nothing.Size());
    EXPECT_EQ(0u, nothing.Record()->cbData);
}

TEST_F(RoutingTest, WindowFunctionsLookedUpAtRunTime)
{
    RecorderWindow window("WispTestLayered", "layered");
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, window.Handle(), nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(window.Handle(), QDUtilities::GetAncestorDyn(child, GA_ROOT));
    EXPECT_EQ(window.Handle(), QDUtilities::GetAncestorDyn(child, GA_ROOTOWNER));
    DestroyWindow(child);

    SetWindowLongPtrA(window.Handle(), GWL_EXSTYLE,
                      GetWindowLongPtrA(window.Handle(), GWL_EXSTYLE) | WS_EX_LAYERED);
    EXPECT_TRUE(QDUtilities::SetLayeredWindowAttributesDyn(window.Handle(), 0, 128, LWA_ALPHA));
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(window.Handle(), nullptr, &alpha, &flags));
    EXPECT_EQ(128, alpha);
}

}  // namespace
