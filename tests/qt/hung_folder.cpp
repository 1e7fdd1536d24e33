// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A FUSE folder that behaves as a card reader that hangs: it passes every
// request on to a backing folder, but while the flag file exists each request
// it takes waits unanswered. The kernel has handed the request over by then,
// so the caller cannot be interrupted, not even by SIGKILL: only the answer,
// or the end of this daemon, frees it.
//
// Usage: orvane_hung_folder FLAG MOUNT-POINT BACKING-FOLDER (runs in the
// foreground until SIGTERM or SIGINT).
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

const char* flag = nullptr;
int backing = -1;

void HoldWhileFlagged() {
    while (::access(flag, F_OK) == 0) ::usleep(10000);
}

// The path below the backing folder: "." for the top.
const char* Below(const char* path) {
    return path[1] == '\0' ? "." : path + 1;
}

int Answer(int result) {
    return result < 0 ? -errno : 0;
}

void* Init(fuse_conn_info*, fuse_config* config) {
    // Nothing is cached: each question reaches the daemon, and waits.
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    return nullptr;
}

int GetAttr(const char* path, struct stat* status, fuse_file_info* file) {
    HoldWhileFlagged();
    if (file != nullptr) return Answer(::fstat(static_cast<int>(file->fh), status));
    return Answer(::fstatat(backing, Below(path), status, AT_SYMLINK_NOFOLLOW));
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    HoldWhileFlagged();
    const int fd = ::openat(backing, Below(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -errno;
    DIR* folder = ::fdopendir(fd);
    if (folder == nullptr) {
        ::close(fd);
        return -EIO;
    }
    while (const dirent* entry = ::readdir(folder))
        fill(buffer, entry->d_name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    ::closedir(folder);
    return 0;
}

int StatFs(const char*, struct statvfs* status) {
    HoldWhileFlagged();
    return Answer(::fstatvfs(backing, status));
}

int MakeDirectory(const char* path, mode_t mode) {
    HoldWhileFlagged();
    return Answer(::mkdirat(backing, Below(path), mode));
}

int Unlink(const char* path) {
    HoldWhileFlagged();
    return Answer(::unlinkat(backing, Below(path), 0));
}

int RemoveDirectory(const char* path) {
    HoldWhileFlagged();
    return Answer(::unlinkat(backing, Below(path), AT_REMOVEDIR));
}

int Rename(const char* from, const char* to, unsigned int flags) {
    HoldWhileFlagged();
    if (flags != 0) return -EINVAL;
    return Answer(::renameat(backing, Below(from), backing, Below(to)));
}

int Open(const char* path, fuse_file_info* file) {
    HoldWhileFlagged();
    const int fd = ::openat(backing, Below(path), file->flags | O_CLOEXEC);
    if (fd < 0) return -errno;
    file->fh = static_cast<uint64_t>(fd);
    // Every read and write reaches the daemon, not the kernel's cache.
    file->direct_io = 1;
    return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* file) {
    HoldWhileFlagged();
    const int fd = ::openat(backing, Below(path), file->flags | O_CREAT | O_CLOEXEC, mode);
    if (fd < 0) return -errno;
    file->fh = static_cast<uint64_t>(fd);
    file->direct_io = 1;
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    HoldWhileFlagged();
    const ssize_t got = ::pread(static_cast<int>(file->fh), buffer, size, offset);
    return got < 0 ? -errno : static_cast<int>(got);
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    HoldWhileFlagged();
    const ssize_t put = ::pwrite(static_cast<int>(file->fh), buffer, size, offset);
    return put < 0 ? -errno : static_cast<int>(put);
}

int Flush(const char*, fuse_file_info*) {
    HoldWhileFlagged();
    return 0;
}

int Release(const char*, fuse_file_info* file) {
    ::close(static_cast<int>(file->fh));
    return 0;
}

int FileSync(const char*, int dataOnly, fuse_file_info* file) {
    HoldWhileFlagged();
    const int fd = static_cast<int>(file->fh);
    return Answer(dataOnly != 0 ? ::fdatasync(fd) : ::fsync(fd));
}

int Truncate(const char* path, off_t size, fuse_file_info* file) {
    HoldWhileFlagged();
    if (file != nullptr) return Answer(::ftruncate(static_cast<int>(file->fh), size));
    const int fd = ::openat(backing, Below(path), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    const int result = Answer(::ftruncate(fd, size));
    ::close(fd);
    return result;
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info*) {
    HoldWhileFlagged();
    return Answer(::fchmodat(backing, Below(path), mode, 0));
}

int SetTimes(const char* path, const timespec times[2], fuse_file_info*) {
    HoldWhileFlagged();
    return Answer(::utimensat(backing, Below(path), times, AT_SYMLINK_NOFOLLOW));
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: orvane_hung_folder FLAG MOUNT-POINT BACKING-FOLDER\n");
        return 2;
    }
    flag = argv[1];
    backing = ::open(argv[3], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (backing < 0) {
        std::perror(argv[3]);
        return 2;
    }
    fuse_operations operations{};
    operations.init = Init;
    operations.getattr = GetAttr;
    operations.readdir = ReadDir;
    operations.statfs = StatFs;
    operations.mkdir = MakeDirectory;
    operations.unlink = Unlink;
    operations.rmdir = RemoveDirectory;
    operations.rename = Rename;
    operations.open = Open;
    operations.create = Create;
    operations.read = Read;
    operations.write = Write;
    operations.flush = Flush;
    operations.release = Release;
    operations.fsync = FileSync;
    operations.truncate = Truncate;
    operations.chmod = ChangeMode;
    operations.utimens = SetTimes;
    char self[] = "orvane_hung_folder", foreground[] = "-f", options[] = "-o",
         names[] = "fsname=hung-card,subtype=hung";
    char* arguments[] = {self, foreground, options, names, argv[2], nullptr};
    return fuse_main(5, arguments, &operations, nullptr);
}
