// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The transfer under failure: every file operation fails in turn, and the
// camera never ends up with a torn image, a mixed set it was not told about,
// or a temporary file.
#include <gtest/gtest.h>

#include "harness.h"
#include "texts/texts.h"
#include "transfer/safe_transfer.h"

namespace orvane::testing {
namespace {

const std::string kDest = "G:\\FIRMWARE\\";
const std::string kOldImage = "old image, whole";
const std::string kOldCommands = "old commands";

// A camera at G: that already holds an earlier update.
struct CameraWithOldFiles : Harness {
    CameraWithOldFiles() {
        PlugCamera("G");
        platform.folders.insert("G:\\FIRMWARE");
        platform.files[kDest + "vorm.bin"] = kOldImage;
        platform.files[kDest + "dsccmd.ini"] = kOldCommands;
        Open();
    }
    bool HasTemporaries() const {
        for (const std::string& path : platform.FilesUnder("G:"))
            if (path.find(kTemporarySuffix) != std::string::npos) return true;
        return false;
    }
    std::string Image() { return platform.files[kDest + "vorm.bin"]; }
    std::string Commands() { return platform.files[kDest + "dsccmd.ini"]; }
};

const std::string kNewCommands = "[CMD]\r\nUPDATE=1\r\n";

// The index of the first logged file operation that starts with `prefix`
// and mentions `part`, counted as the fake counts file operations.
int FileOpIndex(const fake::FakePlatform& platform, const std::string& prefix,
                const std::string& part) {
    static const char* const kFileOps[] = {
        "OpenForRead", "Read ",  "FreeSpace", "MakeDirectory", "CreateForWrite",
        "Write ",      "Flush ", "Close ",    "ReplaceWith",   "RemoveFile"};
    int index = 0;
    for (const std::string& call : platform.calls) {
        bool fileOp = false;
        for (const char* op : kFileOps) fileOp = fileOp || call.rfind(op, 0) == 0;
        if (!fileOp) continue;
        ++index;
        if (call.rfind(prefix, 0) == 0 && call.find(part) != std::string::npos) return index;
    }
    return 0;
}

TEST(SafeTransfer, EveryFailingFileOperationLeavesTheCameraConsistentAndRecoverable) {
    int operations = 0;
    {
        CameraWithOldFiles clean;
        clean.dialog->OnUpdateClicked();
        ASSERT_EQ(clean.platform.endResult, IDOK);
        operations = clean.platform.fileOps;
    }
    ASSERT_GT(operations, 10);

    for (ErrorKind kind : {ErrorKind::DiskFull, ErrorKind::DeviceGone, ErrorKind::WriteProtected}) {
        for (int at = 1; at <= operations; ++at) {
            CameraWithOldFiles h;
            h.platform.failFileOpAt = at;
            h.platform.failKind = kind;
            // Each system's words, in turn.
            h.platform.system = at % 2 == 0 ? HostSystem::Linux : HostSystem::Windows;
            h.dialog->OnUpdateClicked();
            // The operation that failed, as the fake logged it.
            std::string failed;
            int seen = 0;
            for (const std::string& call : h.platform.calls) {
                if (call.find(' ') != std::string::npos && call.rfind("StopTimer", 0) != 0 &&
                    call.rfind("ArmTimer", 0) != 0 && call.rfind("SetWindowIcons", 0) != 0 &&
                    call.rfind("ReadProfileString", 0) != 0 && call.rfind("CheckDrive", 0) != 0 &&
                    ++seen == at)
                    failed = call;
            }
            SCOPED_TRACE("failing operation " + std::to_string(at) + ": " + failed);
            ASSERT_FALSE(failed.empty());
            EXPECT_FALSE(h.HasTemporaries());

            // Not knowing the free space does not stop the update (the writes
            // would report a full drive), nor does a leftover temporary file
            // that cannot be removed (its creation truncates or reports it).
            const bool harmless =
                (failed.rfind("FreeSpace", 0) == 0 && kind != ErrorKind::DeviceGone) ||
                failed.rfind("RemoveFile", 0) == 0;
            if (harmless) {
                EXPECT_EQ(h.platform.messages.back(), "Update success");
                EXPECT_EQ(h.Image(), Harness::FirmwareImage());
                continue;
            }
            ASSERT_EQ(h.platform.messages.size(), 1u);
            const std::string& message = h.platform.messages[0];
            EXPECT_NE(message, "Update success");
            EXPECT_FALSE(h.platform.endResult.has_value());

            const bool replace = failed.rfind("ReplaceWith", 0) == 0;
            const bool secondReplace = replace && failed.find("dsccmd.ini") != std::string::npos;
            EXPECT_EQ(h.Image(), secondReplace ? Harness::FirmwareImage() : kOldImage);
            EXPECT_EQ(h.Commands(), kOldCommands);
            if (replace && kind == ErrorKind::DeviceGone) {
                EXPECT_NE(message.find("is not known"), std::string::npos) << message;
                EXPECT_EQ(message.find("already has"), std::string::npos) << message;
            } else if (secondReplace) {
                EXPECT_NE(message.find("Press UpDate again"), std::string::npos) << message;
            } else {
                EXPECT_NE(message.find("were not changed"), std::string::npos) << message;
            }
            // A card that took this transfer's writes and then refuses them
            // did not have its lock switch moved meanwhile: Linux remounted
            // it read-only after an I/O error. Windows does no such thing.
            if (kind == ErrorKind::WriteProtected && failed.find("G:") != std::string::npos) {
                const int created = FileOpIndex(h.platform, "CreateForWrite", "G:");
                const bool remounted =
                    created > 0 && created < at && h.platform.system == HostSystem::Linux;
                EXPECT_EQ(message.find("lock switch") == std::string::npos, remounted) << message;
                EXPECT_EQ(message.find("stopped accepting writes") != std::string::npos, remounted)
                    << message;
            }

            // Once the cause is gone, pressing again finishes the job.
            h.platform.failFileOpAt = 0;
            h.platform.messages.clear();
            h.dialog->OnUpdateClicked();
            EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
            EXPECT_EQ(h.Image(), Harness::FirmwareImage());
            EXPECT_EQ(h.Commands(), kNewCommands);
            EXPECT_FALSE(h.HasTemporaries());
        }
    }
}

TEST(SafeTransfer, ARenameThatHappenedButFailedIsNotCalledUnchanged) {
    CameraWithOldFiles probe;
    probe.dialog->OnUpdateClicked();
    for (const char* name : {"vorm.bin", "dsccmd.ini"}) {
        SCOPED_TRACE(name);
        CameraWithOldFiles h;
        h.platform.failFileOpAt =
            FileOpIndex(probe.platform, "ReplaceWith", std::string(name) + kTemporarySuffix);
        ASSERT_GT(h.platform.failFileOpAt, 0);
        h.platform.failKind = ErrorKind::Other;
        h.platform.failedRenameTakesPlace = true;
        h.dialog->OnUpdateClicked();
        ASSERT_EQ(h.platform.messages.size(), 1u);
        const std::string& message = h.platform.messages[0];
        EXPECT_EQ(message.find("were not changed"), std::string::npos) << message;
        EXPECT_NE(message.find("could not confirm"), std::string::npos) << message;
        EXPECT_NE(message.find("Press UpDate again"), std::string::npos) << message;
        EXPECT_EQ(h.Image(), Harness::FirmwareImage());
        EXPECT_FALSE(h.HasTemporaries());
        if (std::string(name) == "vorm.bin") {
            EXPECT_NE(message.find("but not yet the new dsccmd.ini"), std::string::npos);
            EXPECT_EQ(h.Commands(), kOldCommands);
        } else {
            EXPECT_NE(message.find("new vorm.bin and dsccmd.ini"), std::string::npos) << message;
        }
        EXPECT_FALSE(h.platform.endResult.has_value());
    }
}

// A pull while a file is being replaced: the rename may or may not have
// reached the card, and a vanished drive letter answers "not found" for the
// temporary file either way. The message claims nothing about which is new.
TEST(SafeTransfer, DrivePulledDuringAReplacementLeavesTheOutcomeOpen) {
    CameraWithOldFiles probe;
    probe.dialog->OnUpdateClicked();
    for (const char* name : {"vorm.bin", "dsccmd.ini"}) {
        for (bool letterGone : {false, true}) {
            SCOPED_TRACE(std::string(name) + (letterGone ? ", letter gone" : ", device gone"));
            CameraWithOldFiles h;
            h.platform.failFileOpAt =
                FileOpIndex(probe.platform, "ReplaceWith", std::string(name) + kTemporarySuffix);
            h.platform.failKind = letterGone ? ErrorKind::NotFound : ErrorKind::DeviceGone;
            h.platform.failureUnplugs = letterGone;
            h.platform.failedRenameTakesPlace = true;
            h.dialog->OnUpdateClicked();
            ASSERT_EQ(h.platform.messages.size(), 1u);
            const std::string& message = h.platform.messages[0];
            EXPECT_NE(message.find("is not known. Reconnect the camera and press UpDate again."),
                      std::string::npos)
                << message;
            EXPECT_EQ(message.find("already has"), std::string::npos) << message;
            EXPECT_EQ(message.find("not changed"), std::string::npos) << message;
            EXPECT_FALSE(h.platform.endResult.has_value());
        }
    }
}

TEST(SafeTransfer, FailureMessagesSayWhichStepPathAndSystemText) {
    CameraWithOldFiles h;
    // Fail the first write of the image's temporary file.
    h.platform.onMessage = nullptr;
    int writeAt = 0;
    {
        CameraWithOldFiles probe;
        probe.dialog->OnUpdateClicked();
        for (const std::string& call : probe.platform.calls) {
            if (call.find(' ') == std::string::npos) continue;
            if (call.rfind("OpenForRead", 0) == 0 || call.rfind("Read ", 0) == 0 ||
                call.rfind("FreeSpace", 0) == 0 || call.rfind("MakeDirectory", 0) == 0 ||
                call.rfind("CreateForWrite", 0) == 0 || call.rfind("Write", 0) == 0 ||
                call.rfind("Flush", 0) == 0 || call.rfind("Close", 0) == 0 ||
                call.rfind("ReplaceWith", 0) == 0 || call.rfind("RemoveFile", 0) == 0) {
                ++writeAt;
                if (call.rfind("Write ", 0) == 0) break;
            }
        }
    }
    h.platform.failFileOpAt = writeAt;
    h.platform.failKind = ErrorKind::DiskFull;
    h.dialog->OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    const std::string& message = h.platform.messages[0];
    EXPECT_NE(message.find("G:\\FIRMWARE\\vorm.bin could not be written"), std::string::npos)
        << message;
    EXPECT_NE(message.find("The camera's drive is full."), std::string::npos) << message;
    EXPECT_NE(message.find("Injected failure of Write"), std::string::npos) << message;
}

TEST(SafeTransfer, ReadBackMismatchKeepsTheOldFiles) {
    for (const char* corrupt : {"vorm.bin", "dsccmd.ini"}) {
        CameraWithOldFiles h;
        h.platform.corruptOnDevice.insert(kDest + corrupt + kTemporarySuffix);
        h.dialog->OnUpdateClicked();
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_NE(h.platform.messages[0].find("differs from the update file"), std::string::npos);
        EXPECT_EQ(h.Image(), kOldImage) << corrupt;
        EXPECT_EQ(h.Commands(), kOldCommands) << corrupt;
        EXPECT_FALSE(h.HasTemporaries());
    }
}

TEST(SafeTransfer, NotEnoughRoomWritesNothingAndSaysHowMuch) {
    CameraWithOldFiles h;
    const std::uint64_t needed = Harness::FirmwareImage().size() + kNewCommands.size();
    h.platform.freeSpace = needed - 1;
    h.platform.folders.erase("G:\\FIRMWARE");
    h.platform.files.clear();
    h.platform.files[std::string(kSourceFolder) + "vorm.bin"] = Harness::FirmwareImage();
    h.platform.files[std::string(kSourceFolder) + "dsccmd.ini"] = kNewCommands;
    h.dialog->OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    const std::string& message = h.platform.messages[0];
    EXPECT_NE(message.find("not enough room on drive G:"), std::string::npos) << message;
    EXPECT_NE(message.find(std::to_string(needed) + " bytes"), std::string::npos) << message;
    EXPECT_NE(message.find(std::to_string(needed - 1) + " bytes"), std::string::npos) << message;
    EXPECT_TRUE(h.platform.FilesUnder("G:").empty());
    EXPECT_FALSE(h.platform.FolderExists("G:\\FIRMWARE"));

    h.platform.freeSpace = needed;  // exactly enough
    h.dialog->OnUpdateClicked();
    EXPECT_EQ(h.platform.endResult, IDOK);
}

// Each file ends in a part-filled cluster: a card with room for the bytes but
// not for that slack is refused before anything is written.
TEST(SafeTransfer, EachFileTakesWholeClusters) {
    CameraWithOldFiles h;
    h.platform.clusterSize = 32768;
    auto clusters = [](std::uint64_t bytes) { return (bytes + 32767) / 32768 * 32768; };
    const std::uint64_t needed =
        clusters(Harness::FirmwareImage().size()) + clusters(kNewCommands.size());
    h.platform.freeSpace = needed - 1;
    ASSERT_GT(*h.platform.freeSpace, Harness::FirmwareImage().size() + kNewCommands.size());
    h.dialog->OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_NE(h.platform.messages[0].find(std::to_string(needed) + " bytes"), std::string::npos)
        << h.platform.messages[0];
    for (const std::string& call : h.platform.calls)
        EXPECT_NE(call.rfind("CreateForWrite", 0), 0u) << call;

    h.platform.freeSpace = needed;
    h.dialog->OnUpdateClicked();
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(SafeTransfer, DrivesThatCannotBeTheCameraAreRefusedByName) {
    for (DriveRefusal refusal : {DriveRefusal::Network, DriveRefusal::Optical,
                                 DriveRefusal::SystemDrive, DriveRefusal::NotRemovable}) {
        CameraWithOldFiles h;
        h.platform.refusals["G"] = refusal;
        h.dialog->OnUpdateClicked();
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_NE(h.platform.messages[0].find("Drive G: was taken as the camera's drive"),
                  std::string::npos);
        EXPECT_EQ(h.Image(), kOldImage);
        EXPECT_EQ(h.platform.fileOps, 0);  // not even a source file was opened
    }
}

TEST(SafeTransfer, MissingDestinationParentIsAFolderFailure) {
    CameraWithOldFiles h;
    h.platform.SetProfileValue(kIniPath, "DestPath", "Path", "\\NO\\SUCH\\");
    h.dialog = std::make_unique<CUpdaterDialog>(h.platform);
    h.dialog->OnInitDialog();
    h.dialog->OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_NE(h.platform.messages[0].find("The folder G:\\NO\\SUCH\\ could not be created"),
              std::string::npos)
        << h.platform.messages[0];
}

// ---- The transfer while the dialog stays responsive ---------------------------

struct RecordingObserver : TransferObserver {
    std::vector<TransferProgress> seen;
    void OnProgress(const TransferProgress& progress) override { seen.push_back(progress); }
    bool StopRequested() override { return false; }
};

TEST(SafeTransfer, ProgressOnlyGoesUpAndEndsAtTheTotalOfWritingAndReadingBack) {
    CameraWithOldFiles h;
    TransferRequest request{"G", kSourceFolder, kDest, {"vorm.bin", "dsccmd.ini"}};
    RecordingObserver observer;
    ASSERT_FALSE(TransferFirmware(h.platform, request, &observer).has_value());
    ASSERT_FALSE(observer.seen.empty());
    const std::uint64_t total = 2 * (Harness::FirmwareImage().size() + kNewCommands.size());
    std::uint64_t done = 0;
    for (const TransferProgress& progress : observer.seen) {
        EXPECT_EQ(progress.total, total);
        EXPECT_GE(progress.done, done);
        done = progress.done;
    }
    EXPECT_EQ(observer.seen.back().phase, TransferPhase::PuttingInPlace);
    EXPECT_EQ(observer.seen.back().done, total);

    // What the dialog showed: rising to 100 %, and gone at the end.
    h.dialog->OnUpdateClicked();
    EXPECT_TRUE(std::is_sorted(h.platform.progressShown.begin(), h.platform.progressShown.end()));
    EXPECT_EQ(h.platform.progressShown.back(), 100);
    EXPECT_NE(h.platform.progressStatus.find("Do not disconnect the camera."), std::string::npos);
    EXPECT_FALSE(h.platform.progressVisible);
    EXPECT_EQ(h.platform.endResult, IDOK);
}

// A slow card must hold the bar back: bytes the system merely took into its
// cache do not count.
TEST(SafeTransfer, WritingProgressCountsOnlyWhatReachedTheDevice) {
    CameraWithOldFiles h;
    TransferRequest request{"G", kSourceFolder, kDest, {"vorm.bin"}};
    struct : RecordingObserver {
        fake::FakePlatform* platform = nullptr;
        std::uint64_t ahead = 0, lastWritingDone = 0;
        void OnProgress(const TransferProgress& progress) override {
            RecordingObserver::OnProgress(progress);
            if (progress.phase != TransferPhase::Writing) return;
            const std::uint64_t onDevice =
                platform->bytesOnDevice[std::string(kDest) + "vorm.bin" + kTemporarySuffix];
            ahead = std::max(ahead, progress.done - std::min(progress.done, onDevice));
            lastWritingDone = progress.done;
        }
    } observer;
    observer.platform = &h.platform;
    ASSERT_FALSE(TransferFirmware(h.platform, request, &observer).has_value());
    EXPECT_EQ(observer.ahead, 0u);
    // The bar still moved while the image was written, not only at its end.
    const auto writing = std::count_if(observer.seen.begin(), observer.seen.end(), [](auto& p) {
        return p.phase == TransferPhase::Writing && p.done > 0;
    });
    EXPECT_GE(writing, 3);
    EXPECT_EQ(observer.lastWritingDone, Harness::FirmwareImage().size());
}

// The mended fault: the replacements gave a sign of life once, at their
// start, so that slow flushes on a slow card passed for a silent camera, and
// a second stop left the camera with a mixed set. Each flush and rename
// that comes back from the device is one now.
TEST(SafeTransfer, EachFlushAndRenameThatReturnsIsASignOfLife) {
    CameraWithOldFiles h;
    TransferRequest request{"G", kSourceFolder, kDest, {"vorm.bin", "dsccmd.ini"}};
    struct : RecordingObserver {
        fake::FakePlatform* platform = nullptr;
        std::vector<std::size_t> lifeAfter;  // the calls made before each sign
        void SignOfLife() override { lifeAfter.push_back(platform->calls.size()); }
    } observer;
    observer.platform = &h.platform;
    ASSERT_FALSE(TransferFirmware(h.platform, request, &observer).has_value());
    int answers = 0;
    for (std::size_t i = 0; i < h.platform.calls.size(); ++i) {
        const std::string& call = h.platform.calls[i];
        if (!call.starts_with("Flush") && !call.starts_with("ReplaceWith")) continue;
        ++answers;
        EXPECT_NE(std::find(observer.lifeAfter.begin(), observer.lifeAfter.end(), i + 1),
                  observer.lifeAfter.end())
            << call;
    }
    EXPECT_EQ(answers, 4);  // two flushes, two renames
}

TEST(SafeTransfer, PressesTicksAndEnterDuringTheTransferStartNothingAndEndNothing) {
    CameraWithOldFiles h;
    h.platform.holdBackground = true;
    h.dialog->OnUpdateClicked();
    ASSERT_TRUE(h.dialog->transferRunning());
    h.dialog->OnUpdateClicked();
    h.dialog->OnTimer(POLL_TIMER_ID);
    h.dialog->OnOK();
    EXPECT_EQ(h.platform.backgroundRuns, 1);
    EXPECT_TRUE(h.platform.messages.empty());
    EXPECT_FALSE(h.platform.endResult.has_value());
    EXPECT_TRUE(h.platform.progressVisible);

    h.platform.RunBackgroundWork();
    h.platform.DeliverPosted();
    EXPECT_FALSE(h.dialog->transferRunning());
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
    EXPECT_EQ(h.platform.endResult, IDOK);
}

// Cancel reaches the dialog between any two file operations of the worker:
// before the first replacement the old set stays and the dialog ends as
// Cancel does; from then on the new set is put in place first.
TEST(SafeTransfer, CancelAtAnyPointLeavesTheOldSetOrTheNewSetAndEndsTheDialog) {
    int operations = 0;
    {
        CameraWithOldFiles clean;
        clean.dialog->OnUpdateClicked();
        operations = clean.platform.fileOps;
    }
    for (int at = 1; at <= operations; ++at) {
        SCOPED_TRACE("cancel at file operation " + std::to_string(at));
        CameraWithOldFiles h;
        bool replacing = false;
        h.platform.onFileOp = [&](const std::string& what) {
            replacing = replacing || what.rfind("ReplaceWith", 0) == 0;
            if (h.platform.fileOps == at) h.dialog->OnCancel();
        };
        h.dialog->OnUpdateClicked();
        EXPECT_FALSE(h.HasTemporaries());
        EXPECT_FALSE(h.platform.progressVisible);
        if (!replacing) {
            EXPECT_TRUE(h.platform.messages.empty());
            EXPECT_EQ(h.platform.endResult, IDCANCEL);
            EXPECT_EQ(h.Image(), kOldImage);
            EXPECT_EQ(h.Commands(), kOldCommands);
        } else {
            EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
            EXPECT_EQ(h.platform.endResult, IDOK);
            EXPECT_EQ(h.Image(), Harness::FirmwareImage());
            EXPECT_EQ(h.Commands(), kNewCommands);
        }
    }

    // A replacement that fails after a late Cancel is reported, then the
    // dialog ends.
    CameraWithOldFiles probe;
    probe.dialog->OnUpdateClicked();
    CameraWithOldFiles h;
    const int firstReplace = FileOpIndex(probe.platform, "ReplaceWith", "vorm.bin");
    h.platform.failFileOpAt = FileOpIndex(probe.platform, "ReplaceWith", "dsccmd.ini");
    h.platform.onFileOp = [&](const std::string&) {
        if (h.platform.fileOps == firstReplace) h.dialog->OnCancel();
    };
    h.dialog->OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_NE(h.platform.messages[0].find("but not yet the new dsccmd.ini"), std::string::npos);
    EXPECT_EQ(h.platform.endResult, IDCANCEL);
}

}  // namespace
}  // namespace orvane::testing
