// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's options, its exit statuses and its usage text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvane::cli {

// One exit status per outcome, so that scripts can tell them apart.
enum ExitStatus : int {
    kSuccess = 0,        // both files are on the camera
    kUsage = 2,          // the command line itself is wrong
    kBadSettings = 3,    // FirmWare.ini is missing or incomplete, or an update file is missing
    kNoCamera = 4,       // no camera (or none with storage to write to) within the wait
    kDriveRefused = 5,   // the camera's volume cannot be written to (not removable, locked)
    kNoRoom = 6,         // not enough room on the camera's volume
    kWriteFailed = 7,    // writing, checking or replacing a file failed
    kDisconnected = 8,   // the camera or its card went away during the update
    kLogIncomplete = 9,  // every update went well, but a --log line could not be written
    // --all with several cameras, where the system does not say which drive
    // is whose: none was written to
    kCamerasUntold = 10,
    kStopped = 130,  // stopped by the user (Ctrl-C) or a termination signal
};

// Of two outcomes, the one a run over several cameras ends with, whatever
// order they came in: stopped, then the failures that may have left a
// camera in need of care (disconnected, write-failed, no-room,
// drive-refused), then the cameras never updated (no-camera), then an
// incomplete log, then success.
int MoreSevere(int a, int b);

// The word for `status` in the JSON events ("no-camera", ...).
std::string_view StatusName(int status);

// The system's own log, which --log names by a word instead of a file.
enum class SystemLogKind {
    Journal,   // --log journal: the systemd journal (Linux)
    EventLog,  // --log eventlog: the Application log (Windows)
};

struct Options {
    // FirmWare.ini elsewhere than in the working folder; its folder is then
    // the one SrcPath is relative to.
    std::optional<std::string> iniFile;
    // How long to wait for the camera; nothing: for as long as it takes.
    std::optional<unsigned> waitSeconds;
    bool json = false;
    // Update each camera as it arrives, one after another, until Ctrl-C.
    bool repeat = false;
    // Update every matching camera connected, each to its own volume, at once.
    bool all = false;
    // One line per camera appended to this file: JSON lines when its name
    // ends in .json or .jsonl, comma-separated values otherwise.
    std::optional<std::string> logFile;
    // A record per camera in the system's own log as well (a second --log).
    std::optional<SystemLogKind> systemLog;
    // After a successful update, unmount the camera's volume and power the
    // camera off where the system offers a way to (UDisks2 on Linux). On by
    // default with --repeat.
    bool eject = false;
    // Whether the system's policy may ask the user (a password for a
    // mount); --no-interaction makes such a mount a refusal instead.
    bool interactive = true;
    // Print what the system shows of its USB devices and storage, and the
    // drive that would be chosen; write nothing.
    bool devices = false;
    bool help = false;
    bool version = false;
};

// The options of `arguments` (without the program's name), or the text that
// says what is wrong with them.
std::variant<Options, std::string> ParseOptions(const std::vector<std::string>& arguments);

// The text --help prints: the options and the exit statuses.
std::string UsageText();

}  // namespace orvane::cli
