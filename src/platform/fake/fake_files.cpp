// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The fake's files and folders, in memory, with a failure injectable into
// any operation.
#include <algorithm>
#include <cstring>

#include "platform/fake/fake_common.h"
#include "platform/fake/fake_platform.h"

namespace orvane::fake {

namespace {

class FakeReader : public ReadableFile {
  public:
    FakeReader(FakePlatform& platform, std::string path, std::string content, bool uncached)
        : platform_(platform),
          path_(std::move(path)),
          content_(std::move(content)),
          uncached_(uncached) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (auto error = platform_.FileOp("Read " + path_)) return *error;
        std::size_t n = std::min(buffer.size(), content_.size() - offset_);
        if (uncached_) platform_.pacedDevice.Read(n);
        std::memcpy(buffer.data(), content_.data() + offset_, n);
        offset_ += n;
        return n;
    }
    std::uint64_t Size() const override { return content_.size(); }

  private:
    FakePlatform& platform_;
    std::string path_;
    std::string content_;
    std::size_t offset_ = 0;
    bool uncached_;
};

class FakeWriter : public WritableFile {
  public:
    FakeWriter(FakePlatform& platform, std::string path)
        : platform_(platform), path_(std::move(path)) {}

    Status Write(std::span<const std::byte> data) override {
        std::string& content = platform_.files[path_];
        if (auto error = platform_.FileOp("Write " + path_)) {
            if (!platform_.Ended())
                content.append(reinterpret_cast<const char*>(data.data()), data.size() / 2);
            return *error;
        }
        content.append(reinterpret_cast<const char*>(data.data()), data.size());
        platform_.pacedDevice.Write(data.size());
        platform_.bytesOnDevice[path_] = written_;
        written_ += data.size();
        return Ok();
    }
    std::uint64_t BytesOnDevice() const override { return platform_.bytesOnDevice[path_]; }
    Status Flush() override {
        if (auto error = platform_.FileOp("Flush " + path_)) return *error;
        platform_.pacedDevice.Step();
        platform_.bytesOnDevice[path_] = written_;
        return Ok();
    }
    Status Close() override {
        if (auto error = platform_.FileOp("Close " + path_)) return *error;
        return Ok();
    }

  private:
    FakePlatform& platform_;
    std::string path_;
    std::uint64_t written_ = 0;
};

}  // namespace

std::vector<std::string> FakePlatform::FilesUnder(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& [path, content] : files) {
        if (path.rfind(prefix, 0) == 0) out.push_back(path);
    }
    return out;
}

std::optional<SystemError> FakePlatform::FileOp(const std::string& what) {
    ++fileOps;
    Log(what);
    if (Ended()) return Error(ErrorKind::Other, "The process has ended.");
    if (onFileOp) onFileOp(what);
    if (unpluggedDrive_ && what.find(*unpluggedDrive_ + ":") != std::string::npos)
        return Error(ErrorKind::NotFound, "The system cannot find the path specified.");
    for (const DriveOnDisk& drive : tree.layout.drives) {
        if (!drive.hasMedium && what.find(" " + drive.drive + ":") != std::string::npos)
            return Error(ErrorKind::NoMedium, "The device is not ready.");
    }
    if (fileOps != failFileOpAt) return std::nullopt;
    if (failureUnplugs && !tree.layout.drives.empty()) {
        unpluggedDrive_ = tree.layout.drives.back().drive;
        tree.layout.drives.pop_back();
    }
    return Error(failKind, "Injected failure of " + what + ".");
}

bool FakePlatform::FolderExists(const std::string& path) const {
    std::string stripped = StripSeparator(path);
    if (stripped.size() == 2 && stripped[1] == ':') {
        const std::vector<std::string> drives = Drives();
        return std::find(drives.begin(), drives.end(), stripped.substr(0, 1)) != drives.end();
    }
    return folders.count(stripped) != 0;
}

Result<VolumeSpace> FakePlatform::FreeSpace(std::string_view path) {
    if (auto error = FileOp("FreeSpace " + std::string(path))) return *error;
    if (!freeSpace) return Error(ErrorKind::Other, "Free space unknown.");
    return VolumeSpace{*freeSpace, clusterSize};
}

Status FakePlatform::HoldVolume(std::string_view drive) {
    Log("HoldVolume");
    if (holdError) return *holdError;
    heldVolume = std::string(drive);
    return Ok();
}

void FakePlatform::ReleaseVolume() {
    Log("ReleaseVolume");
    heldVolume.reset();
}

Status FakePlatform::MakeDirectory(std::string_view path) {
    std::string folder = StripSeparator(std::string(path));
    if (auto error = FileOp("MakeDirectory " + folder)) return *error;
    if (FolderExists(folder) || files.count(folder))
        return Error(ErrorKind::AlreadyExists,
                     "Cannot create a file when that file already exists.");
    if (!FolderExists(ParentOf(folder)))
        return Error(ErrorKind::NotFound, "The system cannot find the path specified.");
    folders.insert(folder);
    return Ok();
}

Result<std::unique_ptr<ReadableFile>> FakePlatform::OpenForRead(std::string_view path,
                                                                ReadCaching caching) {
    std::string name(path);
    if (auto error = FileOp("OpenForRead " + name)) return *error;
    auto it = files.find(name);
    if (it == files.end())
        return Error(ErrorKind::NotFound, "The system cannot find the file specified.");
    std::string content = it->second;
    if (caching == ReadCaching::Uncached && corruptOnDevice.count(name) && !content.empty())
        content[content.size() / 2] ^= 0x5a;
    return std::unique_ptr<ReadableFile>(
        new FakeReader(*this, name, std::move(content), caching == ReadCaching::Uncached));
}

Result<std::unique_ptr<WritableFile>> FakePlatform::CreateForWrite(std::string_view path) {
    std::string name(path);
    if (auto error = FileOp("CreateForWrite " + name)) return *error;
    if (!FolderExists(ParentOf(name)))
        return Error(ErrorKind::NotFound, "The system cannot find the path specified.");
    if (FolderExists(name) || files.count(name))
        return Error(ErrorKind::AlreadyExists, "The file exists.");
    files[name].clear();
    return std::unique_ptr<WritableFile>(new FakeWriter(*this, name));
}

Status FakePlatform::ReplaceWith(std::string_view from, std::string_view to,
                                 const DeviceAnswered& answered) {
    std::string source(from), target(to);
    std::optional<SystemError> injected = FileOp("ReplaceWith " + source + " " + target);
    if (injected && !failedRenameTakesPlace) return *injected;
    auto it = files.find(source);
    if (it == files.end())
        return Error(ErrorKind::NotFound, "The system cannot find the file specified.");
    files[target] = std::move(it->second);
    files.erase(source);
    // The rename, then its flush, each a step of the device's.
    pacedDevice.Step();
    if (answered) answered();
    if (injected) return *injected;
    pacedDevice.Step();
    if (answered) answered();
    return Ok();
}

Status FakePlatform::RemoveFile(std::string_view path) {
    std::string name(path);
    if (auto error = FileOp("RemoveFile " + name)) return *error;
    if (files.erase(name) == 0)
        return Error(ErrorKind::NotFound, "The system cannot find the file specified.");
    pacedDevice.Step();
    return Ok();
}

bool FakePlatform::IsFolder(std::string_view path) {
    Log("IsFolder " + std::string(path));
    return FolderExists(std::string(path));
}

}  // namespace orvane::fake
