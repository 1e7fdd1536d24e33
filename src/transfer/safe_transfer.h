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

#include "platform/platform.h"

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
    std::uint64_t needed = 0, available = 0;    // CheckSpace
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

// Runs the whole transfer. Returns nothing when every file is in place.
std::optional<TransferFailure> TransferFirmware(Platform& platform, const TransferRequest& request);

}  // namespace orvane
