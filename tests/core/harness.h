// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A dialog on the fake platform, set up as a user's machine would be.
#pragma once

#include <memory>
#include <string>

#include "platform/fake/fake_platform.h"
#include "ui/updater_dialog.h"

namespace orvane::testing {

inline constexpr const char* kCameraId = "USB\\VID_04DA&PID_2372&REV_0100";
inline constexpr const char* kCameraIdNoRev = "USB\\VID_04DA&PID_2372";
// The camera's device instance and the device tree it sits in: a USB port of
// a hub of the root hub; its disk hangs from a mass-storage node below it.
inline constexpr const char* kCameraInstance = "USB\\VID_04DA&PID_2372\\CAM0001";
inline constexpr const char* kRootHub = "USB\\ROOT_HUB30\\4&1A2B3C&0&0";
inline constexpr const char* kIniPath = "C:\\Tools\\Update\\FirmWare.ini";
inline constexpr const char* kSourceFolder = "C:\\Tools\\Update\\fw\\";

struct Harness {
    fake::FakePlatform platform;
    std::unique_ptr<CUpdaterDialog> dialog;

    Harness() {
        platform.SetProfileValue(kIniPath, "PID_VID", "PID_VID", kCameraId);
        platform.SetProfileValue(kIniPath, "SrcPath", "Path", "\\fw\\");
        platform.SetProfileValue(kIniPath, "DestPath", "Path", "\\FIRMWARE\\");
        platform.folders = {"C:\\Tools", "C:\\Tools\\Update", "C:\\Tools\\Update\\fw"};
        platform.files[std::string(kSourceFolder) + "vorm.bin"] = FirmwareImage();
        platform.files[std::string(kSourceFolder) + "dsccmd.ini"] = "[CMD]\r\nUPDATE=1\r\n";
    }

    // Builds the dialog and runs its initialization, as the host does on open.
    CUpdaterDialog& Open() {
        dialog = std::make_unique<CUpdaterDialog>(platform);
        platform.timerTarget = [this](unsigned id) { dialog->OnTimer(id); };
        dialog->OnInitDialog();
        // The first scan runs on a thread of its own: its answer comes first.
        if (platform.threaded) {
            platform.JoinThreads();
            platform.DeliverPosted();
        }
        return *dialog;
    }

    // Plugs the camera, its volume mounted as `driveLetter` on disk `disk`.
    void PlugCamera(const std::string& driveLetter = "G", const std::string& disk = "1") {
        PlugCameraWithoutDrive(disk);
        Mount(driveLetter, disk);
    }

    // Plugs the camera with its disk, which has no drive yet.
    void PlugCameraWithoutDrive(const std::string& disk = "1", unsigned unit = 0) {
        platform.Plug({kCameraId, kCameraIdNoRev}, kCameraInstance);
        AddCameraDisk(disk, unit);
    }
    void AddCameraDisk(const std::string& disk, unsigned unit) {
        AddDisk(
            disk,
            {"USBSTOR\\DISK&VEN_VORM\\CAM0001&" + std::to_string(unit), kCameraInstance, kRootHub},
            unit);
    }

    // A drive `letter` on disk `disk`.
    void Mount(const std::string& letter, const std::string& disk) {
        platform.Drive(letter).diskId = disk;
    }

    // A USB stick of its own, plugged after the camera.
    void PlugStick(const std::string& driveLetter, const std::string& disk = "2") {
        const std::string instance = "USB\\VID_0951&PID_1666\\STICK01";
        platform.Plug({"USB\\VID_0951&PID_1666&REV_0110"}, instance);
        AddDisk(disk, {"USBSTOR\\DISK&VEN_KING\\STICK01&0", instance, kRootHub});
        Mount(driveLetter, disk);
    }

    void AddDisk(const std::string& id, std::vector<std::string> ancestors, unsigned unit = 0) {
        ancestors.push_back("ROOT\\PCI");
        StorageDisk disk;
        disk.id = id;
        disk.ancestors = std::move(ancestors);
        disk.name = "disk " + id;
        disk.unit = unit;
        platform.tree.layout.disks.push_back(std::move(disk));
    }

    // Lets `times` half seconds pass, with the timers' expiries as they fall
    // due: what the user sees meanwhile is the dialog's own business.
    void Tick(unsigned times) { platform.Advance(times * kHalfSecond); }
    static constexpr std::chrono::milliseconds kHalfSecond{500};
    // The half seconds a press of "UpDate" waits for the camera's storage.
    static constexpr unsigned kWaitTicks = 30;

    // A firmware image of a few chunks, so that copies take several reads.
    static std::string FirmwareImage() {
        std::string image(3 * (1u << 20) + 12345, '\0');
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>((i * 2654435761u) >> 13);
        return image;
    }
};

}  // namespace orvane::testing
