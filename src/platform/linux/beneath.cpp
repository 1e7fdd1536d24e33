// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Path resolution confined to one folder and one mount: openat2 where the
// kernel has it (5.6 and later), a checked walk elsewhere.
#include "platform/linux/beneath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace orvane::linux_port {

namespace {

// Closes a descriptor on every way out of a scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

int Fail(int error) {
    errno = error;
    return -1;
}

// Opens `name` in `folder` and accepts it only when it is no link and lies on
// the device `device`. O_NOFOLLOW makes a link fail or, with O_PATH, be opened
// as itself, so that fstat can tell.
int OpenStep(int folder, const std::string& name, int flags, unsigned mode, dev_t device,
             bool mustBeFolder) {
    int fd = ::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return fd;
    struct stat status {};
    int error = 0;
    if (::fstat(fd, &status) != 0)
        error = errno;
    else if (S_ISLNK(status.st_mode))
        error = ELOOP;
    else if (status.st_dev != device)
        error = EXDEV;
    else if (mustBeFolder && !S_ISDIR(status.st_mode))
        error = ENOTDIR;
    if (error == 0) return fd;
    ::close(fd);
    return Fail(error);
}

int Walk(int root, std::string_view relative, int flags, unsigned mode) {
    struct stat rootStatus {};
    if (::fstat(root, &rootStatus) != 0) return -1;
    Descriptor folder(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (folder.get() < 0) return -1;

    std::string last = ".";
    while (!relative.empty()) {
        std::size_t slash = relative.find('/');
        std::string name(relative.substr(0, slash));
        relative.remove_prefix(slash == std::string_view::npos ? relative.size() : slash + 1);
        if (name.empty() || name == ".") continue;
        // The caller's paths are already free of ".."; one that is not would
        // need the folders above, which this walk does not keep.
        if (name == "..") return Fail(EXDEV);
        if (relative.find_first_not_of('/') == std::string_view::npos) {
            last = name;
            break;
        }
        int next = OpenStep(folder.get(), name, O_PATH, 0, rootStatus.st_dev, true);
        if (next < 0) return -1;
        folder.reset(next);
    }
    return OpenStep(folder.get(), last, flags, mode, rootStatus.st_dev, false);
}

}  // namespace

int OpenBeneath(int root, std::string_view relative, int flags, unsigned mode,
                Resolution resolution) {
    if (resolution == Resolution::Kernel) {
        const std::string path = relative.empty() ? std::string(".") : std::string(relative);
        open_how how{};
        how.flags = static_cast<unsigned>(flags | O_CLOEXEC);
        how.mode = (flags & O_CREAT) != 0 ? mode : 0;
        how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS;
        long fd = ::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how);
        // A seccomp filter older than the call answers EPERM rather than
        // ENOSYS (some container runtimes and sandboxes). A real EPERM comes
        // back from the walk as well.
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    }
    return Walk(root, relative, flags, mode);
}

}  // namespace orvane::linux_port
