// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A camera that stops answering: the dialog stays live, says so, and Cancel
// ends the program without waiting for it, leaving the old files whole.
// Each request that hangs blocks a real thread of the fake's until the test
// ends it as the process's end would.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "texts/texts.h"

namespace orvane::testing {
namespace {

const std::string kDest = "G:\\FIRMWARE\\";

struct HangingCamera : Harness {
    HangingCamera() {
        platform.threaded = true;
        PlugCamera("G");
        platform.folders.insert("G:\\FIRMWARE");
        platform.files[kDest + "vorm.bin"] = "old image";
        platform.files[kDest + "dsccmd.ini"] = "old commands";
        Open();
    }
    // Delivers what the threads post until `done`.
    template <typename Done>
    void DeliverUntil(Done done) {
        while (!done()) {
            platform.WaitForPosted();
            platform.DeliverPosted();
        }
    }
    // The session's ticks until the status line says the camera is silent.
    void TickUntilSilent() {
        const unsigned most = session_time::kSilence / session_time::kTick;
        for (unsigned tick = 0; tick <= most && !dialog->cameraSilent(); ++tick) {
            platform.DeliverPosted();
            platform.Advance(session_time::kTick);
        }
        ASSERT_TRUE(dialog->cameraSilent());
    }
    void TickWatch(unsigned times) { platform.Advance(times * session_time::kTick); }
    // The session's ticks in a stop's grace.
    static constexpr unsigned kLeaveTicks = session_time::kStopGrace / session_time::kTick;
    // The press, with the request that hangs somewhere in the transfer.
    void PressAndHangAt(const std::string& request) {
        platform.HangAt(request);
        dialog->OnUpdateClicked();
        DeliverUntil([this] { return dialog->transferRunning(); });
        platform.WaitUntilHung();
    }
    std::string Line() const { return platform.progressStatus; }
};

TEST(CameraHangs, AQuestionThatNeverReturnsLeavesTheWindowLiveAndCancelEndsTheProcess) {
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "Cancel" : "the wait's end");
        HangingCamera h;
        h.platform.HangAt("StorageLayoutOfDrives");
        const auto asked = [&h] {
            return std::count(h.platform.calls.begin(), h.platform.calls.end(), "RunDeviceQuery");
        };
        const auto before = asked();
        h.dialog->OnUpdateClicked();
        h.platform.WaitUntilHung();
        h.TickUntilSilent();
        EXPECT_EQ(h.Line(), "The camera is not answering. Waiting for it...");
        if (cancel) {
            h.dialog->OnCancel();
            EXPECT_FALSE(h.platform.processEnd.has_value());  // a moment to answer first
            h.TickWatch(HangingCamera::kLeaveTicks);
            EXPECT_EQ(h.platform.processEnd, IDCANCEL);
            EXPECT_FALSE(h.platform.endResult.has_value());
            EXPECT_EQ(h.platform.fileOps, 0);
            continue;
        }
        // No second question while the first is out; then the wait gives up.
        h.Tick(Harness::kWaitTicks + 1);
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_NE(h.platform.messages[0].find("not answering"), std::string::npos);
        EXPECT_FALSE(h.dialog->waitingForDrive());
        EXPECT_FALSE(h.platform.progressVisible);
        EXPECT_EQ(asked() - before, 1);
        // The next press asks anew and the update goes through; the process
        // then ends without the thread still held.
        h.dialog->OnUpdateClicked();
        h.DeliverUntil([&h] { return h.platform.messages.size() == 2; });
        EXPECT_EQ(h.platform.messages[1], "Update success");
        EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], Harness::FirmwareImage());
        h.TickWatch(HangingCamera::kLeaveTicks);
        EXPECT_EQ(h.platform.processEnd, IDOK);
    }
}

// The USB scan at start-up, at each tick and at each arrival asks on a
// thread of its own: a device that holds the system's answer (one being
// reset, its serial number locked) leaves the window live, one scan out at
// a time.
TEST(CameraHangs, AScanThatNeverReturnsLeavesTheWindowAndItsTicksLive) {
    Harness h;
    h.platform.threaded = true;
    h.platform.HangAt("PresentUsbDevices");
    h.dialog = std::make_unique<CUpdaterDialog>(h.platform);
    h.platform.timerTarget = [&h](unsigned id) { h.dialog->OnTimer(id); };
    h.dialog->OnInitDialog();
    h.platform.WaitUntilHung();
    EXPECT_TRUE(h.platform.TimerRunning(POLL_TIMER_ID));
    const auto asked = [&h] {
        return std::count(h.platform.calls.begin(), h.platform.calls.end(), "RunDeviceQuery");
    };
    h.platform.Advance(std::chrono::seconds(20));  // four poll ticks
    h.dialog->OnDeviceChange();
    EXPECT_EQ(asked(), 1);
    h.dialog->OnUpdateClicked();
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"please check device"});
    // Once it answers, the camera plugged in meanwhile is looked for again.
    h.PlugCamera("G");
    h.platform.EndHang(false);
    h.platform.JoinThreads();
    h.platform.DeliverPosted();
    h.platform.JoinThreads();
    h.platform.DeliverPosted();
    EXPECT_TRUE(h.dialog->deviceFound());
    EXPECT_FALSE(h.platform.TimerRunning(POLL_TIMER_ID));
}

TEST(CameraHangs, AWriteThatNeverReturnsEndsAtCancelWithTheOldFilesAndTheNextRunCleansUp) {
    HangingCamera h;
    h.PressAndHangAt("Write " + kDest + "vorm.bin.orvtmp");
    h.TickUntilSilent();
    EXPECT_EQ(h.Line(), "The camera is not answering. Cancel keeps its old files.");
    h.dialog->OnCancel();
    h.TickWatch(HangingCamera::kLeaveTicks);
    EXPECT_EQ(h.platform.processEnd, IDCANCEL);
    h.platform.EndHang(true);
    h.platform.JoinThreads();
    EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], "old image");
    EXPECT_EQ(h.platform.files[kDest + "dsccmd.ini"], "old commands");
    EXPECT_EQ(h.platform.FilesUnder(kDest + "vorm.bin.orvtmp").size(), 1u);

    Harness next;
    next.platform.files = h.platform.files;
    next.platform.folders.insert("G:\\FIRMWARE");
    next.PlugCamera("G");
    next.Open().OnUpdateClicked();
    EXPECT_EQ(next.platform.messages, std::vector<std::string>{"Update success"});
    EXPECT_EQ(next.platform.FilesUnder("G:").size(), 2u);
}

// A worker that comes back from the camera after Cancel is on its way to
// the stop: it is waited for, and takes its temporary files away.
TEST(CameraHangs, AfterCancelAWorkerThatAnswersAgainIsWaitedFor) {
    HangingCamera h;
    h.PressAndHangAt("Write " + kDest + "vorm.bin.orvtmp");
    h.dialog->OnCancel();
    h.TickWatch(HangingCamera::kLeaveTicks - 1);
    h.platform.EndHang(false);
    h.platform.JoinThreads();
    h.TickWatch(1);
    EXPECT_FALSE(h.platform.processEnd.has_value());
    h.platform.DeliverPosted();
    EXPECT_EQ(h.platform.endResult, IDCANCEL);
    EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], "old image");
    EXPECT_EQ(h.platform.FilesUnder("G:").size(), 2u);
}

// Once the new files have begun to take the old ones' places, Cancel waits
// for them all; only a camera that stopped answering is left, at a second
// Cancel.
TEST(CameraHangs, DuringTheReplacementsASilentCameraIsLeftOnlyAtASecondCancel) {
    HangingCamera h;
    h.PressAndHangAt("ReplaceWith " + kDest + "dsccmd.ini.orvtmp");
    h.dialog->OnCancel();
    h.TickUntilSilent();
    EXPECT_EQ(h.Line(), "The camera is not answering. Cancel again to leave anyway.");
    h.TickWatch(HangingCamera::kLeaveTicks);
    EXPECT_FALSE(h.platform.processEnd.has_value());
    h.dialog->OnCancel();
    EXPECT_EQ(h.platform.processEnd, IDCANCEL);
}

}  // namespace
}  // namespace orvane::testing
