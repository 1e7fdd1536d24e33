// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The times an update session keeps, stated once for both programs, and the
// few ways in which the dialog's sessions differ from the command line's.
#pragma once

#include <chrono>
#include <optional>

#include "texts/texts.h"

namespace orvane {

namespace session_time {

using std::chrono::milliseconds;
using std::chrono::seconds;

// How often a front ticks a session that waits or transfers.
inline constexpr milliseconds kTick{250};
// Nothing back from the camera for this long: it is said not to answer.
inline constexpr seconds kSilence{2};
// After a stop, a worker that stays silent this long is left behind (where
// the old files are sure to stay): with a tick, within a second of the stop.
inline constexpr milliseconds kStopGrace{750};
// Right after plugging in, the system shows the camera before its disk, and
// the disk before its medium: "no storage" and "no card" this soon after the
// camera appeared are waited for like a volume that is not mounted yet.
inline constexpr seconds kSettleTime{15};
// A press of "UpDate" gives the camera's storage this long to get ready.
inline constexpr seconds kDialogStorageWait{15};
// How often a waiting session looks again when no device event says so
// sooner: the dialog's user watches the window; the command line's camera
// may take minutes.
inline constexpr milliseconds kDialogLookInterval{500};
inline constexpr milliseconds kCommandLineLookInterval{5000};

}  // namespace session_time

// How a front's sessions wait.
struct SessionRules {
    texts::Front front = texts::Front::Dialog;
    // An absent camera is waited for (the command line), rather than the end
    // of the session (the dialog, where the camera was found before the press).
    bool waitForCamera = false;
    // Every state of the storage is waited for until the deadline (the
    // command line); the dialog waits only for what may still settle, and a
    // person pressing "UpDate" is told at once what cannot.
    bool waitOnEveryState = false;
    // When the wait ends; nothing: never.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    std::chrono::milliseconds lookInterval = session_time::kDialogLookInterval;
    // When the camera last appeared or changed its USB mode, for kSettleTime.
    std::chrono::steady_clock::time_point settlingSince{};

    // A press of "UpDate" at `now`; `ticking`: the front can tick the session
    // (without a timer nothing would end a wait, so there is none).
    static SessionRules Dialog(std::chrono::steady_clock::time_point now, bool ticking,
                               std::chrono::steady_clock::time_point settlingSince);
    // The command line at `now`, waiting `waitSeconds` (nothing: for ever).
    static SessionRules CommandLine(std::chrono::steady_clock::time_point now,
                                    std::optional<unsigned> waitSeconds);
};

inline SessionRules SessionRules::Dialog(std::chrono::steady_clock::time_point now, bool ticking,
                                         std::chrono::steady_clock::time_point settlingSince) {
    SessionRules rules;
    rules.front = texts::Front::Dialog;
    rules.deadline = ticking ? now + session_time::kDialogStorageWait : now;
    rules.lookInterval = session_time::kDialogLookInterval;
    rules.settlingSince = settlingSince;
    return rules;
}

inline SessionRules SessionRules::CommandLine(std::chrono::steady_clock::time_point now,
                                              std::optional<unsigned> waitSeconds) {
    SessionRules rules;
    rules.front = texts::Front::CommandLine;
    rules.waitForCamera = true;
    rules.waitOnEveryState = true;
    if (waitSeconds) rules.deadline = now + std::chrono::seconds(*waitSeconds);
    rules.lookInterval = session_time::kCommandLineLookInterval;
    return rules;
}

}  // namespace orvane
