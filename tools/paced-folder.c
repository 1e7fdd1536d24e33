// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A folder that writes and reads at a memory card's pace: a FUSE file system
// that passes every call through to a backing folder, and holds each read and
// write for as long as a card of the given speed would take over its bytes.
// The card does one thing at a time, so reads and writes share its time.
// Every file is opened with direct_io, so nothing is kept in the page cache:
// every read, a read-back included, comes from the "card".
//
//   paced-folder BACKING MOUNT-POINT --write-bps=N --read-bps=N [--log=FILE]
//                [FUSE options, e.g. -f]
//
// --log writes one line per call that changes the folder or reaches the
// card's own storage (create, write, fsync, release, unlink, rename, ...):
// the wall-clock time in milliseconds, the call, the path, and for writes
// their size, so that a stop can be followed step by step beside the times
// another program records.
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <pthread.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

struct Options {
    char* backing;
    long writeBps;
    long readBps;
    char* logPath;
};
static struct Options options;

static const struct fuse_opt kOptions[] = {
    {"--write-bps=%ld", offsetof(struct Options, writeBps), 0},
    {"--read-bps=%ld", offsetof(struct Options, readBps), 0},
    {"--log=%s", offsetof(struct Options, logPath), 0},
    FUSE_OPT_END,
};

static FILE* logFile;
static pthread_mutex_t logLock = PTHREAD_MUTEX_INITIALIZER;

// The instant the card finishes what it was given so far.
static pthread_mutex_t cardLock = PTHREAD_MUTEX_INITIALIZER;
static struct timespec cardBusyUntil;

static long long Nanoseconds(struct timespec t) {
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static struct timespec FromNanoseconds(long long ns) {
    struct timespec t = {(time_t)(ns / 1000000000LL), (long)(ns % 1000000000LL)};
    return t;
}

static void Note(const char* call, const char* path, long long bytes) {
    if (logFile == NULL) return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    pthread_mutex_lock(&logLock);
    fprintf(logFile, "%lld.%03ld %s %s", (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000,
            now.tv_nsec / 1000 % 1000, call, path);
    if (bytes >= 0) fprintf(logFile, " %lld", bytes);
    fputc('\n', logFile);
    fflush(logFile);
    pthread_mutex_unlock(&logLock);
}

// Takes the card for `bytes` at `bytesPerSecond` after whatever it is doing,
// and waits until it is done with them.
static void UseCard(size_t bytes, long bytesPerSecond) {
    if (bytesPerSecond <= 0 || bytes == 0) return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    pthread_mutex_lock(&cardLock);
    long long start = Nanoseconds(cardBusyUntil);
    if (start < Nanoseconds(now)) start = Nanoseconds(now);
    const long long done = start + (long long)((double)bytes * 1e9 / (double)bytesPerSecond);
    cardBusyUntil = FromNanoseconds(done);
    pthread_mutex_unlock(&cardLock);
    struct timespec until = FromNanoseconds(done);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR) {
    }
}

static void Backing(char out[PATH_MAX], const char* path) {
    snprintf(out, PATH_MAX, "%s%s", options.backing, path);
}

static int Fail(void) {
    return -errno;
}

static int GetAttributes(const char* path, struct stat* status, struct fuse_file_info* file) {
    if (file != NULL) return fstat((int)file->fh, status) == 0 ? 0 : Fail();
    char real[PATH_MAX];
    Backing(real, path);
    return lstat(real, status) == 0 ? 0 : Fail();
}

static int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info* file, enum fuse_readdir_flags flags) {
    (void)offset;
    (void)file;
    (void)flags;
    char real[PATH_MAX];
    Backing(real, path);
    DIR* folder = opendir(real);
    if (folder == NULL) return Fail();
    struct dirent* entry;
    while ((entry = readdir(folder)) != NULL) {
        struct stat status;
        memset(&status, 0, sizeof status);
        status.st_ino = entry->d_ino;
        status.st_mode = (mode_t)DTTOIF(entry->d_type);
        if (fill(buffer, entry->d_name, &status, 0, 0) != 0) break;
    }
    closedir(folder);
    return 0;
}

static int MakeFolder(const char* path, mode_t mode) {
    char real[PATH_MAX];
    Backing(real, path);
    Note("mkdir", path, -1);
    return mkdir(real, mode) == 0 ? 0 : Fail();
}

static int RemoveFolder(const char* path) {
    char real[PATH_MAX];
    Backing(real, path);
    Note("rmdir", path, -1);
    return rmdir(real) == 0 ? 0 : Fail();
}

static int Unlink(const char* path) {
    char real[PATH_MAX];
    Backing(real, path);
    Note("unlink", path, -1);
    return unlink(real) == 0 ? 0 : Fail();
}

static int Rename(const char* from, const char* to, unsigned int flags) {
    if (flags != 0) return -EINVAL;
    char realFrom[PATH_MAX], realTo[PATH_MAX];
    Backing(realFrom, from);
    Backing(realTo, to);
    Note("rename", from, -1);
    return rename(realFrom, realTo) == 0 ? 0 : Fail();
}

static int Truncate(const char* path, off_t size, struct fuse_file_info* file) {
    if (file != NULL) return ftruncate((int)file->fh, size) == 0 ? 0 : Fail();
    char real[PATH_MAX];
    Backing(real, path);
    return truncate(real, size) == 0 ? 0 : Fail();
}

static int SetTimes(const char* path, const struct timespec times[2], struct fuse_file_info* file) {
    if (file != NULL) return futimens((int)file->fh, times) == 0 ? 0 : Fail();
    char real[PATH_MAX];
    Backing(real, path);
    return utimensat(AT_FDCWD, real, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : Fail();
}

static int ChangeMode(const char* path, mode_t mode, struct fuse_file_info* file) {
    if (file != NULL) return fchmod((int)file->fh, mode) == 0 ? 0 : Fail();
    char real[PATH_MAX];
    Backing(real, path);
    return chmod(real, mode) == 0 ? 0 : Fail();
}

static int Create(const char* path, mode_t mode, struct fuse_file_info* file) {
    char real[PATH_MAX];
    Backing(real, path);
    Note("create", path, -1);
    const int fd = open(real, file->flags, mode);
    if (fd < 0) return Fail();
    file->fh = (uint64_t)fd;
    return 0;
}

static int Open(const char* path, struct fuse_file_info* file) {
    char real[PATH_MAX];
    Backing(real, path);
    const int fd = open(real, file->flags);
    if (fd < 0) return Fail();
    file->fh = (uint64_t)fd;
    return 0;
}

static int Read(const char* path, char* buffer, size_t size, off_t offset,
                struct fuse_file_info* file) {
    (void)path;
    const ssize_t got = pread((int)file->fh, buffer, size, offset);
    if (got < 0) return Fail();
    UseCard((size_t)got, options.readBps);
    return (int)got;
}

static int Write(const char* path, const char* buffer, size_t size, off_t offset,
                 struct fuse_file_info* file) {
    UseCard(size, options.writeBps);
    const ssize_t put = pwrite((int)file->fh, buffer, size, offset);
    if (put < 0) return Fail();
    Note("write", path, (long long)put);
    return (int)put;
}

static int StatFs(const char* path, struct statvfs* status) {
    (void)path;
    return statvfs(options.backing, status) == 0 ? 0 : Fail();
}

static int Release(const char* path, struct fuse_file_info* file) {
    Note("release", path, -1);
    close((int)file->fh);
    return 0;
}

static int Sync(const char* path, int dataOnly, struct fuse_file_info* file) {
    Note("fsync", path, -1);
    const int synced = dataOnly ? fdatasync((int)file->fh) : fsync((int)file->fh);
    return synced == 0 ? 0 : Fail();
}

static int SyncFolder(const char* path, int dataOnly, struct fuse_file_info* file) {
    (void)dataOnly;
    (void)file;
    char real[PATH_MAX];
    Backing(real, path);
    Note("fsyncdir", path, -1);
    const int fd = open(real, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return Fail();
    const int synced = fsync(fd);
    close(fd);
    return synced == 0 ? 0 : Fail();
}

static void* Init(struct fuse_conn_info* connection, struct fuse_config* config) {
    (void)connection;
    // The backing folder's own inode numbers and attributes, never cached
    // in the kernel: another program may look at the backing folder.
    config->use_ino = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    // Nothing in the page cache: every read and write reaches the card.
    config->direct_io = 1;
    return NULL;
}

static const struct fuse_operations kOperations = {
    .init = Init,
    .getattr = GetAttributes,
    .readdir = ReadFolder,
    .mkdir = MakeFolder,
    .rmdir = RemoveFolder,
    .unlink = Unlink,
    .rename = Rename,
    .truncate = Truncate,
    .utimens = SetTimes,
    .chmod = ChangeMode,
    .create = Create,
    .open = Open,
    .read = Read,
    .write = Write,
    .statfs = StatFs,
    .release = Release,
    .fsync = Sync,
    .fsyncdir = SyncFolder,
};

// The first argument that is no option names the backing folder; FUSE takes
// the rest, the mount point among them.
static int TakeBacking(void* data, const char* argument, int key, struct fuse_args* args) {
    (void)data;
    (void)args;
    if (key != FUSE_OPT_KEY_NONOPT || options.backing != NULL) return 1;
    options.backing = realpath(argument, NULL);
    if (options.backing == NULL) {
        perror(argument);
        return -1;
    }
    return 0;
}

int main(int argc, char** argv) {
    struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&args, &options, kOptions, TakeBacking) != 0) return 2;
    if (options.backing == NULL) {
        fprintf(stderr,
                "usage: paced-folder BACKING MOUNT-POINT --write-bps=N --read-bps=N "
                "[--log=FILE] [FUSE options]\n");
        return 2;
    }
    if (options.logPath != NULL) {
        logFile = fopen(options.logPath, "a");
        if (logFile == NULL) {
            perror(options.logPath);
            return 2;
        }
    }
    return fuse_main(args.argc, args.argv, &kOperations, NULL);
}
