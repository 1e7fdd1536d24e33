// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The in-memory test platform.
#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace orvane::fake {

namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string StripSeparator(std::string path) {
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

std::string ParentOf(const std::string& path) {
    std::string stripped = StripSeparator(path);
    std::size_t slash = stripped.find_last_of('\\');
    if (slash == std::string::npos) {
        // "G:name" lies in the drive's current folder, its root here.
        std::size_t colon = stripped.find(':');
        return colon == std::string::npos ? std::string() : stripped.substr(0, colon + 1);
    }
    return StripSeparator(stripped.substr(0, slash + 1));
}

SystemError Error(ErrorKind kind, std::string text) {
    return SystemError{kind, static_cast<unsigned long>(kind) + 100, std::move(text)};
}

class FakeReader : public ReadableFile {
  public:
    FakeReader(FakePlatform& platform, std::string path, std::string content)
        : platform_(platform), path_(std::move(path)), content_(std::move(content)) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (auto error = platform_.FileOp("Read " + path_)) return *error;
        std::size_t n = std::min(buffer.size(), content_.size() - offset_);
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
        platform_.bytesOnDevice[path_] = written_;
        written_ += data.size();
        return Ok();
    }
    std::uint64_t BytesOnDevice() const override { return platform_.bytesOnDevice[path_]; }
    Status Flush() override {
        if (auto error = platform_.FileOp("Flush " + path_)) return *error;
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

void FakePlatform::SetProfileValue(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& value) {
    profile_[Upper(path) + "|" + Upper(section) + "|" + Upper(key)] = value;
}

void FakePlatform::Plug(std::vector<std::string> hardwareIds, std::string instance) {
    devices.push_back(UsbDevice{std::move(hardwareIds), std::move(instance), {}});
}

void FakePlatform::FireTimers() {
    std::vector<unsigned> ids;
    for (const auto& [id, interval] : runningTimers) ids.push_back(id);
    for (unsigned id : ids) {
        if (timerTarget && TimerRunning(id)) timerTarget(id);
    }
}

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
    for (const std::string& drive : drivesWithoutMedium) {
        if (what.find(" " + drive + ":") != std::string::npos)
            return Error(ErrorKind::NoMedium, "The device is not ready.");
    }
    if (fileOps != failFileOpAt) return std::nullopt;
    if (failureUnplugs && !drives.empty()) {
        unpluggedDrive_ = drives.back();
        drives.pop_back();
    }
    return Error(failKind, "Injected failure of " + what + ".");
}

bool FakePlatform::FolderExists(const std::string& path) const {
    std::string stripped = StripSeparator(path);
    if (stripped.size() == 2 && stripped[1] == ':') {
        return std::find(drives.begin(), drives.end(), stripped.substr(0, 1)) != drives.end();
    }
    return folders.count(stripped) != 0;
}

IconHandle FakePlatform::LoadAppIcon() {
    Log("LoadAppIcon");
    return appIcon;
}

void FakePlatform::AddAboutToSystemMenu() {
    Log("AddAboutToSystemMenu");
}

void FakePlatform::SetWindowIcons(IconHandle icon) {
    Log("SetWindowIcons " + std::to_string(icon));
}

unsigned FakePlatform::ArmTimer(unsigned id, unsigned intervalMs) {
    Log("ArmTimer " + std::to_string(id) + " " + std::to_string(intervalMs));
    if (timerArmFails) return 0;
    runningTimers[id] = intervalMs;
    return id;
}

void FakePlatform::StopTimer(unsigned timerId) {
    Log("StopTimer " + std::to_string(timerId));
    runningTimers.erase(timerId);
}

void FakePlatform::ShowMessage(std::string_view text) {
    Log("ShowMessage");
    messages.emplace_back(text);
    if (onMessage) onMessage(text);
}

void FakePlatform::EndModal(int result) {
    Log("EndModal " + std::to_string(result));
    endResult = result;
}

void FakePlatform::WriteStdout(std::string_view text) {
    standardOutput += text;
}

Status FakePlatform::SubscribeUsbArrival() {
    Log("SubscribeUsbArrival");
    return subscribeResult;
}

void FakePlatform::ShowProgress(int percent, std::string_view status) {
    Log("ShowProgress");
    progressShown.push_back(percent);
    progressStatus = status;
    statusesShown.emplace_back(status);
    progressVisible = true;
}

void FakePlatform::HideProgress() {
    Log("HideProgress");
    progressVisible = false;
}

void FakePlatform::RunInBackground(std::function<void()> work) {
    Log("RunInBackground");
    ++backgroundRuns;
    if (threaded) {
        threads_.emplace_back(std::move(work));
        return;
    }
    heldWork_ = std::move(work);
    if (holdBackground) return;
    RunBackgroundWork();
    DeliverPosted();
}

void FakePlatform::RunDeviceQuery(std::function<void()> work) {
    Log("RunDeviceQuery");
    if (threaded) {
        threads_.emplace_back(std::move(work));
        return;
    }
    work();
    DeliverPosted();
}

VolumeMount FakePlatform::MountVolume(std::string_view diskName) {
    Log("MountVolume " + std::string(diskName));
    if (mountAnswer != VolumeMount::Mounted) return mountAnswer;
    for (const StorageDisk& disk : disks) {
        if (disk.name != diskName) continue;
        drives.push_back(mountedDrive);
        diskOfDrive[mountedDrive] = disk.id;
    }
    return mountAnswer;
}

void FakePlatform::EndProcess(int result) {
    Log("EndProcess " + std::to_string(result));
    processEnd = result;
}

void FakePlatform::Log(std::string call) {
    std::unique_lock lock(mutex_);
    const bool hang = !hangAt_.empty() && call.rfind(hangAt_, 0) == 0;
    calls.push_back(std::move(call));
    if (!hang) return;
    hangAt_.clear();
    hanging_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return hangEnded_; });
}

bool FakePlatform::Ended() {
    std::lock_guard lock(mutex_);
    return processEnded_;
}

void FakePlatform::HangAt(std::string what) {
    std::lock_guard lock(mutex_);
    hangAt_ = std::move(what);
}

void FakePlatform::WaitUntilHung() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return hanging_; });
}

void FakePlatform::EndHang(bool processEnded) {
    std::lock_guard lock(mutex_);
    hangEnded_ = true;
    processEnded_ = processEnded_ || processEnded;
    changed_.notify_all();
}

void FakePlatform::JoinThreads() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

FakePlatform::~FakePlatform() {
    EndHang(true);
    JoinThreads();
}

void FakePlatform::RunBackgroundWork() {
    std::function<void()> work = std::move(heldWork_);
    heldWork_ = nullptr;
    if (work) work();
}

void FakePlatform::PostToUi(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (processEnded_) return;
    posted_.push_back(std::move(task));
    changed_.notify_all();
}

void FakePlatform::WaitForPosted() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !posted_.empty(); });
}

void FakePlatform::HoldSystemForTransfer(bool hold) {
    Log(hold ? "HoldSystemForTransfer(true)" : "HoldSystemForTransfer(false)");
    systemHeld = hold;
}

void FakePlatform::DeliverPosted() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty()) return;
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
    }
}

Result<std::string> FakePlatform::CurrentDirectory() {
    Log("CurrentDirectory");
    if (!currentDirectory) return currentDirectoryError;
    return *currentDirectory;
}

std::string FakePlatform::ReadProfileString(std::string_view section, std::string_view key,
                                            std::string_view fallback, std::size_t size,
                                            std::string_view path) {
    Log("ReadProfileString " + std::string(section) + "/" + std::string(key));
    auto it = profile_.find(Upper(path) + "|" + Upper(section) + "|" + Upper(key));
    std::string value(it == profile_.end() ? fallback : std::string_view(it->second));
    if (size == 0) return {};
    if (value.size() > size - 1) value.resize(size - 1);
    return value;
}

std::string FakePlatform::JoinPath(std::string_view base, std::string_view fragment) {
    return std::string(base) + std::string(fragment);
}

std::string FakePlatform::DriveRoot(std::string_view drive) {
    return std::string(drive) + ":";
}

std::vector<UsbDevice> FakePlatform::PresentUsbDevices() {
    Log("PresentUsbDevices");
    return devices;
}

std::vector<std::string> FakePlatform::LogicalDrives() {
    Log("LogicalDrives");
    return drives;
}

Result<StorageLayout> FakePlatform::StorageLayoutOfDrives() {
    Log("StorageLayoutOfDrives");
    if (layoutError) return *layoutError;
    StorageLayout layout;
    layout.disks = disks;
    for (const std::string& drive : drives) {
        auto disk = diskOfDrive.find(drive);
        auto partition = partitionOfDrive.find(drive);
        layout.drives.push_back(
            DriveOnDisk{drive, disk == diskOfDrive.end() ? "" : disk->second,
                        partition == partitionOfDrive.end() ? 0 : partition->second,
                        drivesWithoutMedium.count(drive) == 0});
    }
    return layout;
}

bool FakePlatform::IsFolder(std::string_view path) {
    Log("IsFolder " + std::string(path));
    return FolderExists(std::string(path));
}

DriveRefusal FakePlatform::CheckDrive(std::string_view drive) {
    Log("CheckDrive " + std::string(drive));
    if (std::find(drives.begin(), drives.end(), drive) == drives.end()) return DriveRefusal::Gone;
    auto it = refusals.find(std::string(drive));
    return it == refusals.end() ? DriveRefusal::None : it->second;
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
    return std::unique_ptr<ReadableFile>(new FakeReader(*this, name, std::move(content)));
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

Status FakePlatform::ReplaceWith(std::string_view from, std::string_view to) {
    std::string source(from), target(to);
    std::optional<SystemError> injected = FileOp("ReplaceWith " + source + " " + target);
    if (injected && !failedRenameTakesPlace) return *injected;
    auto it = files.find(source);
    if (it == files.end())
        return Error(ErrorKind::NotFound, "The system cannot find the file specified.");
    files[target] = std::move(it->second);
    files.erase(source);
    if (injected) return *injected;
    return Ok();
}

Status FakePlatform::RemoveFile(std::string_view path) {
    std::string name(path);
    if (auto error = FileOp("RemoveFile " + name)) return *error;
    if (files.erase(name) == 0)
        return Error(ErrorKind::NotFound, "The system cannot find the file specified.");
    return Ok();
}

}  // namespace orvane::fake
