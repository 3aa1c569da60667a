// Message boxes: the test hook sees exact texts in order; without a hook and without a person to answer, caption
// and text go to standard error and the call returns IDOK at once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/MessageBoxHook.h"
#include "platform/win32/Win32.h"

namespace {

TEST(MessageBoxTest, HookReceivesEveryBoxInOrderAndChoosesTheResult) {
    struct Box {
        HWND owner;
        std::string text, caption;
        UINT type;
    };
    std::vector<Box> boxes;
    auto previous = tarn::platform::SetMessageBoxHook([&](HWND owner, const char* text, const char* caption, UINT type) {
        boxes.push_back({owner, text, caption, type});
        return IDCANCEL;
    });
    EXPECT_EQ(MessageBoxA(nullptr, "Renderer Initialize() Fail!", "Error", MB_OK), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Keyset does not exist\r\n", "Error", MB_ICONINFORMATION), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "\xEC\x8B\xA4\xED\x8C\xA8\n", nullptr, MB_OK), IDCANCEL);  // UTF-8 passes as is
    tarn::platform::SetMessageBoxHook(previous);

    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Renderer Initialize() Fail!");
    EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(boxes[2].text, "\xEC\x8B\xA4\xED\x8C\xA8\n");
    EXPECT_EQ(boxes[2].caption, "Error");  // no caption means "Error"
}

TEST(MessageBoxTest, WithoutAPersonToAnswerTheBoxGoesToStandardError) {
    setenv("TARN_MESSAGEBOX", "stderr", 1);
    testing::internal::CaptureStderr();
    int first = MessageBoxA(nullptr, "CreateDevice() Init Fail", "Error", MB_OK);
    int second = MessageBoxA(nullptr, "Initialize() Fail!\n", "Error", MB_OK);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(first, IDOK);
    EXPECT_EQ(second, IDOK);
    // One line each; a text's own trailing newline is not doubled.
    EXPECT_EQ(err, "[Error] CreateDevice() Init Fail\n[Error] Initialize() Fail!\n");
}

}  // namespace
