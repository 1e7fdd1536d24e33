// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A temporary folder for a test, with helpers that lay out files in it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace orvane::linux_port::testing {

class TempTree {
  public:
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        root_ = pattern;
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::string operator/(const std::string& relative) const { return root_ / relative; }

    // Writes `text` to `relative`, creating the folders on the way.
    std::filesystem::path Write(const std::string& relative, const std::string& text) const {
        std::filesystem::path file = root_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

    std::filesystem::path MakeFolder(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
        return root_ / relative;
    }

    // A USB device entry as sysfs shows it under bus/usb/devices.
    void AddUsbDevice(const std::string& name, const std::string& vendor,
                      const std::string& product, const std::string& revision) const {
        Write("usb/" + name + "/idVendor", vendor + "\n");
        Write("usb/" + name + "/idProduct", product + "\n");
        Write("usb/" + name + "/bcdDevice", revision + "\n");
    }

  private:
    std::filesystem::path root_;
};

// The device number of the filesystem holding `path`, "major:minor" as the
// mount table writes it.
inline std::string DeviceNumberOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) ADD_FAILURE() << "cannot stat " << path;
    return std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace orvane::linux_port::testing
