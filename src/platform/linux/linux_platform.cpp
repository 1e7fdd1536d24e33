// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The system side of the Linux program.
#include "platform/linux/linux_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/volume_mounter.h"
#include "platform/ascii.h"
#include "platform/linux/beneath.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/profile_reader.h"
#include "platform/linux/sysfs.h"

namespace orvane::linux_port {

namespace {

SystemError LastError() {
    return ErrorFromErrno(errno);
}

// The error of a path resolved on a held volume, where a link (ELOOP) or a
// step onto another mount (EXDEV) is what kept the path on the volume.
SystemError LastConfinedError() {
    SystemError error = LastError();
    if (error.code == ELOOP || error.code == EXDEV) error.kind = ErrorKind::OutsideVolume;
    return error;
}

// Reads a whole file; /proc files report a size of 0, so read to the end.
// What a file to read whole must be: a regular file, which never makes the
// open or a read wait for a writer, and never ends like /dev/zero.
SystemError NotARegularFile(const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return ErrorFromErrno(EISDIR);
    return SystemError{ErrorKind::Other, 0, "not a regular file, but a pipe or a device"};
}

// Far above any settings file or mount table.
constexpr std::size_t kWholeFileLimit = 16u << 20;

Result<std::string> ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return LastError();
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        SystemError error = LastError();
        ::close(fd);
        return error;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return NotARegularFile(status);
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        if (text.size() > kWholeFileLimit) {
            ::close(fd);
            return ErrorFromErrno(EFBIG);
        }
        ssize_t length = ::read(fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0) {
            SystemError error = LastError();
            ::close(fd);
            return error;
        }
        if (length == 0) break;
        text.append(buffer, static_cast<std::size_t>(length));
    }
    ::close(fd);
    return text;
}

std::pair<std::string, std::string> SplitFolder(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {".", std::string(path)};
    return {slash == 0 ? "/" : std::string(path.substr(0, slash)),
            std::string(path.substr(slash + 1))};
}

// The entry of `folder` whose name equals `name` apart from letter case.
std::optional<std::string> FindIgnoringCase(const std::string& folder, std::string_view name) {
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) return std::nullopt;
    std::optional<std::string> found;
    while (dirent* entry = ::readdir(directory)) {
        if (EqualIgnoringAsciiCase(entry->d_name, name)) {
            found = folder + "/" + entry->d_name;
            break;
        }
    }
    ::closedir(directory);
    return found;
}

std::string WithoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

// Flushes the open folder `folder`, so that names added to it or removed
// from it are on the device.
Status SyncFolder(int folder) {
    if (::fsync(folder) == 0) return Ok();
    // Some filesystems cannot flush a folder at all; that is not a failure.
    if (errno == EINVAL || errno == ENOTSUP) return Ok();
    return LastError();
}

// Opens the file `name` in `folder` and flushes it.
Status SyncFileIn(int folder, const std::string& name) {
    int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return LastError();
    int synced = ::fsync(fd);
    int syncError = errno;
    ::close(fd);
    if (synced != 0) return ErrorFromErrno(syncError);
    return Ok();
}

class PosixReadableFile : public ReadableFile {
  public:
    PosixReadableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~PosixReadableFile() override { ::close(fd_); }

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        for (;;) {
            ssize_t length = ::read(fd_, buffer.data(), buffer.size());
            if (length >= 0) return static_cast<std::size_t>(length);
            if (errno != EINTR) return LastError();
        }
    }
    std::uint64_t Size() const override { return size_; }

  private:
    int fd_;
    std::uint64_t size_;
};

// Reads a file from the device itself (O_DIRECT): the system hands over
// whole, aligned blocks only, so each read goes through an aligned buffer of
// its own and is handed on from there.
class DirectReadableFile : public ReadableFile {
  public:
    DirectReadableFile(int fd, std::uint64_t size)
        : fd_(fd),
          size_(size),
          staging_(static_cast<std::byte*>(std::aligned_alloc(kAlignment, kStagingBytes))) {}
    ~DirectReadableFile() override {
        std::free(staging_);
        ::close(fd_);
    }

    bool Ready() const { return staging_ != nullptr; }

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (next_ == filled_) {
            ssize_t length = -1;
            do {
                length = ::read(fd_, staging_, kStagingBytes);
            } while (length < 0 && errno == EINTR);
            if (length < 0) return LastError();
            next_ = 0;
            filled_ = static_cast<std::size_t>(length);
        }
        const std::size_t count = std::min(buffer.size(), filled_ - next_);
        std::memcpy(buffer.data(), staging_ + next_, count);
        next_ += count;
        return count;
    }
    std::uint64_t Size() const override { return size_; }

  private:
    // Covers the logical block of every device a camera card sits behind.
    static constexpr std::size_t kAlignment = 4096;
    static constexpr std::size_t kStagingBytes = std::size_t{1} << 20;

    int fd_;
    std::uint64_t size_;
    std::byte* staging_;
    std::size_t next_ = 0, filled_ = 0;
};

class PosixWritableFile : public WritableFile {
  public:
    // Owns both descriptors: the file's and its folder's.
    PosixWritableFile(int fd, int folder) : fd_(fd), folder_(folder) {}
    ~PosixWritableFile() override {
        if (fd_ >= 0) ::close(fd_);
        ::close(folder_);
    }

    Status Write(std::span<const std::byte> data) override {
        while (!data.empty()) {
            ssize_t written = ::write(fd_, data.data(), data.size());
            if (written < 0 && errno == EINTR) continue;
            if (written < 0) return LastError();
            data = data.subspan(static_cast<std::size_t>(written));
            written_ += static_cast<std::uint64_t>(written);
        }
        return Push();
    }
    std::uint64_t BytesOnDevice() const override { return onDevice_; }
    // On FAT, fsync of a file writes its folder entry (start and size)
    // before the allocation table: a card pulled in between holds an entry
    // pointing at free clusters. Flushing the folder first puts the chain on
    // the device while the entry still says the file is empty.
    Status Flush() override {
        if (Status folder = SyncFolder(folder_); !folder.ok()) return folder;
        if (::fsync(fd_) != 0) return LastError();
        onDevice_ = sent_ = written_;
        return Ok();
    }
    Status Close() override {
        int fd = fd_;
        fd_ = -1;
        // Linux releases the descriptor even when close reports an error,
        // so it is never retried.
        if (::close(fd) != 0) return LastError();
        return Ok();
    }

  private:
    // Starts the device write of what was just written and waits for what
    // was started before it, so that the card is always busy and never more
    // than one write behind. Only the data pages go: the allocation table
    // and the folder entry stay in memory until Flush, in the order it keeps.
    Status Push() {
        if (paced_ && written_ > sent_) {
            const auto from = static_cast<off_t>(sent_);
            const auto length = static_cast<off_t>(written_ - sent_);
            // Only the piece started last time is waited for: what lies
            // before it is on the device already. A length of 0 would mean
            // "to the end of the file".
            const auto waited = static_cast<off_t>(onDevice_);
            if (::sync_file_range(fd_, from, length, SYNC_FILE_RANGE_WRITE) == 0 &&
                (from == waited ||
                 ::sync_file_range(fd_, waited, from - waited,
                                   SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                       SYNC_FILE_RANGE_WAIT_AFTER) == 0)) {
                onDevice_ = sent_;
                sent_ = written_;
                return Ok();
            }
            if (errno != EINVAL && errno != ENOSYS && errno != ESPIPE && errno != EOPNOTSUPP)
                return LastError();
            // A file system without ranged writeback: the whole flush then
            // paces the writer, every few MiB.
            paced_ = false;
        }
        if (!paced_ && written_ - onDevice_ >= kUnpacedFlushBytes) return Flush();
        return Ok();
    }

    static constexpr std::uint64_t kUnpacedFlushBytes = std::uint64_t{4} << 20;

    int fd_;
    int folder_;
    bool paced_ = true;
    std::uint64_t written_ = 0;   // bytes written to the file
    std::uint64_t sent_ = 0;      // of those, bytes whose device write has been started
    std::uint64_t onDevice_ = 0;  // of those, bytes known to be on the device
};

}  // namespace

SystemError ErrorFromErrno(int error) {
    ErrorKind kind = ErrorKind::Other;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            kind = ErrorKind::NotFound;
            break;
        case EEXIST:
            kind = ErrorKind::AlreadyExists;
            break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            kind = ErrorKind::DiskFull;
            break;
        case EROFS:
            kind = ErrorKind::WriteProtected;
            break;
        case EACCES:
        case EPERM:
            kind = ErrorKind::AccessDenied;
            break;
        // A pulled USB disk answers EIO to everything until it is unmounted;
        // a FUSE volume (exFAT) whose daemon died answers ENOTCONN.
        case EIO:
        case ENODEV:
        case ENXIO:
        case ESTALE:
        case ENOTCONN:
            kind = ErrorKind::DeviceGone;
            break;
        // A card reader, or a camera, whose slot is empty.
        case ENOMEDIUM:
            kind = ErrorKind::NoMedium;
            break;
        case ENAMETOOLONG:
            kind = ErrorKind::TooLong;
            break;
        default:
            break;
    }
    return SystemError{kind, static_cast<unsigned long>(error), std::strerror(error)};
}

std::string JoinLinuxPath(std::string_view base, std::string_view fragment) {
    std::string joined(base);
    for (char c : fragment) {
        if (c == '\\') c = '/';
        if (c == '/' && !joined.empty() && joined.back() == '/' && joined.size() == base.size()) {
            continue;  // the seam: "/media/cam/" and "\FW\" give one separator
        }
        joined += c;
    }
    return joined;
}

LinuxSystem::LinuxSystem(SystemRoots roots) : roots_(std::move(roots)) {}

LinuxSystem::~LinuxSystem() {
    ReleaseVolume();
    if (ueventSocket_ >= 0) ::close(ueventSocket_);
}

void LinuxSystem::WriteStdout(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

Status LinuxSystem::OpenDeviceEvents() {
    if (ueventSocket_ >= 0) return Ok();
    int fd =
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return LastError();
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1;  // the kernel's own broadcast, before udev has seen it
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SystemError error = LastError();
        ::close(fd);
        return error;
    }
    // Plugging a camera in sends a few dozen events at once; an overflow
    // only costs a scan (see ReadDeviceEvents).
    int bufferSize = 256 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    ueventSocket_ = fd;
    return Ok();
}

bool LinuxSystem::ReadDeviceEvents() {
    if (ueventSocket_ < 0) return false;
    bool scan = false;
    char buffer[8192];
    for (;;) {
        ssize_t length = ::recv(ueventSocket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0 && errno == EINTR) continue;
        // Events were dropped: any of them may have been the camera's.
        if (length < 0 && errno == ENOBUFS) {
            scan = true;
            continue;
        }
        if (length <= 0) break;
        if (UeventCallsForScan(std::string_view(buffer, static_cast<std::size_t>(length))))
            scan = true;
    }
    return scan;
}

Result<std::string> LinuxSystem::CurrentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::strlen(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE) return LastError();
        buffer.resize(buffer.size() * 2);
    }
}

std::string LinuxSystem::ReadProfileString(std::string_view section, std::string_view key,
                                           std::string_view fallback, std::size_t size,
                                           std::string_view path) {
    std::string file(path);
    Result<std::string> text = ReadWholeFile(file);
    if (!text.ok() && text.error().kind == ErrorKind::NotFound) {
        auto [folder, name] = SplitFolder(path);
        if (std::optional<std::string> other = FindIgnoringCase(folder, name))
            text = ReadWholeFile(*other);
    }
    // An unreadable file counts as a missing one, as on Windows.
    return ReadProfileValue(text.ok() ? std::string_view(text.value()) : std::string_view(),
                            section, key, fallback, size);
}

std::string LinuxSystem::DriveRoot(std::string_view drive) {
    std::string root(drive);
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

std::vector<UsbDevice> LinuxSystem::PresentUsbDevices() {
    return ListUsbDevices(roots_.usbDevices);
}

std::vector<std::string> LinuxSystem::LogicalDrives() {
    Result<std::string> text = ReadWholeFile(roots_.mountInfo);
    if (!text.ok()) return {};
    std::vector<std::string> drives;
    for (MountEntry& entry : ParseMountInfo(text.value())) {
        if (IsBlockDeviceVolume(entry)) drives.push_back(std::move(entry.mountPoint));
    }
    return drives;
}

Result<StorageLayout> LinuxSystem::StorageLayoutOfDrives() {
    Result<std::string> text = ReadWholeFile(roots_.mountInfo);
    if (!text.ok()) return text.error();
    StorageLayout layout;
    for (MountEntry& entry : ParseMountInfo(text.value())) {
        if (!IsBlockDeviceVolume(entry)) continue;
        std::string id = std::to_string(entry.major) + ":" + std::to_string(entry.minor);
        layout.drives.push_back(DriveOnDisk{std::move(entry.mountPoint), std::move(id), 0, true});
    }
    // /sys/dev/block/MAJ:MIN links to each block device's folder in the
    // tree; every folder above it is a device it hangs from. Devices without
    // a mounted volume count too: they tell that the camera has storage.
    layout.disks = ListBlockDevices(roots_.blockDevices);
    return layout;
}

bool LinuxSystem::IsFolder(std::string_view path) {
    struct stat status {};
    return ::stat(std::string(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

DriveRefusal LinuxSystem::CheckDrive(std::string_view drive) {
    checked_.reset();
    const std::string mountPoint = WithoutTrailingSlashes(drive);
    Result<std::string> text = ReadWholeFile(roots_.mountInfo);
    if (!text.ok()) return DriveRefusal::Gone;
    // A later mount on the same point hides the earlier ones: when that is
    // not a volume (a tmpfs, say), the camera's storage is out of reach.
    std::optional<MountEntry> volume;
    for (MountEntry& entry : ParseMountInfo(text.value())) {
        if (entry.mountPoint == mountPoint) volume = std::move(entry);
    }
    if (!volume || !IsBlockDeviceVolume(*volume)) return DriveRefusal::Gone;
    checked_ = CheckedVolume{mountPoint, makedev(volume->major, volume->minor)};
    if (mountPoint == "/") return DriveRefusal::SystemDrive;
    switch (ClassifyBlockDevice(roots_.blockDevices, volume->major, volume->minor)) {
        case BlockDeviceKind::Gone:
            return DriveRefusal::Gone;
        case BlockDeviceKind::Usb:
        case BlockDeviceKind::Removable:
            return DriveRefusal::None;
        case BlockDeviceKind::Fixed:
            break;
    }
    return DriveRefusal::NotRemovable;
}

Status LinuxSystem::HoldVolume(std::string_view drive) {
    ReleaseVolume();
    const std::string mountPoint = WithoutTrailingSlashes(drive);
    if (!checked_ || checked_->mountPoint != mountPoint) return ErrorFromErrno(ENODEV);
    int fd = ::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastError();
    // Unmounted since the check, the mount point is a folder of the root
    // filesystem; mounted over, it is some other volume. Either way it is
    // not the camera's.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || status.st_dev != checked_->device) {
        ::close(fd);
        return ErrorFromErrno(ENODEV);
    }
    held_ = HeldVolume{mountPoint, fd};
    return Ok();
}

void LinuxSystem::ReleaseVolume() {
    if (held_) ::close(held_->fd);
    held_.reset();
}

std::optional<std::string> LinuxSystem::OnHeldVolume(std::string_view path) const {
    if (!held_) return std::nullopt;
    std::string_view root = held_->mountPoint;
    if (root == "/") root = "";
    if (!path.starts_with(root)) return std::nullopt;
    std::string_view rest = path.substr(root.size());
    if (!rest.empty() && rest.front() != '/')
        return std::nullopt;  // "/media/cam2" is not on "/media/cam"
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    return std::string(rest);
}

Result<int> LinuxSystem::OpenFile(std::string_view path, int flags, unsigned mode) {
    int fd = -1;
    if (std::optional<std::string> relative = OnHeldVolume(path)) {
        fd = OpenBeneath(held_->fd, *relative, flags | O_NOFOLLOW, mode);
        if (fd < 0) return LastConfinedError();
        return fd;
    }
    fd = ::open(std::string(path).c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) return LastError();
    return fd;
}

Result<LinuxSystem::FolderEntry> LinuxSystem::OpenParent(std::string_view path) {
    std::optional<std::string> relative = OnHeldVolume(path);
    auto [parent, leaf] = SplitFolder(relative ? *relative : WithoutTrailingSlashes(path));
    if (leaf.empty()) return ErrorFromErrno(EEXIST);  // a root exists
    if (relative) {
        int fd = OpenBeneath(held_->fd, parent == "." ? "" : parent, O_RDONLY | O_DIRECTORY);
        if (fd < 0) return LastConfinedError();
        return FolderEntry{fd, leaf};
    }
    int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastError();
    return FolderEntry{fd, leaf};
}

Result<VolumeSpace> LinuxSystem::FreeSpace(std::string_view path) {
    Result<int> fd = OpenFile(path, O_RDONLY | O_DIRECTORY, 0);
    if (!fd.ok()) return fd.error();
    struct statvfs volume {};
    int result = ::fstatvfs(fd.value(), &volume);
    SystemError error = LastError();
    ::close(fd.value());
    if (result != 0) return error;
    // Some FUSE file systems report no blocks at all: that is no figure, not
    // a full volume.
    if (volume.f_blocks == 0) return ErrorFromErrno(ENOSYS);
    // Space is counted, and handed out, in fragments; a file system without
    // fragments leaves f_frsize 0 and means its block.
    const std::uint64_t unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    return VolumeSpace{std::uint64_t{volume.f_bavail} * unit, unit};
}

Status LinuxSystem::MakeDirectory(std::string_view path) {
    Result<FolderEntry> entry = OpenParent(path);
    if (!entry.ok()) return entry.error();
    const int folder = entry.value().folder;
    Status status = Ok();
    if (::mkdirat(folder, entry.value().name.c_str(), 0777) != 0) {
        status = LastError();
    } else if (::syncfs(folder) != 0) {
        // On FAT, flushing the new folder or its parent writes its entry
        // before the allocation of its cluster: a card pulled in between
        // holds an entry pointing at a free cluster. syncfs writes the
        // volume's dirty sectors in their order on the device, the
        // allocation table first.
        status = LastError();
    }
    ::close(folder);
    return status;
}

Result<std::unique_ptr<ReadableFile>> LinuxSystem::OpenForRead(std::string_view path,
                                                               ReadCaching caching) {
    // Never waits at the open, as it would for a pipe without a writer.
    Result<int> opened = OpenFile(
        path, O_RDONLY | O_NONBLOCK | (caching == ReadCaching::Uncached ? O_DIRECT : 0), 0);
    // A file system that cannot read past its cache refuses O_DIRECT at the
    // open.
    const bool direct = caching == ReadCaching::Uncached && opened.ok();
    if (caching == ReadCaching::Uncached && !opened.ok() && opened.error().code == EINVAL)
        opened = OpenFile(path, O_RDONLY | O_NONBLOCK, 0);
    if (!opened.ok()) return opened.error();
    int fd = opened.value();
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        SystemError error = LastError();
        ::close(fd);
        return error;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return NotARegularFile(status);
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (direct) {
        auto file = std::make_unique<DirectReadableFile>(fd, size);
        if (!file->Ready()) return ErrorFromErrno(ENOMEM);
        return std::unique_ptr<ReadableFile>(std::move(file));
    }
    if (caching == ReadCaching::Uncached) {
        // The next best: drop the file's cached pages. Only clean pages can
        // be dropped, so flush first; pages another process has mapped stay.
        int dropped = ::fdatasync(fd) != 0 && errno != EINVAL ? errno : 0;
        if (dropped == 0) dropped = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        if (dropped != 0) {
            ::close(fd);
            return ErrorFromErrno(dropped);
        }
    }
    return std::unique_ptr<ReadableFile>(std::make_unique<PosixReadableFile>(fd, size));
}

Result<std::unique_ptr<WritableFile>> LinuxSystem::CreateForWrite(std::string_view path) {
    Result<FolderEntry> entry = OpenParent(path);
    if (!entry.ok()) return entry.error();
    const int folder = entry.value().folder;
    // O_EXCL: an entry already there, a link planted at the name included,
    // is never written through.
    int fd = ::openat(folder, entry.value().name.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        SystemError error = LastError();
        ::close(folder);
        return error;
    }
    return std::unique_ptr<WritableFile>(std::make_unique<PosixWritableFile>(fd, folder));
}

namespace {

// Renames `from` to `to` in the open `folder`, flushed in an order that
// keeps every state a pulled card can hold whole.
Status Replace(int folder, const std::string& from, const std::string& to) {
    // On FAT the replaced file's clusters are freed when its last user lets
    // go. Held open here, they stay allocated until the new entry is on the
    // device, so the old entry never points at freed clusters.
    const int replaced = ::openat(folder, to.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (::renameat(folder, from.c_str(), folder, to.c_str()) != 0) {
        SystemError error = LastError();
        if (replaced >= 0) ::close(replaced);
        return error;
    }
    // On FAT a file's folder entry (start cluster and size) belongs to the
    // file: a rename only marks the moved file dirty and flushing the folder
    // does not write it, so the file itself is flushed too. In both cases
    // the temporary name goes first, then the entry takes the new clusters:
    // with a file replaced, the old entry stays whole until then; with a new
    // name, the rename made its entry empty (no clusters, no size), and so it
    // stays until then. The other order would, in a folder whose two entries
    // lie in different sectors, let a card pulled between the two writes
    // hold two names for one chain of clusters, and removing the temporary
    // one would then free the clusters of the file that was kept.
    if (replaced < 0) {
        if (Status synced = SyncFolder(folder); !synced.ok()) return synced;
        return SyncFileIn(folder, to);
    }
    Status synced = SyncFolder(folder);
    if (synced.ok()) synced = SyncFileIn(folder, to);
    ::close(replaced);
    if (!synced.ok()) return synced;
    // The old clusters are freed now; their release reaches the device too.
    return SyncFolder(folder);
}

}  // namespace

Status LinuxSystem::ReplaceWith(std::string_view from, std::string_view to) {
    Result<FolderEntry> target = OpenParent(to);
    if (!target.ok()) return target.error();
    const int folder = target.value().folder;
    const std::string& name = target.value().name;
    const std::string source = SplitFolder(WithoutTrailingSlashes(from)).second;
    Status status = Replace(folder, source, name);
    ::close(folder);
    return status;
}

Status LinuxSystem::RemoveFile(std::string_view path) {
    Result<FolderEntry> entry = OpenParent(path);
    if (!entry.ok()) return entry.error();
    const int folder = entry.value().folder;
    Status status = ::unlinkat(folder, entry.value().name.c_str(), 0) == 0 ? SyncFolder(folder)
                                                                           : Status(LastError());
    ::close(folder);
    return status;
}

bool LinuxPlatform::MountsVolumes() {
    return mounter_ != nullptr && mounter_->Mounts();
}

VolumeMount LinuxPlatform::MountVolume(std::string_view diskName) {
    if (!MountsVolumes()) return VolumeMount::NoMounter;
    const auto mounted = mounter_->Mount(diskName);
    if (std::holds_alternative<cli::MountedVolume>(mounted)) return VolumeMount::Mounted;
    switch (std::get<cli::MountFailure>(mounted).kind) {
        case cli::MountFailure::Kind::NoService:
            return VolumeMount::NoService;
        case cli::MountFailure::Kind::NotAuthorised:
            return VolumeMount::Refused;
        case cli::MountFailure::Kind::NotKnown:
        case cli::MountFailure::Kind::NoFilesystem:
        case cli::MountFailure::Kind::Failed:
            break;
    }
    return VolumeMount::Failed;
}

}  // namespace orvane::linux_port
