// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The hold on the system (no sleep, no log-off or shutdown ending the
// process) covers the transfer exactly, however the transfer ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "harness.h"

namespace orvane::testing {
namespace {

int CountOf(const std::vector<std::string>& calls, const std::string& call) {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

std::ptrdiff_t FirstIndexOf(const std::vector<std::string>& calls, const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
}

std::ptrdiff_t LastIndexOf(const std::vector<std::string>& calls, const std::string& call) {
    return calls.rend() - std::find(calls.rbegin(), calls.rend(), call) - 1;
}

TEST(SystemHold, CoversEveryFileOperationAndEndsBeforeTheResultInEveryOutcome) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> arrange;
        std::optional<int> endResult;  // how the dialog ends; a failure leaves it open
    };
    const std::vector<Case> cases = {
        {"success", [](Harness&) {}, IDOK},
        {"a write fails", [](Harness& h) { h.platform.failFileOpAt = 6; }, std::nullopt},
        {"the camera is unplugged",
         [](Harness& h) {
             h.platform.failFileOpAt = 8;
             h.platform.failKind = ErrorKind::DeviceGone;
             h.platform.failureUnplugs = true;
         },
         std::nullopt},
        {"stopped",
         [](Harness& h) {
             h.platform.onFileOp = [&h](const std::string&) {
                 if (h.platform.fileOps == 4) h.dialog->OnCancel();
             };
         },
         IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.PlugCamera("G");
        h.Open();
        c.arrange(h);
        bool heldAtEveryFileOp = true;
        std::function<void(const std::string&)> act = h.platform.onFileOp;
        h.platform.onFileOp = [&](const std::string& what) {
            heldAtEveryFileOp = heldAtEveryFileOp && h.platform.systemHeld;
            if (act) act(what);
        };
        EXPECT_EQ(CountOf(h.platform.calls, "HoldSystemForTransfer(true)"), 0);

        h.dialog->OnUpdateClicked();
        const std::vector<std::string>& calls = h.platform.calls;
        EXPECT_GT(h.platform.fileOps, 0);
        EXPECT_TRUE(heldAtEveryFileOp);
        EXPECT_FALSE(h.platform.systemHeld);
        EXPECT_EQ(CountOf(calls, "HoldSystemForTransfer(true)"), 1);
        EXPECT_EQ(CountOf(calls, "HoldSystemForTransfer(false)"), 1);
        // The volume is held and let go inside the hold, and the dialog hears
        // of the end (and may show a box, or end) only after it.
        const std::ptrdiff_t on = FirstIndexOf(calls, "HoldSystemForTransfer(true)");
        const std::ptrdiff_t off = FirstIndexOf(calls, "HoldSystemForTransfer(false)");
        EXPECT_LT(on, FirstIndexOf(calls, "HoldVolume"));
        EXPECT_LT(LastIndexOf(calls, "ReleaseVolume"), off);
        EXPECT_LT(off, LastIndexOf(calls, "HideProgress"));
        EXPECT_EQ(h.platform.endResult, c.endResult);
        if (!c.endResult) {
            EXPECT_NE(h.platform.messages.at(0), "Update success");
        }
        EXPECT_FALSE(h.dialog->transferRunning());
    }
}

// Presses that start no transfer take no hold.
TEST(SystemHold, NoHoldWithoutATransfer) {
    Harness h;
    h.Open().OnUpdateClicked();  // no camera: "please check device"
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"please check device"});
    EXPECT_EQ(CountOf(h.platform.calls, "HoldSystemForTransfer(true)"), 0);
    EXPECT_FALSE(h.platform.systemHeld);
}

}  // namespace
}  // namespace orvane::testing
