// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Every text the updater shows or writes, in one place for both programs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/device_storage.h"
#include "device/near_miss.h"
#include "port/system_port.h"
#include "port/volume_mounter.h"
#include "transfer/safe_transfer.h"

namespace orvane::texts {

// Which program shows a message: the dialog, or the command line.
enum class Front { Dialog, CommandLine };

// The tool's own texts, used exactly as they stand.
inline constexpr std::string_view kSettingMissing = "Section not find!";
inline constexpr std::string_view kCheckDevice = "please check device";
inline constexpr std::string_view kUpdateSuccess = "Update success";
inline constexpr std::string_view kSubscribeFailedFormat =
    "RegisterDeviceNotification failed: %lx.\n";
inline constexpr std::string_view kSettingsFileName = "\\FirmWare.ini";
inline constexpr std::string_view kDoNotDisconnect = "Do not disconnect the camera.";

// Window texts.
inline constexpr std::string_view kTitle = "Orvane";
inline constexpr std::string_view kBanner = "DSC Firmware Update Tool";
inline constexpr std::string_view kNotice = "Notice: please check Camera Power is enough!";
inline constexpr std::string_view kUpdateButton = "UpDate";
inline constexpr std::string_view kCancelButton = "Cancel";
inline constexpr std::string_view kAboutMenuEntry = "&About Orvane...";
inline constexpr std::string_view kAboutTitle = "About Orvane";
inline constexpr std::string_view kAboutVersion = "Orvane Version 1.0";
inline constexpr std::string_view kAboutSecondLine = "Camera firmware update tool";

// Why a sleep, log-off or shutdown is held off while a transfer runs.
inline constexpr std::string_view kHoldingSystem =
    "Orvane is writing the camera's firmware update files, or stopping safely.";

// The diagnostic line written when the arrival subscription fails: the
// Windows call's own name and code in hexadecimal there; the errno elsewhere.
std::string SubscribeFailedLine(unsigned long errorCode, HostSystem system);

// The status line while "UpDate" waits for the camera's storage to get its
// drive. Windows text is ANSI, so it gets three dots for the ellipsis.
std::string_view WaitingForDriveLine(HostSystem system);
// The status line while the camera's volume on `diskName` is being mounted
// (on Linux only: Windows mounts by itself).
std::string MountingLine(std::string_view diskName);

// The messages when the camera is there but its storage cannot be written:
// its disk `diskName` got no drive in time; it shows no storage at all; or
// its card slot is empty.
// `front` names what the user does to try again.
std::string DescribeDriveNotMounted(std::string_view diskName, HostSystem system,
                                    Front front = Front::Dialog);
std::string DescribeNoStorage(Front front = Front::Dialog);
std::string DescribeNoCard(Front front = Front::Dialog);
// The camera's storage, or a drive that may be on it, did not answer the
// system within a ceiling.
std::string DescribeNotAnswering(Front front = Front::Dialog);

// What a running transfer is doing: "Writing vorm.bin", ...
std::string DescribeStep(const TransferProgress& progress);

// The one-line status shown under the progress bar while a transfer runs:
// what it is doing, how far it is, and the warning not to disconnect.
std::string ProgressLine(const TransferProgress& progress);

// A sentence on what `error` means for the user, followed by the system's own
// text and number. `onCamera` tells whether the error came from the camera's drive.
std::string DescribeSystemError(const SystemError& error, bool onCamera);

// The message shown when "UpDate" cannot read the current directory, or it
// is too long to form the source folder.
std::string DescribeCurrentDirectoryFailure(const SystemError& error);

// The message shown when FirmWare.ini lacks the Path value of the named
// sections, so that a folder cannot be formed.
std::string DescribeMissingSettings(const std::vector<std::string>& sections);

// The message shown when the transfer failed: which step, the path involved,
// the system's text, and what that means for the files on the camera.
std::string DescribeTransferFailure(const TransferFailure& failure, HostSystem system,
                                    Front front = Front::Dialog);

// ---- The command line -------------------------------------------------------

// Said once on standard error when the run is over but a request the camera
// has taken still holds a thread, and the system keeps the process until the
// camera answers it (or gives up on the camera).
inline constexpr std::string_view kHeldByCamera =
    "The camera does not answer; this program ends as soon as the system lets it go.";

// A connected device that comes close to the camera `wanted` (the PID_VID
// value): what it is and what that likely means.
std::string DescribeNearMiss(const NearMiss& miss, std::string_view wanted);

// No camera matched `wanted` (at once when `waitedSeconds` is 0).
std::string DescribeNoCamera(std::string_view wanted, unsigned waitedSeconds);

// The camera is there but its storage cannot be written yet; said once
// while the command line keeps waiting.
std::string WaitingForStorageLine(const std::string& storageMessage);

// What the user is told after the update about the eject of `mountPoint`:
// whether the camera can be unplugged now, and if not, what to do first.
std::string DescribeEject(const EjectResult& result, std::string_view mountPoint);

}  // namespace orvane::texts

namespace orvane::texts {

// Where the dialog waits on a camera that has stopped answering.
enum class Silence {
    Looking,    // for its storage
    Writing,    // the new files, before any replaces an old one: Cancel keeps the old files
    Replacing,  // the new files taking the old ones' places
    Leaving,    // the same, after the user asked to leave: a second Cancel does
};

// What the user reads once the camera has not answered for a while: the
// dialog's status line, the command line's warning.
std::string NotAnsweringLine(Silence where, HostSystem system, Front front = Front::Dialog);
// It answers again: the command line says so; the dialog shows again what
// the silence hid (empty).
std::string AnswersAgainLine(Front front);

// ---- The update session -------------------------------------------------------

// Why the camera's storage cannot be written now, for each state: the one
// sentence both programs use. A drive state with no drive is "please check
// device".
std::string DescribeStorage(const DeviceStorage& storage, HostSystem system, Front front);
// While the session waits for the storage that `reason` says is missing:
// the dialog's status line, the command line's notice.
std::string WaitingLine(const std::string& reason, HostSystem system, Front front);
// While the command line waits for the camera itself.
std::string WaitingForCameraLine(std::string_view wanted, const std::vector<NearMiss>& misses);
// No camera matched, with the devices that came close.
std::string DescribeNoCamera(std::string_view wanted, unsigned waitedSeconds,
                             const std::vector<NearMiss>& misses);
// The volume was mounted: the command line says where.
std::string MountedLine(std::string_view device, std::string_view mountPoint, Front front);
// A mount that failed, in the front's words: the dialog says how to mount
// the volume by hand, the command line what the service said.
std::string DescribeMountFailure(const MountFailure& failure, std::string_view diskName,
                                 HostSystem system, Front front);
// A stop was taken on while the transfer ran (the command line says so).
std::string StoppingLine(Front front);
// A stop while the session still waited: nothing was written.
std::string DescribeStoppedWaiting(Front front);
// The program leaves a camera that does not answer after a stop: before
// its replacements (`replacing` false), or in their middle.
std::string DescribeLeftBehind(bool replacing, Front front);
// A run over several cameras: one seen but never started, as the run was
// stopped; several that the system cannot tell apart; `message` said of the
// camera at `instance`.
std::string DescribeNotStarted(std::string_view instance);
std::string DescribeCamerasUntold();
std::string AboutCamera(std::string_view instance, std::string_view message);

}  // namespace orvane::texts
