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

TEST_F(PinDialogCoreTest, InitialisationShowsTheUnpinnedIcon) {
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

// ---- what ending the dialog asks of the window ----------------------------

TEST_F(PinDialogCoreTest, OkCancelCloseAndDeactivationNotifyTheParentOrEndTheDialog) {
    struct Case {
        const char* what;
        bool parent, saves, cancelOnDeactivate, pinned;
        void (*act)(PinDialogCore&);
        Calls expected;
    } cases[] = {
        {"ok saves, then posts 1", true, true, true, false, [](PinDialogCore& c) { c.OnOk(); }, {"save", "notice 1"}},
        {"a failed save still posts 1", true, false, true, false, [](PinDialogCore& c) { c.OnOk(); },
         {"save", "notice 1"}},
        {"cancel and close post 2 unsaved", true, true, true, false,
         [](PinDialogCore& c) {
             c.OnCancel();
             c.OnClose();
         },
         {"notice 2", "notice 2"}},
        // Only the low word tells the state; the high word is the minimised flag.
        {"deactivation saves, then posts 2", true, true, true, false,
         [](PinDialogCore& c) {
             c.OnActivate(0);
             c.OnActivate(0x10000);
         },
         {"save", "notice 2", "save", "notice 2"}},
        {"deactivation posts 1 without cancel on deactivate", true, true, false, false,
         [](PinDialogCore& c) { c.OnActivate(0); }, {"save", "notice 1"}},
        {"pinned, deactivation posts nothing", true, true, true, true, [](PinDialogCore& c) { c.OnActivate(0); }, {}},
        {"activation (WA_ACTIVE, WA_CLICKACTIVE) does nothing", true, true, true, false,
         [](PinDialogCore& c) {
             c.OnActivate(1);
             c.OnActivate(2);
         },
         {}},
        {"pinned, activation does nothing", true, true, true, true, [](PinDialogCore& c) { c.OnActivate(1); }, {}},
        {"without a parent ok, cancel and close end it", false, true, true, false,
         [](PinDialogCore& c) {
             c.OnOk();
             c.OnCancel();
             c.OnClose();
         },
         {"plain ok", "plain cancel", "plain cancel"}},
        {"without a parent deactivation does nothing", false, true, true, false,
         [](PinDialogCore& c) { c.OnActivate(0); }, {}},
    };
    for (const Case& c : cases) {
        FakeWindow fresh;
        PinDialogCore dialog{fresh};
        fresh.hasParent = c.parent;
        fresh.saveSucceeds = c.saves;
        if (!c.cancelOnDeactivate) dialog.SetCancelOnDeactivate(false);
        if (c.pinned) dialog.OnSysCommand(0xF090);
        fresh.calls.clear();
        c.act(dialog);
        EXPECT_EQ(fresh.calls, c.expected) << c.what;
    }
}

TEST_F(PinDialogCoreTest, TheParentIsAskedAgainEachTime) {
    window.hasParent = true;
    core.OnCancel();
    window.hasParent = false;
    core.OnCancel();
    EXPECT_EQ(window.calls, (Calls{"notice 2", "plain cancel"}));
}

}  // namespace
