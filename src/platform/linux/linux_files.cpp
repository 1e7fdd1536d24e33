// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux back end's files: a held volume, and reads, writes and renames
// flushed in the order a pulled card needs.
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
#include "platform/linux/beneath.h"
#include "platform/linux/linux_common.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/profile_reader.h"
#include "platform/linux/sysfs.h"
#include "port/ascii.h"

namespace orvane::linux_port {

using detail::LastConfinedError;
using detail::LastError;
using detail::NotARegularFile;
using detail::SplitFolder;
using detail::WithoutTrailingSlashes;

namespace {

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
            // No more of the device than asked for, in whole blocks: the
            // caller's piece sets how long the read takes.
            const std::size_t wanted =
                std::min(kStagingBytes, (buffer.size() + kAlignment - 1) / kAlignment * kAlignment);
            ssize_t length = -1;
            do {
                length = ::read(fd_, staging_, wanted);
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
    // than one piece behind. Only the data pages go: the allocation table
    // and the folder entry stay in memory until Flush, in the order it keeps.
    Status Push() {
        if (paced_) {
            const auto from = static_cast<off_t>(sent_);
            const auto length = static_cast<off_t>(written_ - sent_);
            // Only the piece started last time is waited for: what lies
            // before it is on the device already. A length of 0 would mean
            // "to the end of the file": an empty piece starts nothing.
            const auto waited = static_cast<off_t>(onDevice_);
            if ((length == 0 || ::sync_file_range(fd_, from, length, SYNC_FILE_RANGE_WRITE) == 0) &&
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
            // paces the writer, a piece at a time.
            paced_ = false;
        }
        if (written_ == onDevice_) return Ok();
        return Flush();
    }

    int fd_;
    int folder_;
    bool paced_ = true;
    std::uint64_t written_ = 0;   // bytes written to the file
    std::uint64_t sent_ = 0;      // of those, bytes whose device write has been started
    std::uint64_t onDevice_ = 0;  // of those, bytes known to be on the device
};

}  // namespace

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
// keeps every state a pulled card can hold whole; `answered` after each step.
Status Replace(int folder, const std::string& from, const std::string& to,
               const DeviceAnswered& answered) {
    auto step = [&answered](Status status) {
        if (answered) answered();
        return status;
    };
    // On FAT the replaced file's clusters are freed when its last user lets
    // go. Held open here, they stay allocated until the new entry is on the
    // device, so the old entry never points at freed clusters.
    const int replaced = ::openat(folder, to.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (::renameat(folder, from.c_str(), folder, to.c_str()) != 0) {
        SystemError error = LastError();
        if (replaced >= 0) ::close(replaced);
        return error;
    }
    if (answered) answered();
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
        if (Status synced = step(SyncFolder(folder)); !synced.ok()) return synced;
        return step(SyncFileIn(folder, to));
    }
    Status synced = step(SyncFolder(folder));
    if (synced.ok()) synced = step(SyncFileIn(folder, to));
    ::close(replaced);
    if (!synced.ok()) return synced;
    // The old clusters are freed now; their release reaches the device too.
    return step(SyncFolder(folder));
}

}  // namespace

Status LinuxSystem::ReplaceWith(std::string_view from, std::string_view to,
                                const DeviceAnswered& answered) {
    Result<FolderEntry> target = OpenParent(to);
    if (!target.ok()) return target.error();
    const int folder = target.value().folder;
    const std::string& name = target.value().name;
    const std::string source = SplitFolder(WithoutTrailingSlashes(from)).second;
    Status status = Replace(folder, source, name, answered);
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

}  // namespace orvane::linux_port
