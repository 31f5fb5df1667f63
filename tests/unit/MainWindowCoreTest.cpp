#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "WindowCoreFakes.h"
#include "app/core/MainWindowCore.h"

namespace {

using Calls = std::vector<std::string>;

// A window whose menu and settings are kept as the system would keep them,
// so that tests look at what initialisation leaves, not at the calls it made.
class MenuWindow : public FakeWindow {
public:
    struct Entry {
        uint32_t id;
        std::string text;  // empty for a separator
        bool operator==(const Entry& o) const { return id == o.id && text == o.text; }
    };
    std::vector<Entry> menu = {{0xF120, "&Restore"}, {0xF010, "&Move"}, {0xF060, "&Close"}};
    bool privileged = false;
    bool dropsAccepted = false;
    bool droppedBeforePrivilege = false;

    void AppendMenuSeparator() override { menu.push_back({0, ""}); }
    void AppendMenuItem(uint32_t id, const std::string& text) override { menu.push_back({id, text}); }
    void EnableDebugPrivilege() override { privileged = true; }
    void AcceptDrops() override {
        dropsAccepted = true;
        droppedBeforePrivilege = !privileged;
    }
};

void PrintTo(const MenuWindow::Entry& e, std::ostream* os) { *os << std::hex << e.id << " " << e.text; }

class MainWindowCoreTest : public ::testing::Test {
protected:
    MenuWindow window;
    PinDialogCore pin{window};
    MainWindowCore core{window, pin};
};

using Menu = std::vector<MenuWindow::Entry>;
const Menu kSystemMenu = {{0xF120, "&Restore"}, {0xF010, "&Move"}, {0xF060, "&Close"}};

TEST_F(MainWindowCoreTest, InitialisationEndsTheWindowMenuWithAnAboutItemThatOpensTheAbout) {
    core.OnInitDialog();
    Menu expected = kSystemMenu;
    expected.push_back({0, ""});
    expected.push_back({0x10, "&About TolvarFencat..."});
    EXPECT_EQ(window.menu, expected);
    // The item's own command, as the system sends it, opens the About box.
    window.calls.clear();
    core.OnSysCommand(window.menu.back().id);
    EXPECT_EQ(window.calls, Calls{"about"});
}

TEST_F(MainWindowCoreTest, InitialisationLeavesADropTargetThatSearchesWithTheDebugPrivilege) {
    core.OnInitDialog();
    EXPECT_TRUE(window.privileged);
    EXPECT_TRUE(window.dropsAccepted);
    // A drop taken before the privilege would search without it.
    EXPECT_FALSE(window.droppedBeforePrivilege);
    EXPECT_FALSE(pin.Pinned());
    EXPECT_EQ(window.calls, (Calls{"pin init", "main icon"}));
}

TEST_F(MainWindowCoreTest, NoAboutItemWithoutTextOrWithoutAWindowMenu) {
    for (const bool noMenu : {false, true}) {
        MenuWindow bare;
        if (noMenu) bare.hasWindowMenu = false;
        else bare.aboutText.clear();
        PinDialogCore barePin{bare};
        MainWindowCore bareCore{bare, barePin};
        bareCore.OnInitDialog();
        EXPECT_EQ(bare.menu, kSystemMenu) << noMenu;
        EXPECT_TRUE(bare.dropsAccepted) << noMenu;
    }
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

