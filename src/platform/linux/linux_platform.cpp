// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The system side of the Linux program: errors, settings and paths. Devices
// are in linux_devices.cpp, files in linux_files.cpp.
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

#include "platform/linux/beneath.h"
#include "platform/linux/linux_common.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/profile_reader.h"
#include "platform/linux/sysfs.h"
#include "port/ascii.h"
#include "port/volume_mounter.h"

namespace orvane::linux_port {

namespace detail {

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

}  // namespace detail

using detail::FindIgnoringCase;
using detail::LastError;
using detail::ReadWholeFile;
using detail::SplitFolder;

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

std::unique_ptr<SideWork> LinuxSystem::RunBeside(std::function<void()> work) {
    return sideWorker_.Run(std::move(work));
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

VolumeMounter* LinuxPlatform::Mounter() {
    return mounter_ != nullptr && mounter_->Mounts() ? mounter_ : nullptr;
}

}  // namespace orvane::linux_port
