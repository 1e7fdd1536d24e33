// Runs the real Linux back end and the core's transfer once, on a FAT card
// mounted inside user-mode Linux, and says what it reported.
//
// Usage: orvane_fat_transfer MOUNT-POINT SOURCE-FOLDER [CARD-FILE COPY]
//
// With CARD-FILE and COPY, the host file that backs the card is copied the
// moment the transfer reports success: what a card pulled then would hold.
// Prints "success" or "failure" and the message the user would see, and on
// standard error how long the transfer took.
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

#include "platform/linux/linux_platform.h"
#include "transfer/safe_transfer.h"
#include "ui/texts.h"
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

// The bench's disk is neither USB nor removable; which drive is the camera
// is settled elsewhere, so only a drive that went away is refused here.
class BenchPlatform : public linux_port::LinuxPlatform {
  public:
    using LinuxPlatform::LinuxPlatform;
    DriveRefusal CheckDrive(std::string_view drive) override {
        DriveRefusal refusal = LinuxPlatform::CheckDrive(drive);
        return refusal == DriveRefusal::Gone ? refusal : DriveRefusal::None;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::cerr << "usage: orvane_fat_transfer MOUNT-POINT SOURCE-FOLDER [CARD-FILE COPY]\n";
        return 2;
    }
    NoWindow window;
    BenchPlatform platform(window);
    TransferRequest request;
    request.drive = argv[1];
    request.sourceFolder = platform.JoinPath(argv[2], "/");
    request.destinationFolder = platform.JoinPath(platform.DriveRoot(argv[1]), "FIRMWARE/");
    request.files = {kFirmwareImageName, kCommandFileName};

    const auto start = std::chrono::steady_clock::now();
    std::optional<TransferFailure> failure = TransferFirmware(platform, request);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
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
