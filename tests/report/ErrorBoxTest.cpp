#include <gtest/gtest.h>

#include <string>

#include "report/ErrorBox.h"
#include "tests/app/AppTestSupport.h"

namespace {

using tarn::test::BoxRecorder;

// The box belongs to whatever window is in the foreground when it opens: a shown window, or none at all.
TEST(ErrorBoxTest, FormatsIntoABoxOwnedByTheForegroundWindow) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "Error Box Owner";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "Error Box Owner", "owner", WS_POPUP, 0, 0, 64, 64, GetDesktopWindow(),
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    ASSERT_EQ(GetForegroundWindow(), window);

    BoxRecorder boxes;
    ErrorBox("%s File Not Found!", "./Water/caust7.tga");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "./Water/caust7.tga File Not Found!");
    EXPECT_EQ(boxes.boxes[0].caption, "Error");
    EXPECT_EQ(boxes.boxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(boxes.boxes[0].owner, window);

    DestroyWindow(window);
    UnregisterClassA("Error Box Owner", nullptr);
    ASSERT_EQ(GetForegroundWindow(), nullptr);
    ErrorBox("no owner");
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].owner, nullptr);
}

TEST(ErrorBoxTest, CutsLongTextsTo511Characters) {
    struct Case {
        size_t length;
        size_t shown;
    };
    for (const Case& c : {Case{1, 1}, Case{511, 511}, Case{512, 511}, Case{600, 511}, Case{5000, 511}}) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, 'x');
        text.back() = 'E';  // marks whether the last character made it
        BoxRecorder boxes;
        ErrorBox("%s", text.c_str());
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, text.substr(0, c.shown));
    }
}

TEST(ErrorBoxTest, PassesATrailingNewlineUnchanged) {
    BoxRecorder boxes;
    ErrorBox("Initialize() Fail!\n");
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Initialize() Fail!\n"});
}

TEST(SystemErrorBoxTest, ShowsTheSystemTextWithTheInformationIcon) {
    char* expected = nullptr;
    ASSERT_NE(FormatMessageA(
                  FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                  nullptr, ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                  reinterpret_cast<LPSTR>(&expected), 0, nullptr),
              0u);
    const std::string expectedText = expected;
    LocalFree(expected);

    BoxRecorder boxes;
    SystemErrorBox(ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, expectedText);
    EXPECT_EQ(boxes.boxes[0].caption, "Error");
    EXPECT_EQ(boxes.boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(boxes.boxes[0].owner, nullptr);
}

TEST(SystemErrorBoxTest, ShowsTheCodeWhenTheSystemHasNoText) {
    BoxRecorder boxes;
    SystemErrorBox(0x2BADC0DEu);
    SystemErrorBox(0xFFFFFFFFu);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Error 0x2BADC0DE", "Error 0xFFFFFFFF"}));
    EXPECT_EQ(boxes.boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));
}

}  // namespace
