// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What the user is told about mounting and ejecting the camera's volume.
#include "texts/texts.h"

namespace orvane::texts {

namespace {

// " (the service's words)" or nothing.
std::string InParentheses(const std::string& detail) {
    return detail.empty() ? std::string() : " (" + detail + ")";
}

}  // namespace

std::string DescribeMountFailure(const MountFailure& failure, std::string_view diskName,
                                 HostSystem system, Front front) {
    // The dialog's user mounts it as a desktop user does.
    if (front == Front::Dialog && failure.kind != MountFailure::Kind::Stopped)
        return DescribeDriveNotMounted(diskName, system, front);
    const std::string disk(diskName);
    // The service may still finish it after the program ends; the user is
    // told what stands now.
    if (failure.kind == MountFailure::Kind::Stopped)
        return "Stopped while waiting for UDisks2 to mount " + disk +
               ": it was not mounted. Nothing was written.";
    const std::string what = "The camera is connected, but its storage " + disk + " is not mounted";
    // Mounted by root, a FAT volume belongs to root unless told otherwise.
    const std::string yourself = "mount it yourself (for example: sudo mount -o uid=$(id -u) " +
                                 disk + " /mnt), then run orvane-cli again.";
    std::string why;
    std::string todo;
    switch (failure.kind) {
        case MountFailure::Kind::NoService:
            why = ", and UDisks2 is not running to mount it" + InParentheses(failure.detail) + ".";
            todo = "Start UDisks2 (the udisks2 service) or " + yourself;
            break;
        case MountFailure::Kind::NotAuthorised:
            why = ", and mounting it through UDisks2 was not authorised" +
                  InParentheses(failure.detail) + ".";
            todo =
                "Run orvane-cli in a session at the machine itself, or with a polkit "
                "authentication agent (pkttyagent), or " +
                yourself;
            break;
        case MountFailure::Kind::NotKnown:
            why = ", and UDisks2 does not know it" + InParentheses(failure.detail) + ".";
            todo = "Reconnect the camera, or " + yourself;
            break;
        case MountFailure::Kind::NoFilesystem:
            why = ", and UDisks2 finds no file system on it to mount.";
            todo = "Format the card in the camera, then run orvane-cli again.";
            break;
        case MountFailure::Kind::Failed:
        case MountFailure::Kind::Stopped:
            why = ", and UDisks2 could not mount it" + InParentheses(failure.detail) + ".";
            todo = "Check the card in the camera, or " + yourself;
            break;
    }
    return what + why + "\n" + todo + "\nNothing was written.";
}

namespace {

std::string_view VetoReason(EjectVeto veto) {
    switch (veto) {
        case EjectVeto::OpenFiles:
            return "a program still has a file or the volume open";
        case EjectVeto::Program:
            return "a program refused";
        case EjectVeto::Service:
            return "a service refused";
        case EjectVeto::PendingClose:
            return "a file on it is still being closed";
        case EjectVeto::Driver:
            return "a device or its driver refused";
        case EjectVeto::NotRemovable:
            return "the device cannot be removed while the system runs";
        case EjectVeto::NoRights:
            return "this account may not remove it";
        case EjectVeto::Gone:
            return "it was already removed";
        case EjectVeto::None:
        case EjectVeto::Unknown:
            break;
    }
    return "the system gave no reason";
}

// Windows ejects the device itself: the volume is a drive letter there.
std::string DescribeSystemEject(const EjectResult& result, std::string_view mountPoint) {
    const std::string volume = std::string(mountPoint) + (mountPoint.size() == 1 ? ":" : "");
    if (!result.failure) return "Windows ejected the camera (" + volume + "): it can be unplugged.";
    const MountFailure& failure = *result.failure;
    std::string why;
    if (failure.kind == MountFailure::Kind::NotKnown)
        why = failure.detail.empty() ? "the system did not say which device the camera is"
                                     : "the system does not find its device " + failure.detail;
    else
        why = "Windows refused: " + std::string(VetoReason(result.veto)) +
              InParentheses(failure.detail);
    return "Could not eject the camera (" + volume + "): " + why +
           ".\nThe update files are on the camera, but use Safely Remove Hardware on " + volume +
           " before you unplug it.";
}

}  // namespace

std::string DescribeEject(const EjectResult& result, std::string_view mountPoint) {
    if (result.bySystem) return DescribeSystemEject(result, mountPoint);
    const std::string volume(mountPoint);
    if (!result.failure) {
        if (result.poweredOff)
            return "Unmounted " + volume +
                   " and powered the camera off through UDisks2: it can be unplugged.";
        return "Unmounted " + volume + " through UDisks2: the camera can be unplugged.";
    }
    const std::string detail = InParentheses(result.failure->detail);
    const bool stopped = result.failure->kind == MountFailure::Kind::Stopped;
    if (result.unmounted && stopped)
        return "Unmounted " + volume +
               " through UDisks2, but stopped before the camera was powered off. It can be "
               "unplugged once no other volume of it is mounted.";
    if (result.unmounted)
        return "Unmounted " + volume + " through UDisks2, but could not power the camera off" +
               detail + ". It can be unplugged once no other volume of it is mounted.";
    const std::string unmountYourself =
        "The update files are on the camera, but unmount the volume (umount " + volume +
        ") before you unplug the camera.";
    if (stopped)
        return "Stopped while waiting for UDisks2 to unmount " + volume +
               ": the volume is still mounted.\n" + unmountYourself;
    if (result.failure->kind == MountFailure::Kind::NoService)
        return "UDisks2 is not running to unmount " + volume + detail + ".\n" + unmountYourself;
    if (result.failure->kind == MountFailure::Kind::NotAuthorised)
        return "Unmounting " + volume + " through UDisks2 was not authorised" + detail + ".\n" +
               unmountYourself;
    return "UDisks2 could not unmount " + volume + detail + ".\n" + unmountYourself;
}

}  // namespace orvane::texts
