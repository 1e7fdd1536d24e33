// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Formatting of the updater's messages.
#include "texts/texts.h"

#include <algorithm>
#include <cstdio>

namespace orvane::texts {

std::string SubscribeFailedLine(unsigned long errorCode, HostSystem system) {
    char line[96];
    if (system == HostSystem::Windows)
        std::snprintf(line, sizeof line, "RegisterDeviceNotification failed: %lx.\n", errorCode);
    else
        std::snprintf(line, sizeof line, "Listening for device events failed: error %lu.\n",
                      errorCode);
    return line;
}

namespace {

std::string_view KindSentence(ErrorKind kind, bool onCamera) {
    switch (kind) {
        case ErrorKind::NotFound:
            return "The file or folder does not exist.";
        case ErrorKind::DiskFull:
            return onCamera ? "The camera's drive is full." : "The drive is full.";
        case ErrorKind::WriteProtected:
            return onCamera
                       ? "The camera's drive is write-protected. Check the lock switch of the card."
                       : "The drive is write-protected.";
        case ErrorKind::AccessDenied:
            return "Access was denied.";
        case ErrorKind::DeviceGone:
            return onCamera ? "The camera was disconnected, or its storage stopped answering."
                            : "The drive is no longer there.";
        case ErrorKind::NoMedium:
            return onCamera ? "There is no card in the camera."
                            : "There is no medium in the drive.";
        case ErrorKind::TooLong:
            return "The path is too long.";
        case ErrorKind::OutsideVolume:
            return "The path leads off the camera's drive, through a link or into another "
                   "drive mounted there. Nothing was written outside the camera's drive.";
        case ErrorKind::AlreadyExists:
        case ErrorKind::Other:
            break;
    }
    return {};
}

// A Linux volume that took writes and then refuses them was remounted
// read-only by the kernel after an I/O error; the card's lock switch cannot
// move meanwhile. Windows does no such thing.
constexpr std::string_view kTurnedReadOnly =
    "The camera's drive stopped accepting writes during the update. The system does this after "
    "a read or write error, when the card is damaged or the camera was disconnected.";

std::string WithSystemText(std::string out, const SystemError& error) {
    std::string system = error.text;
    while (!system.empty() &&
           (system.back() == '\n' || system.back() == '\r' || system.back() == ' '))
        system.pop_back();
    if (!system.empty() || error.code != 0) {
        if (!out.empty()) out += '\n';
        out += "System: ";
        out += system.empty() ? std::string("error") : system;
        out += " (" + std::to_string(error.code) + ")";
    }
    return out;
}

}  // namespace

std::string DescribeSystemError(const SystemError& error, bool onCamera) {
    return WithSystemText(std::string(KindSentence(error.kind, onCamera)), error);
}

}  // namespace orvane::texts

namespace orvane::texts {

namespace {

// What the user does to try again, in the words of the front end.
std::string Again(Front front) {
    return front == Front::Dialog ? "press UpDate again" : "run orvane-cli again";
}

std::string Capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::string Join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) {
        if (part.empty()) continue;
        if (!out.empty()) out += "\n\n";
        out += part;
    }
    return out;
}

std::string Megabytes(std::uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB (%llu bytes)", static_cast<double>(bytes) / 1e6,
                  static_cast<unsigned long long>(bytes));
    return text;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
        out += names[i];
    }
    return out;
}

std::string_view RefusalReason(DriveRefusal refusal) {
    switch (refusal) {
        case DriveRefusal::Network:
            return "it is a network drive";
        case DriveRefusal::Optical:
            return "it is a CD or DVD drive";
        case DriveRefusal::SystemDrive:
            return "it holds the running system";
        case DriveRefusal::NotRemovable:
            return "it is a fixed disk, neither USB nor removable";
        case DriveRefusal::Gone:
            return "it is no longer there";
        case DriveRefusal::None:
            break;
    }
    return "it cannot be the camera";
}

}  // namespace

std::string DescribeStep(const TransferProgress& progress) {
    switch (progress.phase) {
        case TransferPhase::Preparing:
            break;
        case TransferPhase::Writing:
            return "Writing " + progress.file;
        case TransferPhase::Checking:
            return "Checking " + progress.file;
        case TransferPhase::PuttingInPlace:
            return "Putting the files in place";
    }
    return "Preparing the update";
}

std::string ProgressLine(const TransferProgress& progress) {
    return DescribeStep(progress) + ", " + std::to_string(PercentDone(progress)) + "%. " +
           std::string(kDoNotDisconnect);
}

std::string DescribeCurrentDirectoryFailure(const SystemError& error) {
    return Join({"The current folder could not be read, so the update files cannot be found.",
                 error.kind == ErrorKind::TooLong
                     ? std::string("Its path is longer than 259 characters.")
                     : DescribeSystemError(error, false),
                 "Nothing was written to the camera."});
}

std::string DescribeMissingSettings(const std::vector<std::string>& sections) {
    std::vector<std::string> named;
    for (const std::string& section : sections) named.push_back("[" + section + "]");
    return Join({"FirmWare.ini has no Path value in " + JoinNames(named) +
                     ", so the update files cannot be placed.",
                 "Nothing was written to the camera."});
}

std::string_view WaitingForDriveLine(HostSystem system) {
    return system == HostSystem::Windows ? "Waiting for the camera's drive..."
                                         : "Waiting for the camera's drive\u2026";
}

std::string MountingLine(std::string_view diskName) {
    return "Mounting the camera's storage " + std::string(diskName) + "\u2026";
}

std::string DescribeDriveNotMounted(std::string_view diskName, HostSystem system, Front front) {
    const std::string disk(diskName);
    if (system == HostSystem::Windows)
        return Join(
            {"The camera is connected, but its storage (" + disk + ") has no drive letter yet.",
             "Wait until Windows has finished setting up the camera, or give its volume "
             "a drive letter in Disk Management. Then " +
                 Again(front) + ".",
             "Nothing was written."});
    return Join({"The camera is connected, but its storage " + disk + " is not mounted.",
                 "Mount it (open it in the file manager, or run: udisksctl mount -b " + disk +
                     "), then " + Again(front) + ".",
                 "Nothing was written."});
}

std::string DescribeNoStorage(Front front) {
    return Join(
        {"The camera is connected but shows no storage.",
         "Set the camera's USB mode to mass storage in its menu, then " + Again(front) + ".",
         "Nothing was written."});
}

std::string DescribeNoCard(Front front) {
    return Join({"There is no card in the camera.",
                 "Put the card in the camera, then " + Again(front) + ".", "Nothing was written."});
}

std::string DescribeNotAnswering(Front front) {
    return Join({"The camera is connected, but its storage is not answering.",
                 "Unplug the camera, plug it in again, then " + Again(front) + ".",
                 "Nothing was written."});
}

std::string DescribeTransferFailure(const TransferFailure& failure, HostSystem system,
                                    Front front) {
    const std::string unchanged = "The files on the camera were not changed.";
    std::string what;
    const bool onCamera =
        failure.step != TransferStep::OpenSource && failure.step != TransferStep::ReadSource;
    std::string why = system == HostSystem::Linux && failure.driveWasWritable &&
                              failure.error.kind == ErrorKind::WriteProtected
                          ? WithSystemText(std::string(kTurnedReadOnly), failure.error)
                          : DescribeSystemError(failure.error, onCamera);
    std::string outcome = unchanged;
    if (onCamera && failure.error.kind == ErrorKind::DeviceGone)
        outcome += " Reconnect the camera and " + Again(front) + ".";
    if (onCamera && failure.error.kind == ErrorKind::NoMedium)
        outcome += " Put the card in the camera and " + Again(front) + ".";
    switch (failure.step) {
        case TransferStep::CheckDrive:
            if (system == HostSystem::Windows)
                what = "Drive " + failure.path + " was taken as the camera's drive, but " +
                       std::string(RefusalReason(failure.refusal)) +
                       ". Connect the camera and check that its storage has a drive letter.";
            else
                what = "The volume at " + failure.path + " was taken as the camera's, but " +
                       std::string(RefusalReason(failure.refusal)) +
                       ". Connect the camera and check that its storage is mounted.";
            outcome = "Nothing was written.";
            break;
        case TransferStep::OpenSource:
            if (failure.error.kind == ErrorKind::NotFound) {
                std::string folder = failure.path.substr(
                    0, failure.path.size() - std::min(failure.path.size(), failure.file.size()));
                what = "The update file " + failure.file + " was not found in the folder " +
                       folder + ".";
                why.clear();
            } else {
                what = "The update file " + failure.path + " could not be opened.";
            }
            break;
        case TransferStep::ReadSource:
            what = "The update file " + failure.path + " could not be read.";
            break;
        case TransferStep::CheckSpace:
            if (failure.error.text.empty() && failure.error.code == 0) {
                what = "There is not enough room on drive " + failure.path +
                       " for the update.\nNeeded: " + Megabytes(failure.needed) +
                       "\nFree: " + Megabytes(failure.available);
            } else {
                what = "The free space on drive " + failure.path + " could not be read.";
            }
            break;
        case TransferStep::CreateFolder:
            what = "The folder " + failure.path + " could not be created on the camera.";
            break;
        case TransferStep::WriteFile:
            what = "The file " + failure.path + " could not be written.";
            break;
        case TransferStep::VerifyFile:
            what = why.empty() ? "The file " + failure.path +
                                     " read back from the camera differs from the update file."
                               : "The file " + failure.path +
                                     " could not be read back from the camera to check it.";
            break;
        case TransferStep::Stopped:
            what = "The update was stopped before any file on the camera was replaced.";
            break;
        case TransferStep::ReplaceFile: {
            const bool tookPlace = std::find(failure.replaced.begin(), failure.replaced.end(),
                                             failure.file) != failure.replaced.end();
            if (failure.outcomeUnknown) {
                what = "The file " + failure.path + " was being replaced when the camera's drive " +
                       "went away.";
                outcome =
                    "Which of the files on the camera are new is not known. Reconnect the "
                    "camera and " +
                    Again(front) + ".";
                break;
            }
            what = tookPlace
                       ? "The new " + failure.path +
                             " was put in place, but the system could not confirm that "
                             "it reached the camera."
                       : "The file " + failure.path + " could not be replaced with the new one.";
            if (!failure.replaced.empty()) {
                outcome = "The camera already has the new " + JoinNames(failure.replaced);
                if (!failure.pending.empty())
                    outcome += ", but not yet the new " + JoinNames(failure.pending);
                outcome += ". " + Capitalised(Again(front)) + " to finish the update.";
            }
            break;
        }
    }
    return Join({what, why, outcome});
}

namespace {

std::string IdentityText(const UsbIdentity& identity) {
    std::string text = "USB\\VID_" + identity.vendor + "&PID_" + identity.product;
    if (!identity.revision.empty()) text += "&REV_" + identity.revision;
    return text;
}

}  // namespace

std::string DescribeNearMiss(const NearMiss& miss, std::string_view wanted) {
    const std::optional<UsbIdentity> camera = ParseUsbHardwareId(wanted);
    if (!camera) return {};
    if (miss.kind == NearMiss::Kind::OtherProduct)
        return "A device of the same maker is connected (" + IdentityText(miss.found) +
               "), but not as the camera this update is for (product " + camera->product +
               "). Check the camera's USB mode: it must be mass storage.";
    if (camera->revision.empty())
        return "The camera " + IdentityText(miss.found) +
               " is connected, but PID_VID in FirmWare.ini has no revision part (&REV_...), "
               "so it matches no device.";
    return "The camera is connected, but it reports revision " + miss.found.revision +
           " and this update is for revision " + camera->revision +
           ". The revision is usually the camera's firmware version: the camera may already "
           "be updated.";
}

std::string DescribeNoCamera(std::string_view wanted, unsigned waitedSeconds) {
    std::string text = "No camera with the hardware ID " + std::string(wanted) + " was found";
    if (waitedSeconds > 0) text += " within " + std::to_string(waitedSeconds) + " s";
    return text + ". Nothing was written.";
}

std::string WaitingForStorageLine(const std::string& storageMessage) {
    // The first sentence says what is missing; the rest is for the failure.
    const std::size_t end = storageMessage.find("\n");
    return storageMessage.substr(0, end) + " Waiting for it.";
}

}  // namespace orvane::texts

namespace orvane::texts {

std::string NotAnsweringLine(Silence where, HostSystem system, Front front) {
    if (front == Front::CommandLine) {
        if (where == Silence::Replacing || where == Silence::Leaving)
            return "The camera is not answering while its new files take the old ones' places. "
                   "Waiting for it: do not disconnect it.";
        return "The camera is not answering: nothing has moved for 2 seconds. Waiting for it; "
               "Ctrl-C stops the update and leaves its old files.";
    }
    const std::string_view ellipsis = system == HostSystem::Windows ? "..." : "\u2026";
    switch (where) {
        case Silence::Looking:
            return "The camera is not answering. Waiting for it" + std::string(ellipsis);
        case Silence::Writing:
            return "The camera is not answering. Cancel keeps its old files.";
        case Silence::Replacing:
            return "The camera is not answering. Do not disconnect it.";
        case Silence::Leaving:
            return "The camera is not answering. Cancel again to leave anyway.";
    }
    return {};
}

std::string AnswersAgainLine(Front front) {
    return front == Front::CommandLine ? "The camera answers again." : "";
}

}  // namespace orvane::texts
