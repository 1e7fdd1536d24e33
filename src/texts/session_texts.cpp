// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What an update session tells the user while it waits, mounts and stops.
#include "texts/texts.h"

namespace orvane::texts {

std::string DescribeStorage(const DeviceStorage& storage, HostSystem system, Front front) {
    using State = DeviceStorage::State;
    switch (storage.state) {
        case State::Drive:
            break;
        case State::NotMounted:
            return DescribeDriveNotMounted(storage.diskName, system, front);
        case State::NoMedium:
            return DescribeNoCard(front);
        case State::NoStorage:
            return DescribeNoStorage(front);
        case State::NotAnswering:
            return DescribeNotAnswering(front);
    }
    return std::string(kCheckDevice);
}

std::string WaitingLine(const std::string& reason, HostSystem system, Front front) {
    if (front == Front::Dialog) return std::string(WaitingForDriveLine(system));
    return WaitingForStorageLine(reason);
}

namespace {

std::string MissLines(const std::vector<NearMiss>& misses, std::string_view wanted) {
    std::string lines;
    for (const NearMiss& miss : misses) lines += "\n" + DescribeNearMiss(miss, wanted);
    return lines;
}

}  // namespace

std::string WaitingForCameraLine(std::string_view wanted, const std::vector<NearMiss>& misses) {
    return "Waiting for the camera " + std::string(wanted) + " (Ctrl-C to stop)." +
           MissLines(misses, wanted);
}

std::string DescribeNoCamera(std::string_view wanted, unsigned waitedSeconds,
                             const std::vector<NearMiss>& misses) {
    return DescribeNoCamera(wanted, waitedSeconds) + MissLines(misses, wanted);
}

std::string MountedLine(std::string_view device, std::string_view mountPoint, Front front) {
    if (front == Front::Dialog) return {};
    return "Mounted " + std::string(device) + " at " + std::string(mountPoint) +
           " through UDisks2.";
}

std::string StoppingLine(Front front) {
    if (front == Front::Dialog) return {};
    return "Stopping: the camera keeps its old files, unless their replacement has begun, "
           "which then finishes first.";
}

std::string DescribeStoppedWaiting(Front front) {
    if (front == Front::Dialog) return {};
    return "Stopped while waiting for the camera. Nothing was written.";
}

std::string DescribeLeftBehind(bool replacing, Front front) {
    if (front == Front::Dialog) return {};
    if (replacing)
        return "Stopped: the camera does not answer while its new files take the old ones' "
               "places, so orvane-cli ends without waiting for it. Which of its files are new "
               "is not known: run orvane-cli again once it answers.";
    return "Stopped: the camera does not answer, so orvane-cli ends without waiting for it. Its "
           "old files were not replaced; a temporary file may be left on it, which the next run "
           "removes.";
}

std::string DescribeNotStarted(std::string_view instance) {
    return "A camera at " + std::string(instance) +
           " was not started: the run was stopped first. Nothing was written to it.";
}

std::string DescribeCamerasUntold() {
    return "Another camera is or was connected in this run, and this system does not say which "
           "drive is whose, so --all cannot tell where this camera's files go.\nConnect one camera "
           "at a time and run orvane-cli again (--all then updates it as a run for one camera "
           "does).\nNothing was written to it.";
}

std::string AboutCamera(std::string_view instance, std::string_view message) {
    return "A camera at " + std::string(instance) + ": " + std::string(message);
}

}  // namespace orvane::texts
