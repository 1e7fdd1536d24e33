// The system side of the Linux program.
#include "platform/linux/linux_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/ascii.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/profile_reader.h"
#include "platform/linux/sysfs.h"

namespace orvane::linux_port {

namespace {

SystemError LastError() {
    return ErrorFromErrno(errno);
}

// Reads a whole file; /proc files report a size of 0, so read to the end.
Result<std::string> ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return LastError();
    std::string text;
    char buffer[16384];
    for (;;) {
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

// Opens `path` and flushes it with `sync`: fsync, or syncfs for its volume.
Status OpenAndSync(const std::string& path, int flags, int (*sync)(int)) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) return LastError();
    int synced = sync(fd);
    int syncError = errno;
    ::close(fd);
    if (synced != 0) return ErrorFromErrno(syncError);
    return Ok();
}

// Flushes the folder `path`, so that names added to it or removed from it
// are on the device.
Status SyncFolder(const std::string& path) {
    Status synced = OpenAndSync(path, O_DIRECTORY, ::fsync);
    // Some filesystems cannot flush a folder at all; that is not a failure.
    if (!synced.ok() && (synced.error().code == EINVAL || synced.error().code == ENOTSUP))
        return Ok();
    return synced;
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

class PosixWritableFile : public WritableFile {
  public:
    PosixWritableFile(int fd, std::string folder) : fd_(fd), folder_(std::move(folder)) {}
    ~PosixWritableFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    Status Write(std::span<const std::byte> data) override {
        while (!data.empty()) {
            ssize_t written = ::write(fd_, data.data(), data.size());
            if (written < 0 && errno == EINTR) continue;
            if (written < 0) return LastError();
            data = data.subspan(static_cast<std::size_t>(written));
        }
        return Ok();
    }
    // On FAT, fsync of a file writes its folder entry (start and size)
    // before the allocation table: a card pulled in between holds an entry
    // pointing at free clusters. Flushing the folder first puts the chain on
    // the device while the entry still says the file is empty.
    Status Flush() override {
        if (Status folder = SyncFolder(folder_); !folder.ok()) return folder;
        if (::fsync(fd_) != 0) return LastError();
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
    int fd_;
    std::string folder_;
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
        case ENOMEDIUM:
        case ESTALE:
        case ENOTCONN:
            kind = ErrorKind::DeviceGone;
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

LinuxPlatform::LinuxPlatform(WindowSide& window, SystemRoots roots)
    : window_(window), roots_(std::move(roots)) {}

LinuxPlatform::~LinuxPlatform() {
    if (ueventSocket_ >= 0) ::close(ueventSocket_);
}

void LinuxPlatform::WriteStdout(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

Status LinuxPlatform::SubscribeUsbArrival() {
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
    // Nothing reads the events; a small buffer that overflows costs nothing.
    int bufferSize = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    ueventSocket_ = fd;
    return Ok();
}

Result<std::string> LinuxPlatform::CurrentDirectory() {
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

std::string LinuxPlatform::ReadProfileString(std::string_view section, std::string_view key,
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

std::string LinuxPlatform::DriveRoot(std::string_view drive) {
    std::string root(drive);
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

std::vector<UsbDevice> LinuxPlatform::PresentUsbDevices() {
    return ListUsbDevices(roots_.usbDevices);
}

std::vector<std::string> LinuxPlatform::LogicalDrives() {
    Result<std::string> text = ReadWholeFile(roots_.mountInfo);
    if (!text.ok()) return {};
    std::vector<std::string> drives;
    for (MountEntry& entry : ParseMountInfo(text.value())) {
        if (IsBlockDeviceVolume(entry)) drives.push_back(std::move(entry.mountPoint));
    }
    return drives;
}

DriveRefusal LinuxPlatform::CheckDrive(std::string_view drive) {
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

Result<VolumeSpace> LinuxPlatform::FreeSpace(std::string_view path) {
    struct statvfs volume {};
    if (::statvfs(std::string(path).c_str(), &volume) != 0) return LastError();
    // Some FUSE file systems report no blocks at all: that is no figure, not
    // a full volume.
    if (volume.f_blocks == 0) return ErrorFromErrno(ENOSYS);
    // Space is counted, and handed out, in fragments; a file system without
    // fragments leaves f_frsize 0 and means its block.
    const std::uint64_t unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    return VolumeSpace{std::uint64_t{volume.f_bavail} * unit, unit};
}

Status LinuxPlatform::MakeDirectory(std::string_view path) {
    const std::string folder(path);
    if (::mkdir(folder.c_str(), 0777) != 0) return LastError();
    // On FAT, flushing the new folder or its parent writes its entry before
    // the allocation of its cluster: a card pulled in between holds an entry
    // pointing at a free cluster. syncfs writes the volume's dirty sectors in
    // their order on the device, the allocation table first.
    return OpenAndSync(folder, O_DIRECTORY, ::syncfs);
}

Result<std::unique_ptr<ReadableFile>> LinuxPlatform::OpenForRead(std::string_view path,
                                                                 ReadCaching caching) {
    int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return LastError();
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        SystemError error = LastError();
        ::close(fd);
        return error;
    }
    if (caching == ReadCaching::Uncached) {
        // Only clean pages can be dropped: flush first, so that every read
        // that follows goes to the device itself.
        if (::fdatasync(fd) != 0 && errno != EINVAL) {
            SystemError error = LastError();
            ::close(fd);
            return error;
        }
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    }
    return std::unique_ptr<ReadableFile>(
        std::make_unique<PosixReadableFile>(fd, static_cast<std::uint64_t>(status.st_size)));
}

Result<std::unique_ptr<WritableFile>> LinuxPlatform::CreateForWrite(std::string_view path) {
    int fd = ::open(std::string(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return LastError();
    return std::unique_ptr<WritableFile>(
        std::make_unique<PosixWritableFile>(fd, SplitFolder(path).first));
}

Status LinuxPlatform::ReplaceWith(std::string_view from, std::string_view to) {
    const std::string target(to);
    const std::string folder = SplitFolder(target).first;
    // On FAT the replaced file's clusters are freed when its last user lets
    // go. Held open here, they stay allocated until the new entry is on the
    // device, so the old entry never points at freed clusters.
    const int replaced = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (::rename(std::string(from).c_str(), target.c_str()) != 0) {
        SystemError error = LastError();
        if (replaced >= 0) ::close(replaced);
        return error;
    }
    // On FAT a file's folder entry (start cluster and size) belongs to the
    // file: a rename only marks the moved file dirty and flushing the folder
    // does not write it, so the file itself is flushed too. The order keeps
    // each state a pulled card can hold whole: with a file replaced, the
    // temporary name goes first (the old entry stays whole), then the entry
    // takes the new clusters; with a new name, the entry is written whole
    // before the temporary name goes.
    if (replaced < 0) {
        if (Status synced = OpenAndSync(target, 0, ::fsync); !synced.ok()) return synced;
        return SyncFolder(folder);
    }
    Status synced = SyncFolder(folder);
    if (synced.ok()) synced = OpenAndSync(target, 0, ::fsync);
    ::close(replaced);
    if (!synced.ok()) return synced;
    // The old clusters are freed now; their release reaches the device too.
    return SyncFolder(folder);
}

Status LinuxPlatform::RemoveFile(std::string_view path) {
    const std::string file(path);
    if (::unlink(file.c_str()) != 0) return LastError();
    return SyncFolder(SplitFolder(file).first);
}

}  // namespace orvane::linux_port
