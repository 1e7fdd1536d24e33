// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Writing the update files to the camera so that a failure never leaves a torn
// or mixed set behind.
//
// Temporary files an earlier, interrupted run left behind are removed first.
// Both files are then written under temporary names in the destination
// folder, flushed to the device and read back from it; only when both are
// whole does each replace its old copy, firmware image first. Until then a
// failure removes the temporary files and leaves the camera's previous files
// exactly as they were. Success is reported only once every replacement has
// reached the device (the port's ReplaceWith promises that).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "port/system_port.h"
#include "transfer/sha256.h"

namespace orvane {

// Appended to a file's name while it is being written.
inline constexpr const char* kTemporarySuffix = ".orvtmp";

enum class TransferStep {
    CheckDrive,    // the drive plainly is not the camera
    OpenSource,    // an update file could not be opened in the source folder
    ReadSource,    // reading an update file failed part-way
    CheckSpace,    // not enough room on the drive
    CreateFolder,  // the destination folder could not be created
    WriteFile,     // writing or flushing a temporary file failed
    VerifyFile,    // the read-back of a written file failed or differed
    ReplaceFile,   // a temporary file could not take the old file's place
    Stopped,       // stopped on request before any replacement; nothing on the camera changed
};

// What a running transfer is doing, for the progress the user sees.
enum class TransferPhase {
    Preparing,       // checking the drive, the update files and the room on the camera
    Writing,         // writing `file` under its temporary name
    Checking,        // reading `file` back from the camera
    PuttingInPlace,  // the new files take the old ones' places
};

struct TransferProgress {
    TransferPhase phase = TransferPhase::Preparing;
    std::string file;  // Writing and Checking: the update file's name
    // Bytes written and read back so far, out of all there are to write and
    // read back; `done` never goes down and equals `total` once every file
    // is whole on the camera.
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

// An update file whose read-back matched: what the camera now holds under
// its temporary name, and after the replacement under its own.
struct CheckedFile {
    std::string name;         // the update file's name
    std::uint64_t bytes = 0;  // its size
    Sha256Digest sha256{};    // of the bytes read back from the camera
};

// Where a running transfer reports its progress and learns whether to stop.
// Both are called on the thread that runs the transfer.
class TransferObserver {
  public:
    virtual ~TransferObserver() = default;
    virtual void OnProgress(const TransferProgress& progress) = 0;
    // Asked before each piece is written or read back and once more before
    // the first replacement. Once replacements have begun it is no longer
    // asked: they all run, so the camera never holds a mixed set.
    virtual bool StopRequested() = 0;
    // Asked once, right before the first replacement, in place of the last
    // StopRequested: false stops there. An observer that answers true takes
    // no stop from then on, so whoever asked for one can tell whether the
    // old files are sure to stay.
    virtual bool BeginReplacing() { return !StopRequested(); }
    // The transfer came back from the device: a flush, a rename or a removal
    // returned, or one step of a replacement (its rename, each of its
    // flushes) did. Between two signs of life (this, or any call above) the
    // device has not answered. The pieces follow the device's pace, so that
    // while bytes move one of these calls comes at least every quarter of a
    // second however slow the device (piece_pace.h).
    virtual void SignOfLife() {}
    // Once for each file whose read-back matched its source, before the
    // replacements; never for a transfer without read-back.
    virtual void OnFileChecked(const CheckedFile& file) { static_cast<void>(file); }
};

struct TransferRequest {
    std::string drive;               // the drive as the platform names it
    std::string sourceFolder;        // joined with each file name
    std::string destinationFolder;   // joined with each file name
    std::vector<std::string> files;  // in the order they take their places
    bool verify = true;              // read each file back before it replaces the old one
};

struct TransferFailure {
    TransferStep step = TransferStep::WriteFile;
    std::string path;                           // the file or folder the step was working on
    std::string file;                           // the update file's name, where one is concerned
    SystemError error;                          // the system's report; empty for our own checks
    DriveRefusal refusal = DriveRefusal::None;  // CheckDrive
    // CheckSpace: the room the files take on the drive, in whole clusters,
    // and the room there is.
    std::uint64_t needed = 0, available = 0;
    // ReplaceFile: the files that already took their old copies' places, and
    // those that did not.
    std::vector<std::string> replaced;
    std::vector<std::string> pending;
    // ReplaceFile: the drive went away during a replacement, so which files
    // reached the camera is not known; `replaced` and `pending` are then empty.
    bool outcomeUnknown = false;
    // The camera's drive took a write in this transfer before the failure: a
    // refusal to write is then no lock switch but the system giving up on it.
    bool driveWasWritable = false;
};

// How much of the transfer is done, in whole percent from 0 to 100.
int PercentDone(const TransferProgress& progress);

// Runs the whole transfer. Returns nothing when every file is in place; a
// stop on request gives TransferStep::Stopped, with the temporary files
// removed and the old files kept.
std::optional<TransferFailure> TransferFirmware(SystemPort& platform,
                                                const TransferRequest& request,
                                                TransferObserver* observer = nullptr);

}  // namespace orvane
