#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "WindowCoreFakes.h"
#include "app/core/PinDialogCore.h"

namespace {

using Calls = std::vector<std::string>;

class PinDialogCoreTest : public ::testing::Test {
protected:
    FakeWindow window;
    PinDialogCore core{window};
};

// ---- the pin ----------------------------------------------------------

TEST_F(PinDialogCoreTest, StartsUnpinnedAndInitialisationShowsTheUnpinnedIcon) {
    EXPECT_FALSE(core.Pinned());
    EXPECT_TRUE(core.CancelOnDeactivate());
    core.OnInitDialog();
    EXPECT_EQ(window.calls, Calls{"icon unpinned"});
}

TEST_F(PinDialogCoreTest, EveryCaptionIconCommandTogglesWhateverItsLowFourBits) {
    for (uint32_t base : {0xF090u, 0xF160u}) {
        for (uint32_t low = 0; low < 16; ++low) {
            const bool before = core.Pinned();
            window.calls.clear();
            core.OnSysCommand(base | low);
            EXPECT_NE(core.Pinned(), before) << std::hex << (base | low);
            const Calls expected = before ? Calls{"not topmost", "icon unpinned"} : Calls{"topmost", "icon pinned"};
            EXPECT_EQ(window.calls, expected) << std::hex << (base | low);
        }
    }
}

TEST_F(PinDialogCoreTest, OtherCommandsGetTheDefaultHandlingAndLeaveThePinAlone) {
    // The keyboard's window menu, the neighbours of both ranges, and the
    // usual commands.
    for (uint32_t command : {0xF100u, 0xF080u, 0xF08Fu, 0xF0A0u, 0xF150u, 0xF15Fu, 0xF170u, 0xF060u, 0xF010u,
                             0xF120u, 0x10u, 0x0u, 0xFFFFu}) {
        window.calls.clear();
        core.OnSysCommand(command);
        EXPECT_FALSE(core.Pinned()) << std::hex << command;
        EXPECT_EQ(window.calls, Calls{"default"}) << std::hex << command;
    }
}

TEST_F(PinDialogCoreTest, TwoTogglesRestoreStateTopmostAndIcon) {
    core.OnInitDialog();
    core.OnSysCommand(0xF093);
    EXPECT_TRUE(core.Pinned());
    EXPECT_TRUE(window.onTop);
    EXPECT_EQ(window.icon, CaptionIcon::Pinned);
    core.OnSysCommand(0xF160);
    EXPECT_FALSE(core.Pinned());
    EXPECT_FALSE(window.onTop);
    EXPECT_EQ(window.icon, CaptionIcon::Unpinned);
    EXPECT_EQ(window.calls, (Calls{"icon unpinned", "topmost", "icon pinned", "not topmost", "icon unpinned"}));
}

// ---- notices with a parent ----------------------------------------------

TEST_F(PinDialogCoreTest, WithAParentOkSavesThenPostsOneAndStaysOpen) {
    window.hasParent = true;
    core.OnOk();
    EXPECT_EQ(window.calls, (Calls{"save", "notice 1"}));
}

TEST_F(PinDialogCoreTest, WithAParentAFailedSaveStillPostsOk) {
    window.hasParent = true;
    window.saveSucceeds = false;
    core.OnOk();
    EXPECT_EQ(window.calls, (Calls{"save", "notice 1"}));
}

TEST_F(PinDialogCoreTest, WithAParentCancelAndClosePostTwoWithoutSaving) {
    window.hasParent = true;
    core.OnCancel();
    core.OnClose();
    EXPECT_EQ(window.calls, (Calls{"notice 2", "notice 2"}));
}

TEST_F(PinDialogCoreTest, WithAParentUnpinnedDeactivationSavesThenPostsTwo) {
    window.hasParent = true;
    core.OnActivate(0);
    // Only the low word tells the state; the high word is the minimised flag.
    core.OnActivate(0x10000);
    EXPECT_EQ(window.calls, (Calls{"save", "notice 2", "save", "notice 2"}));
}

TEST_F(PinDialogCoreTest, DeactivationPostsOkWhenCancelOnDeactivateIsOff) {
    window.hasParent = true;
    core.SetCancelOnDeactivate(false);
    core.OnActivate(0);
    EXPECT_EQ(window.calls, (Calls{"save", "notice 1"}));
}

TEST_F(PinDialogCoreTest, WhilePinnedDeactivationPostsNothingEvenWithAParent) {
    window.hasParent = true;
    core.OnSysCommand(0xF090);
    window.calls.clear();
    core.OnActivate(0);
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(PinDialogCoreTest, ActivationDoesNothingPinnedOrNot) {
    window.hasParent = true;
    core.OnActivate(1);  // WA_ACTIVE
    core.OnActivate(2);  // WA_CLICKACTIVE
    core.OnSysCommand(0xF090);
    window.calls.clear();
    core.OnActivate(1);
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(PinDialogCoreTest, TheParentIsAskedAgainEachTime) {
    window.hasParent = true;
    core.OnCancel();
    window.hasParent = false;
    core.OnCancel();
    EXPECT_EQ(window.calls, (Calls{"notice 2", "plain cancel"}));
}

// ---- without a parent ----------------------------------------------------

TEST_F(PinDialogCoreTest, WithoutAParentOkCancelAndCloseEndTheDialog) {
    core.OnOk();
    core.OnCancel();
    core.OnClose();
    EXPECT_EQ(window.calls, (Calls{"plain ok", "plain cancel", "plain cancel"}));
}

TEST_F(PinDialogCoreTest, WithoutAParentDeactivationDoesNothing) {
    core.OnActivate(0);
    EXPECT_TRUE(window.calls.empty());
}

}  // namespace
