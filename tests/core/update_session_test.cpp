// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The update session's decisions, as a table of events and what each
// series of them must end in: the same for the dialog and the command line.
#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "platform/fake/fake_platform.h"
#include "session/update_session.h"

namespace orvane {
namespace {

using std::chrono::milliseconds;

// A transfer the table moves on by hand.
struct ScriptedTransfer : RunningTransfer {
    void Start() override { started = true; }
    bool RequestStop() override {
        stopAsked = true;
        return !replacing;
    }
    bool Replacing() const override { return replacing; }
    unsigned Activity() const override { return activity; }
    bool Abandon(bool evenReplacing) override {
        if (replacing && !evenReplacing) return false;
        abandoned = true;
        return true;
    }
    bool started = false, stopAsked = false, replacing = false, abandoned = false;
    unsigned activity = 0;
    std::function<void(const std::optional<TransferFailure>&)> onDone;
};

// A front that answers the session's looks and mounts from the table.
struct Bench : SessionFront {
    std::chrono::steady_clock::time_point Now() override { return now; }
    void Look() override { lookPending = true; }
    void Mount(const std::string& disk) override { mounts.push_back(disk); }
    void Say(SessionNews news, const std::string& text) override {
        said.push_back(std::to_string(static_cast<int>(news)) + " " + text);
    }
    std::variant<TransferRequest, std::string> Request(const std::string& drive) override {
        TransferRequest request;
        request.drive = drive;
        return request;
    }
    void Started(const UsbDevice&, const std::string& volume) override { startedOn = volume; }
    void Progress(const TransferProgress&) override {}
    void Over(const SessionOutcome& ended) override { outcome = ended; }

    std::chrono::steady_clock::time_point now{};
    bool lookPending = false;
    std::vector<std::string> mounts;
    std::vector<std::string> said;
    std::string startedOn;
    std::optional<SessionOutcome> outcome;
};

struct Row {
    const char* what;
    bool commandLine;
    // Steps, one a word. What the system shows from then on, answering each
    // look: "drive" (the camera's volume G), "unmounted" ("-mounts": where
    // volumes are mounted), "nocamera", "hung" (its disk does not answer).
    // "refused" (the mount's answer), "tick" (250 ms), "wait" (2 s of ticks),
    // "life" (the worker came back), "replacing", "stop"/"sysstop" (by the
    // user, by the system), "change" (a device event), "done"/"stopped" (the
    // worker's result).
    const char* steps;
    // How it ended, or "running".
    const char* ends;
};

const char* KindName(const std::optional<SessionOutcome>& outcome) {
    if (!outcome) return "running";
    switch (outcome->kind) {
        case SessionOutcome::Kind::Updated:
            return "updated";
        case SessionOutcome::Kind::NoCamera:
            return "no-camera";
        case SessionOutcome::Kind::NotReady:
            return "not-ready";
        case SessionOutcome::Kind::NotStarted:
            return "not-started";
        case SessionOutcome::Kind::CamerasUntold:
            return "untold";
        case SessionOutcome::Kind::TransferFailed:
            return "failed";
        case SessionOutcome::Kind::Stopped:
            return "stopped";
        case SessionOutcome::Kind::LeftBehind:
            return "left-behind";
    }
    return "?";
}

const Row kRows[] = {
    {"a ready camera is written", false, "drive done", "updated"},
    {"no camera at a press says so at once", false, "nocamera", "no-camera"},
    {"the command line waits for the camera", true, "nocamera wait wait drive change done",
     "updated"},
    {"an unmounted volume waits 15 s, then says so", false,
     "unmounted wait wait wait wait wait wait wait tick tick tick tick tick tick tick tick tick",
     "not-ready"},
    {"a volume mounted during the wait is written", false, "unmounted wait drive tick tick done",
     "updated"},
    {"a refused mount is said at once in the dialog", false, "unmounted-mounts refused",
     "not-ready"},
    {"the command line keeps waiting after a refused mount", true,
     "unmounted-mounts refused wait wait", "running"},
    {"a disk that does not answer is said at once in the dialog", false, "hung", "not-ready"},
    {"a stop while looking writes nothing", false, "unmounted stop", "stopped"},
    // The mended fault: the command line left a worker 750 ms after the
    // stop, however busy it still was.
    {"after a stop a worker that still answers is waited for", true,
     "drive stop tick life tick life tick life tick life tick life tick life tick life", "running"},
    {"and comes back with its stop", true, "drive stop tick life tick life stopped", "stopped"},
    {"a silent worker is left 750 ms after the stop", true, "drive stop tick tick tick",
     "left-behind"},
    {"a worker silent since before the stop gets the 750 ms all the same", false,
     "drive wait stop tick tick", "running"},
    // The mended fault: a second request of the system's, with the camera
    // silent, ended the program in the middle of the replacements.
    {"no request of the system's leaves a replacement", false,
     "drive replacing sysstop wait sysstop sysstop sysstop tick tick tick tick", "running"},
    {"nor a user's while the camera answers", false,
     "drive replacing stop tick life tick life stop tick life stop", "running"},
    {"a user may insist once the camera is silent", false, "drive replacing stop wait stop",
     "left-behind"},
    {"a stop after the outcome changes nothing", true, "drive done stop", "updated"},
    {"a device event looks again at once", false, "unmounted drive change done", "updated"},
};

std::vector<std::string> Words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

TEST(UpdateSession, EachSeriesOfEventsEndsAsTheTableSays) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        Bench bench;
        fake::FakePlatform system;
        UpdateSession::Setup setup;
        setup.rules = row.commandLine ? SessionRules::CommandLine(bench.now, std::nullopt)
                                      : SessionRules::Dialog(bench.now, true, bench.now);
        setup.settings = {"USB\\VID_04DA&PID_2372&REV_0100", "\\fw\\", "\\FIRMWARE\\"};
        MountMemory mounts;
        setup.mounts = &mounts;
        std::shared_ptr<ScriptedTransfer> transfer;
        std::function<void(const std::optional<TransferFailure>&)> done;
        setup.makeTransfer = [&](SystemPort&, TransferRequest, auto, auto onDone) {
            transfer = std::make_shared<ScriptedTransfer>();
            done = onDone;
            return transfer;
        };
        for (const std::string& step : Words(row.steps)) {
            if (step != "unmounted-mounts") continue;
            system.mounts = true;
            setup.mounter = system.Mounter();
        }
        UpdateSession session(bench, system, setup);
        session.Begin();

        const UsbDevice camera{std::vector<std::string>{setup.settings.hardwareId}, "CAM", "", "1"};
        std::optional<CameraSight> shown;
        // Each look the session asked for is answered with what the system
        // shows now, outside the session's own call.
        auto answer = [&] {
            while (bench.lookPending && shown) {
                bench.lookPending = false;
                session.OnSight(*shown);
            }
        };
        auto show = [&](std::optional<UsbDevice> device, DeviceStorage storage) {
            shown = CameraSight{std::move(device), std::move(storage), {}};
            answer();
        };
        auto tick = [&] {
            bench.now += session_time::kTick;
            session.Tick();
            answer();
        };
        for (const std::string& step : Words(row.steps)) {
            using State = DeviceStorage::State;
            if (step == "drive") show(camera, {State::Drive, "G", {}, true});
            if (step == "unmounted" || step == "unmounted-mounts")
                show(camera, {State::NotMounted, {}, "disk 1"});
            if (step == "hung") show(camera, {State::NotAnswering, {}, {}});
            if (step == "nocamera") show(std::nullopt, {});
            if (step == "refused")
                session.OnMounted(MountFailure{MountFailure::Kind::NotAuthorised, {}});
            if (step == "tick") tick();
            if (step == "wait")
                for (int i = 0; i < 8; ++i) tick();
            if (step == "change") {
                session.OnDeviceChange();
                answer();
            }
            if (step == "stop") session.Stop(StopBy::User);
            if (step == "sysstop") session.Stop(StopBy::System);
            if (step != "life" && step != "replacing" && step != "done" && step != "stopped")
                continue;
            ASSERT_TRUE(transfer) << step << ": no transfer was started";
            if (step == "life") ++transfer->activity;
            if (step == "replacing") transfer->replacing = true;
            if (step == "done") done(std::nullopt);
            if (step == "stopped") {
                TransferFailure stopped;
                stopped.step = TransferStep::Stopped;
                done(stopped);
            }
        }
        EXPECT_STREQ(KindName(bench.outcome), row.ends);
        // Whatever the series, a worker is given up only by the session's
        // say, and nothing but the camera's own volume was ever started on.
        if (transfer) {
            EXPECT_EQ(bench.startedOn, "G");
            EXPECT_EQ(transfer->abandoned, std::string(row.ends) == "left-behind");
        }
    }
}

// Whose volume is whose when several cameras are updated at once, and the
// mended fault: a camera that joined after another started took that one's
// volume where the system did not say which is whose, and a finished
// camera's volume counted as free.
TEST(VolumeClaims, AVolumeGoesOnlyToTheCameraItIsProvenToBeOrToTheOnlyOneSeen) {
    const UsbDevice first{{}, "CAM-1", "S1", "2"}, second{{}, "CAM-2", "S2", "3"};
    using Answer = VolumeClaims::Answer;
    {
        VolumeClaims claims;
        claims.Present({first});
        EXPECT_EQ(claims.Claim(first, "G", false), Answer::Granted);  // the one camera
        claims.Present({first, second});
        EXPECT_EQ(claims.Claim(second, "G", false), Answer::Untold);
        claims.Present({second});  // the first one gone: still seen in this run
        EXPECT_EQ(claims.Claim(second, "G", false), Answer::Untold);
    }
    {
        VolumeClaims claims;
        claims.Present({first, second});
        EXPECT_EQ(claims.Claim(first, "G", true), Answer::Granted);
        EXPECT_EQ(claims.Claim(second, "G", true), Answer::Taken);  // still connected
        EXPECT_EQ(claims.Claim(second, "H", true), Answer::Granted);
        // Plugged in again, in the same port, it is another camera: once the
        // first has gone, its volume name may be proven the new one's.
        const UsbDevice again{{}, "cam-1", "S9", "7"};
        claims.Present({second, again});
        EXPECT_EQ(claims.Claim(again, "G", true), Answer::Granted);
    }
}

}  // namespace
}  // namespace orvane
