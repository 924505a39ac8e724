// The Windows test chain itself: a MinGW executable under Wine, with a real
// window and message loop, and the portable logic linked in.
#include <windows.h>

#include <gtest/gtest.h>

#include "boxlink/box_frames.h"

TEST(WineChain, RegistersAWindowClassAndPumpsAPostedMessage) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "BridgeWineSmoke";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "BridgeWineSmoke", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 42, 0));
    MSG message;
    ASSERT_GT(GetMessageA(&message, window, 0, 0), 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(message.wParam, 42u);
    DestroyWindow(window);
}

TEST(WineChain, PortableFrameBuilderRunsOnWindows) {
    const std::uint8_t body[] = {0x61, 0x62, 0x63};
    const auto check = bridge::ComputeCheckBytes(body);
    EXPECT_EQ(check.sum, 0x26);
    EXPECT_EQ(check.xorByte, 0x60);
}
