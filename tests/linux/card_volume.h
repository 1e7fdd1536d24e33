// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A camera's memory card for tests: an image file formatted as a camera
// formats it, mounted through FUSE, since the kernel here may lack the vfat
// and exfat drivers. exFAT goes on a loop device, so that it is a block-device
// volume (fuseblk) as a card in a reader is; FAT32 is mounted from the image.
//
// Mounting needs root, FUSE and the tools; the caller works in a private mount
// namespace of its own (see EnterPrivateMountNamespace), so nothing mounted
// here is seen outside the test process.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace orvane::linux_port::testing {

enum class CardFormat { Exfat, Fat32 };

// Runs a shell command, keeping what it printed; whether it succeeded.
inline bool RunCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return false;
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    const int status = ::pclose(pipe);
    if (output != nullptr) *output = text;
    return status == 0;
}

inline std::string Quoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Moves this process into a mount namespace of its own, whose mounts do not
// propagate back. Returns why it cannot, or an empty text.
inline std::string EnterPrivateMountNamespace() {
    if (::geteuid() != 0) return "needs root to mount a camera volume";
    if (::unshare(CLONE_NEWNS) != 0)
        return std::string("cannot make a private mount namespace: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make the mounts private: ") + std::strerror(errno);
    return {};
}

// Why a card of `format` cannot be mounted here; empty when it can.
inline std::string CardUnavailable(CardFormat format) {
    if (::geteuid() != 0) return "needs root to mount a card image";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return "no /dev/fuse: FUSE is not available";
    const char* tools = format == CardFormat::Exfat
                            ? "command -v mkfs.exfat && command -v mount.exfat-fuse && "
                              "command -v losetup"
                            : "command -v mkfs.vfat && command -v fusefat";
    if (!RunCommand(tools))
        return format == CardFormat::Exfat ? "exfatprogs and exfat-fuse are not installed"
                                           : "dosfstools and fusefat are not installed";
    return {};
}

class CardVolume {
  public:
    // Formats an image of `bytes` with clusters of `clusterBytes` and mounts
    // it on `mountPoint`; `error()` says what failed.
    CardVolume(CardFormat format, const std::filesystem::path& image,
               const std::filesystem::path& mountPoint, std::uint64_t bytes,
               std::uint64_t clusterBytes)
        : mountPoint_(mountPoint) {
        if (std::FILE* file = std::fopen(image.c_str(), "wb")) std::fclose(file);
        std::filesystem::resize_file(image, bytes);  // sparse: costs no disk
        std::string output;
        if (format == CardFormat::Exfat) {
            if (!Step("mkfs.exfat -c " + std::to_string(clusterBytes) + " " + Quoted(image)) ||
                !RunCommand("losetup -f --show " + Quoted(image), &output)) {
                if (error_.empty()) error_ = "losetup: " + output;
                return;
            }
            loopDevice_ = output.substr(0, output.find('\n'));
            if (!Step("mount.exfat-fuse -o rw " + loopDevice_ + " " + Quoted(mountPoint))) return;
        } else {
            const std::uint64_t sectors = clusterBytes / 512;
            if (!Step("mkfs.vfat -F 32 -S 512 -s " + std::to_string(sectors) + " " +
                      Quoted(image)) ||
                !Step("fusefat -o rw+ " + Quoted(image) + " " + Quoted(mountPoint)))
                return;
        }
        mounted_ = true;
    }
    ~CardVolume() { Unmount(); }
    CardVolume(const CardVolume&) = delete;
    CardVolume& operator=(const CardVolume&) = delete;

    const std::string& error() const { return error_; }
    // The loop device's path ("/dev/loop3"); empty for a card without one.
    const std::string& loopDevice() const { return loopDevice_; }

    // Unmounts, waiting for the FUSE daemon to let go of its device.
    void Unmount() {
        if (mounted_) {
            if (::umount2(mountPoint_.c_str(), 0) != 0) ::umount2(mountPoint_.c_str(), MNT_DETACH);
            mounted_ = false;
        }
        if (loopDevice_.empty()) return;
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (RunCommand("losetup -d " + loopDevice_)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        loopDevice_.clear();
    }

  private:
    bool Step(const std::string& command) {
        std::string output;
        if (RunCommand(command, &output)) return true;
        error_ = command + ": " + output;
        return false;
    }

    std::filesystem::path mountPoint_;
    std::string loopDevice_;
    std::string error_;
    bool mounted_ = false;
};

}  // namespace orvane::linux_port::testing
