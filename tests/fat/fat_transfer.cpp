// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Runs the real Linux back end and the core's transfer once, on a FAT card
// mounted inside user-mode Linux, and says what it reported.
//
// Usage: orvane_fat_transfer MOUNT-POINT SOURCE-FOLDER [CARD-FILE COPY]
//
// With CARD-FILE and COPY, the host file that backs the card is copied the
// moment the transfer reports success: what a card pulled then would hold.
// Prints "success" or "failure" and the message the user would see, and on
// standard error how long the transfer took. From the environment:
//   DEST            the destination folder on the card (default FIRMWARE,
//                   "/" for the card's top folder)
//   PROGRESS_LOG    a file that gets one line per progress report:
//                   milliseconds since the start, phase, bytes done, total
//   STOP_AFTER_MS   asks the transfer to stop this long after its start, and
//                   says on standard error how long the stop then took
// SIGINT asks the transfer to stop, as Cancel does in the dialog; standard
// error then says when each step of the stop came back, in microseconds of
// the wall clock, which the sender of the signal reads too (the handler
// itself may only run once a call that waits for the card returns): the
// stop seen, the temporary file closed, the temporary file removed (its
// folder flushed), the transfer's end.
//   CORRUPT_DEVICE  the card's block device: when the read-back of the
//                   firmware image begins, its first block on the card is
//                   overwritten behind the file system's back, while another
//                   mapping keeps the file's pages in memory
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"
#include "texts/texts.h"
#include "transfer/safe_transfer.h"
#include "transfer/update_request.h"
#include "ui/updater_dialog.h"

namespace {

using namespace orvane;

// The transfer needs no window.
class NoWindow : public linux_port::WindowSide {
  public:
    IconHandle LoadAppIcon() override { return 0; }
    void AddAboutToSystemMenu() override {}
    void SetWindowIcons(IconHandle) override {}
    unsigned ArmTimer(unsigned, unsigned) override { return 0; }
    void StopTimer(unsigned) override {}
    void ShowMessage(std::string_view) override {}
    void EndModal(int) override {}
    void ShowProgress(int, std::string_view) override {}
    void HideProgress() override {}
    void RunInBackground(std::function<void()> work) override { work(); }
    void PostToUi(std::function<void()> task) override { task(); }
};

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
    interrupted.store(true);
}

// One step of a stop, once SIGINT has come, and when.
void StopStep(const char* what) {
    if (!interrupted.load()) return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(stderr, "stop step %s %lld us\n", what,
                 static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
}

// A file being written, which says when it is closed.
class ClosingFile : public WritableFile {
  public:
    explicit ClosingFile(std::unique_ptr<WritableFile> file) : file_(std::move(file)) {}
    ~ClosingFile() override {
        file_.reset();
        StopStep("temporary-closed");
    }
    Status Write(std::span<const std::byte> data) override { return file_->Write(data); }
    std::uint64_t BytesOnDevice() const override { return file_->BytesOnDevice(); }
    Status Flush() override { return file_->Flush(); }
    Status Close() override { return file_->Close(); }

  private:
    std::unique_ptr<WritableFile> file_;
};

// The bench's disk is neither USB nor removable; which drive is the camera
// is settled elsewhere, so only a drive that went away is refused here.
class BenchPlatform : public linux_port::LinuxPlatform {
  public:
    using LinuxPlatform::LinuxPlatform;
    DriveRefusal CheckDrive(std::string_view drive) override {
        DriveRefusal refusal = LinuxPlatform::CheckDrive(drive);
        return refusal == DriveRefusal::Gone ? refusal : DriveRefusal::None;
    }
    Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) override {
        auto created = LinuxPlatform::CreateForWrite(path);
        if (!created.ok()) return created;
        return std::unique_ptr<WritableFile>(new ClosingFile(std::move(created.value())));
    }
    Status RemoveFile(std::string_view path) override {
        Status removed = LinuxPlatform::RemoveFile(path);
        StopStep("temporary-removed");
        return removed;
    }
};

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Changes the first block of `file` on `device`, under the file system, and
// keeps the file's pages mapped, as another program reading it would.
class CardChanger {
  public:
    CardChanger(std::string device) : device_(std::move(device)) {}
    ~CardChanger() {
        if (mapped_ != nullptr) ::munmap(mapped_, length_);
    }

    void Change(const std::string& file) {
        int fd = ::open(file.c_str(), O_RDONLY);
        struct stat status {};
        int blockSize = 0, block = 0;
        if (fd < 0 || ::fstat(fd, &status) != 0 || ::ioctl(fd, FIGETBSZ, &blockSize) != 0 ||
            ::ioctl(fd, FIBMAP, &block) != 0 || block == 0) {
            std::cerr << "cannot find " << file << " on the card\n";
            std::exit(3);
        }
        length_ = static_cast<std::size_t>(status.st_size);
        mapped_ = ::mmap(nullptr, length_, PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (mapped_ == MAP_FAILED) {
            mapped_ = nullptr;
            std::exit(3);
        }
        // Every page of the file is brought in and stays: a mapped page is
        // one the system will not drop on request.
        unsigned char sum = 0;
        for (std::size_t i = 0; i < length_; i += 4096)
            sum = static_cast<unsigned char>(sum ^ static_cast<unsigned char*>(mapped_)[i]);
        std::cerr << "mapped " << length_ << " bytes (" << static_cast<int>(sum) << ")\n";
        std::vector<char> garbage(static_cast<std::size_t>(blockSize), '\x5a');
        int card = ::open(device_.c_str(), O_WRONLY | O_SYNC);
        const off_t at = static_cast<off_t>(block) * blockSize;
        if (card < 0 || ::pwrite(card, garbage.data(), garbage.size(), at) !=
                            static_cast<ssize_t>(garbage.size())) {
            std::cerr << "cannot change " << device_ << "\n";
            std::exit(3);
        }
        ::close(card);
        std::cerr << "changed block " << block << " of " << file << " on " << device_ << "\n";
    }

  private:
    std::string device_;
    void* mapped_ = nullptr;
    std::size_t length_ = 0;
};

class BenchObserver : public TransferObserver {
  public:
    BenchObserver(Clock::time_point start, std::string destination)
        : start_(start), destination_(std::move(destination)) {
        if (const char* log = std::getenv("PROGRESS_LOG")) log_.open(log);
        if (const char* stop = std::getenv("STOP_AFTER_MS")) stopAfterMs_ = std::atoll(stop);
        if (const char* device = std::getenv("CORRUPT_DEVICE")) changer_.emplace(device);
    }

    void OnProgress(const TransferProgress& progress) override {
        if (log_.is_open())
            log_ << MsSince(start_) << ' ' << static_cast<int>(progress.phase) << ' '
                 << progress.done << ' ' << progress.total << std::endl;
        if (changer_ && !changed_ && progress.phase == TransferPhase::Checking &&
            progress.file == kFirmwareImageName) {
            changed_ = true;
            changer_->Change(destination_ + kFirmwareImageName + kTemporarySuffix);
        }
    }
    bool StopRequested() override {
        if (interrupted.load()) {
            if (!seen_) StopStep("stop-seen");
            seen_ = true;
            return true;
        }
        return stopAfterMs_ >= 0 && MsSince(start_) >= stopAfterMs_;
    }
    long long stopAfterMs() const { return stopAfterMs_; }

  private:
    Clock::time_point start_;
    std::string destination_;
    std::ofstream log_;
    long long stopAfterMs_ = -1;
    std::optional<CardChanger> changer_;
    bool changed_ = false;
    bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::cerr << "usage: orvane_fat_transfer MOUNT-POINT SOURCE-FOLDER [CARD-FILE COPY]\n";
        return 2;
    }
    std::signal(SIGINT, OnInterrupt);
    NoWindow window;
    BenchPlatform platform(window);
    TransferRequest request;
    request.drive = argv[1];
    request.sourceFolder = platform.JoinPath(argv[2], "/");
    const char* dest = std::getenv("DEST");
    const std::string folder = dest == nullptr ? "FIRMWARE" : dest;
    // As the settings spell it.
    request.destinationFolder =
        platform.JoinPath(platform.DriveRoot(argv[1]), folder == "/" ? "\\" : folder + "\\");
    request.files = {kFirmwareImageName, kCommandFileName};

    const auto start = Clock::now();
    BenchObserver observer(start, request.destinationFolder);
    std::optional<TransferFailure> failure = TransferFirmware(platform, request, &observer);
    StopStep("transfer-returned");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (observer.stopAfterMs() >= 0)
        std::cerr << "stop took " << took.count() - observer.stopAfterMs() << " ms\n";
    std::cerr << "took " << took.count() << " ms\n";
    if (!failure) {
        if (argc == 5)
            std::filesystem::copy_file(argv[3], argv[4],
                                       std::filesystem::copy_options::overwrite_existing);
        std::cout << "success\n" << texts::kUpdateSuccess << "\n";
        return 0;
    }
    std::cout << "failure\n" << texts::DescribeTransferFailure(*failure, HostSystem::Linux) << "\n";
    return 1;
}
