#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/double/test_double.h"
#include "platform/win32.h"

namespace {

using testdouble::Call;
using testdouble::Script;
using testdouble::When;

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Received> Messages;
LRESULT CreateResult = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Messages.push_back(Received{window, message, wParam, lParam});
    if (message == WM_CREATE) {
        return CreateResult;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> Numbers() {
    std::vector<UINT> numbers;
    for (const Received& received : Messages) {
        numbers.push_back(received.message);
    }
    return numbers;
}

class Messaging : public ::testing::Test {
protected:
    void SetUp() override { Start(Script()); }

    void Start(const Script& script) {
        testdouble::Install(script);
        Messages.clear();
        CreateResult = 0;
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = "Test";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        window = CreateWindowExA(0, "Test", "Test", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        Messages.clear();
    }

    // Dispatches everything waiting, as a message loop would.
    void Drain() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
    }

    HWND window = nullptr;
};

TEST_F(Messaging, PostedMessagesComeInOrderAndTheQuitOnlyWhenNothingElseWaits) {
    PostMessageA(window, WM_USER + 1, 1, 0);
    PostQuitMessage(7);
    PostMessageA(window, WM_USER + 2, 2, 0);
    PostMessageA(nullptr, WM_USER + 3, 3, 0);

    MSG message;
    std::vector<UINT> order;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        EXPECT_EQ(got, TRUE);
        order.push_back(message.message);
    }
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ(message.hwnd, nullptr);
    // Retrieved once: the queue is empty afterwards.
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Messaging, PeekWithoutRemovingLeavesTheMessageAndARangeSkipsOthers) {
    PostMessageA(window, WM_KEYDOWN, 0x41, 0);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 6));
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(7, 8));

    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, WM_KEYDOWN);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, WM_KEYDOWN);

    // Only the first mouse move goes; the key stays first in line.
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_EQ(message.lParam, MAKELPARAM(5, 6));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE));

    std::vector<LPARAM> left;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        left.push_back(message.lParam);
    }
    EXPECT_EQ(left, (std::vector<LPARAM>{0, MAKELPARAM(7, 8)}));
}

TEST_F(Messaging, AWindowFilterSeesOnlyThatWindowsMessages) {
    PostMessageA(nullptr, WM_USER, 0, 0);
    PostMessageA(window, WM_USER + 1, 0, 0);
    PostQuitMessage(0);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_USER + 1);
    EXPECT_FALSE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_USER);
}

TEST_F(Messaging, DispatchRunsTheWindowProcedureAndReturnsItsResult) {
    PostMessageA(window, WM_USER, 5, 6);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(DispatchMessageA(&message), 0);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].window, window);
    EXPECT_EQ(Messages[0].wParam, 5u);
    EXPECT_EQ(Messages[0].lParam, 6);
}

struct ShowCase {
    int command;
    bool activates;
    WPARAM wParam;
};

class ShowCommands : public Messaging, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(ShowCommands, ActivatingCommandsSendWmActivateAtOnce) {
    const ShowCase& c = GetParam();
    EXPECT_FALSE(ShowWindow(window, c.command));  // was hidden
    if (c.activates) {
        ASSERT_EQ(Numbers(), std::vector<UINT>{WM_ACTIVATE});
        EXPECT_EQ(Messages[0].wParam, c.wParam);
    } else {
        EXPECT_TRUE(Messages.empty());
    }
    // Showing an active window again sends nothing new.
    Messages.clear();
    EXPECT_TRUE(ShowWindow(window, c.command));
    EXPECT_TRUE(Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryShowingCommand, ShowCommands,
    ::testing::Values(ShowCase{SW_SHOWDEFAULT, true, WA_ACTIVE},
                      ShowCase{SW_SHOWNORMAL, true, WA_ACTIVE},
                      ShowCase{SW_SHOW, true, WA_ACTIVE},
                      ShowCase{SW_SHOWMAXIMIZED, true, WA_ACTIVE},
                      ShowCase{SW_RESTORE, true, WA_ACTIVE},
                      ShowCase{SW_SHOWMINIMIZED, true, 0x10000 | WA_ACTIVE},
                      ShowCase{SW_SHOWNA, false, 0}, ShowCase{SW_SHOWNOACTIVATE, false, 0},
                      ShowCase{SW_SHOWMINNOACTIVE, false, 0}),
    [](const ::testing::TestParamInfo<ShowCase>& info) {
        return "Command" + std::to_string(info.param.command);
    });

TEST_F(Messaging, HidingOrMinimisingTheActiveWindowDeactivatesIt) {
    for (int command : {SW_HIDE, SW_MINIMIZE}) {
        ShowWindow(window, SW_SHOW);
        Messages.clear();
        ShowWindow(window, command);
        ASSERT_EQ(Numbers(), std::vector<UINT>{WM_ACTIVATE}) << command;
        EXPECT_EQ(LOWORD(Messages[0].wParam), WA_INACTIVE);
    }
}

TEST_F(Messaging, AShowThatIsNotGrantedActivationLeavesTheWindowInactive) {
    Start(Script().ShowDoesNotActivate());
    ShowWindow(window, SW_SHOWDEFAULT);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Messaging, DestroyWindowDeactivatesThenSendsWmDestroyAndDropsItsMessages) {
    ShowWindow(window, SW_SHOWDEFAULT);
    PostMessageA(window, WM_USER, 0, 0);
    Messages.clear();

    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_EQ(Numbers(), (std::vector<UINT>{WM_ACTIVATE, WM_DESTROY}));
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    // The handle is dead now.
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
}

TEST_F(Messaging, TheDefaultHandlingOfACloseRequestDestroysTheWindow) {
    ShowWindow(window, SW_SHOWNA);
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(Numbers(), std::vector<UINT>{WM_DESTROY});
}

TEST_F(Messaging, AUserCloseIsPostedAsWmCloseAndEndsInWmDestroy) {
    Start(Script().Close(When::At(Call("PeekMessageA"))));
    ShowWindow(window, SW_SHOWNA);
    Drain();
    EXPECT_EQ(Numbers(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
}

TEST_F(Messaging, AUserCloseWaitsInTheQueueThroughAPeekForOtherMessages) {
    Start(Script().Close(When::At(Call("PeekMessageA"))));
    ShowWindow(window, SW_SHOWNA);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_TRUE(Messages.empty());
    Drain();
    EXPECT_EQ(Numbers(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
}

TEST_F(Messaging, CreationFailsWhenWmCreateSaysSo) {
    CreateResult = -1;
    EXPECT_EQ(CreateWindowExA(0, "Test", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_EQ(Numbers(), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
    // An unknown class and a second registration fail too.
    EXPECT_EQ(CreateWindowExA(0, "Nope", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    WNDCLASSA again{};
    again.lpfnWndProc = RecordingProc;
    again.lpszClassName = "TEST";
    EXPECT_EQ(RegisterClassA(&again), 0);
}

TEST_F(Messaging, KeysAndMovesBecomeQueuedMessagesForTheShownWindow) {
    Start(Script()
              .KeyDown(0x41)
              .SysKeyDown(testdouble::VK_F10)
              .MouseMove(-1, 70000)
              .LeftButtonDown(3, 4));
    ShowWindow(window, SW_SHOWNA);
    Drain();
    // The cursor query is sent as the pointer input arrives, ahead of the
    // queued pointer messages.
    ASSERT_EQ(Numbers(), (std::vector<UINT>{WM_SETCURSOR, WM_SETCURSOR, WM_KEYDOWN,
                                            WM_SYSKEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN}));
    EXPECT_EQ(LOWORD(Messages[0].lParam), HTCLIENT);
    EXPECT_EQ(HIWORD(Messages[0].lParam), WM_MOUSEMOVE);
    EXPECT_EQ(Messages[2].wParam, 0x41u);
    EXPECT_EQ(Messages[2].lParam & 0xFFFF, 1);            // repeat count
    EXPECT_NE(Messages[3].lParam & (LPARAM{1} << 29), 0);  // Alt context
    // Coordinates travel as 16-bit words: -1 is 0xFFFF, 70000 wraps.
    EXPECT_EQ(Messages[4].lParam, MAKELPARAM(0xFFFF, 70000 & 0xFFFF));
}

TEST_F(Messaging, InputBeforeAnyWindowIsShownIsDropped) {
    Start(Script().KeyDown(0x41));
    Drain();
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Messaging, ActivationEventsAreSentOnlyWhenTheStateChanges) {
    Start(Script()
              .Activate(When::At(Call("PeekMessageA").Nth(1)), WA_CLICKACTIVE)
              .Activate(When::At(Call("PeekMessageA").Nth(2)))
              .Deactivate(When::At(Call("PeekMessageA").Nth(3)), true));
    ShowWindow(window, SW_SHOWNA);
    MSG message;
    for (int i = 0; i < 3; ++i) {
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    }
    ASSERT_EQ(Numbers(), (std::vector<UINT>{WM_ACTIVATE, WM_ACTIVATE}));
    EXPECT_EQ(Messages[0].wParam, WA_CLICKACTIVE);
    EXPECT_EQ(Messages[1].wParam, 0x10000u | WA_INACTIVE);
}

TEST_F(Messaging, WaitMessageReturnsForNewInputAndWakesOnAnActivation) {
    Start(Script()
              .Activate(When::At(Call("WaitMessage").Nth(1)))
              .KeyDown(0x41, When::At(Call("WaitMessage").Nth(2))));
    ShowWindow(window, SW_SHOWNA);
    EXPECT_TRUE(WaitMessage());
    EXPECT_EQ(Numbers(), std::vector<UINT>{WM_ACTIVATE});
    EXPECT_TRUE(WaitMessage());
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, WM_KEYDOWN);
    // The key was seen by the peek, so a third wait has nothing new: with
    // nothing scripted it would block forever, and the double ends it.
    try {
        WaitMessage();
        FAIL() << "WaitMessage returned with nothing new";
    } catch (const testdouble::ScenarioEnded& ended) {
        EXPECT_EQ(ended.ending, testdouble::Ending::Blocked);
    }
}

TEST_F(Messaging, SetCursorReturnsThePreviousCursor) {
    const HCURSOR arrow = SetCursor(nullptr);
    EXPECT_NE(arrow, nullptr);
    EXPECT_EQ(SetCursor(arrow), nullptr);
}

TEST_F(Messaging, ScreenMetricsAreThePrimaryMonitorsDesktopSize) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
    Start(Script().PrimaryScreen(1280, 1024));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);
}

}  // namespace
