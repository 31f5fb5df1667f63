#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "WindowCoreFakes.h"
#include "app/core/MainWindowCore.h"

namespace {

using Calls = std::vector<std::string>;

class MainWindowCoreTest : public ::testing::Test {
protected:
    FakeWindow window;
    PinDialogCore pin{window};
    MainWindowCore core{window, pin};
};

TEST_F(MainWindowCoreTest, InitialisationRunsInOrderAndAppendsTheAboutItem) {
    core.OnInitDialog();
    EXPECT_EQ(window.calls, (Calls{"pin init", "separator", "item 16 &About TolvarFencat...", "main icon",
                                   "debug privilege", "accept drops"}));
}

TEST_F(MainWindowCoreTest, NoAboutItemWithoutText) {
    window.aboutText.clear();
    core.OnInitDialog();
    EXPECT_EQ(window.calls, (Calls{"pin init", "main icon", "debug privilege", "accept drops"}));
}

TEST_F(MainWindowCoreTest, NoAboutItemWithoutAWindowMenu) {
    window.hasWindowMenu = false;
    core.OnInitDialog();
    EXPECT_EQ(window.calls, (Calls{"pin init", "main icon", "debug privilege", "accept drops"}));
}

TEST_F(MainWindowCoreTest, CommandsSixteenToThirtyOneOpenTheAbout) {
    for (uint32_t command = 0x10; command <= 0x1F; ++command) {
        window.calls.clear();
        core.OnSysCommand(command);
        EXPECT_EQ(window.calls, Calls{"about"}) << command;
    }
    EXPECT_FALSE(pin.Pinned());
}

TEST_F(MainWindowCoreTest, OtherCommandsGoToThePinDialog) {
    for (uint32_t command : {0x0u, 0xFu, 0x20u, 0xF100u, 0xF060u}) {
        window.calls.clear();
        core.OnSysCommand(command);
        EXPECT_EQ(window.calls, Calls{"default"}) << std::hex << command;
    }
    window.calls.clear();
    core.OnSysCommand(0xF090);
    EXPECT_TRUE(pin.Pinned());
    EXPECT_EQ(window.calls, (Calls{"topmost", "icon pinned"}));
}

TEST_F(MainWindowCoreTest, MinimisedIconIsCentredWithTruncatingDivision) {
    EXPECT_EQ(MainWindowCore::MinimisedIconPosition(37, 37, 32, 32).x, 3);
    EXPECT_EQ(MainWindowCore::MinimisedIconPosition(30, 30, 32, 32).x, 0);
    EXPECT_EQ(MainWindowCore::MinimisedIconPosition(29, 29, 32, 32).x, -1);
    const IconPosition p = MainWindowCore::MinimisedIconPosition(160, 27, 32, 32);
    EXPECT_EQ(p.x, 64);
    EXPECT_EQ(p.y, -2);
    // Width and height are independent.
    const IconPosition q = MainWindowCore::MinimisedIconPosition(37, 29, 32, 32);
    EXPECT_EQ(q.x, 3);
    EXPECT_EQ(q.y, -1);
}

}  // namespace

