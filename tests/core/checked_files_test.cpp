// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What the transfer says of each file it read back: only files whose
// read-back matched, each once, with the digest of its bytes, handed to the
// front end's thread with the result.
#include <gtest/gtest.h>

#include "harness.h"
#include "transfer/background_transfer.h"
#include "transfer/safe_transfer.h"

namespace orvane::testing {
namespace {

const std::string kDest = "G:\\FIRMWARE\\";
const std::string kCommands = "[CMD]\r\nUPDATE=1\r\n";

std::string DigestOf(const std::string& content) {
    Sha256 hash;
    hash.Update(std::as_bytes(std::span(content.data(), content.size())));
    return HexDigest(hash.Finish());
}

struct Recorder : TransferObserver {
    std::vector<std::string> events;
    std::vector<CheckedFile> checked;
    void OnProgress(const TransferProgress&) override {}
    bool StopRequested() override { return false; }
    bool BeginReplacing() override {
        events.push_back("replacing");
        return true;
    }
    void OnFileChecked(const CheckedFile& file) override {
        events.push_back("checked " + file.name);
        checked.push_back(file);
    }
};

struct Camera : Harness {
    Camera() {
        PlugCamera("G");
        platform.folders.insert("G:\\FIRMWARE");
    }
    TransferRequest Request() const {
        return TransferRequest{"G", kSourceFolder, kDest, {"vorm.bin", "dsccmd.ini"}};
    }
};

TEST(CheckedFiles, EachFileReadBackWholeIsReportedOnceWithItsDigestBeforeTheReplacements) {
    Camera h;
    Recorder recorder;
    ASSERT_FALSE(TransferFirmware(h.platform, h.Request(), &recorder).has_value());
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"checked vorm.bin", "checked dsccmd.ini", "replacing"}));
    ASSERT_EQ(recorder.checked.size(), 2u);
    EXPECT_EQ(recorder.checked[0].bytes, Harness::FirmwareImage().size());
    EXPECT_EQ(HexDigest(recorder.checked[0].sha256), DigestOf(Harness::FirmwareImage()));
    EXPECT_EQ(recorder.checked[1].bytes, kCommands.size());
    EXPECT_EQ(HexDigest(recorder.checked[1].sha256), DigestOf(kCommands));
}

TEST(CheckedFiles, AFileThatReadsBackWrongOrIsNotReadBackIsNotReported) {
    Camera corrupt;
    corrupt.platform.corruptOnDevice.insert(kDest + "dsccmd.ini" + kTemporarySuffix);
    Recorder recorder;
    ASSERT_TRUE(TransferFirmware(corrupt.platform, corrupt.Request(), &recorder).has_value());
    EXPECT_EQ(recorder.events, std::vector<std::string>{"checked vorm.bin"});

    Camera unchecked;
    TransferRequest request = unchecked.Request();
    request.verify = false;
    Recorder none;
    ASSERT_FALSE(TransferFirmware(unchecked.platform, request, &none).has_value());
    EXPECT_EQ(none.events, std::vector<std::string>{"replacing"});
}

TEST(CheckedFiles, TheBackgroundTransferHandsThemOverWithItsResult) {
    Camera h;
    h.platform.holdBackground = true;
    std::vector<std::string> seenWhenDone;
    std::shared_ptr<BackgroundTransfer> transfer;
    transfer = std::make_shared<BackgroundTransfer>(
        h.platform, h.Request(), [](const TransferProgress&) {},
        [&](const std::optional<TransferFailure>& failure) {
            EXPECT_FALSE(failure.has_value());
            for (const CheckedFile& file : transfer->CheckedFiles())
                seenWhenDone.push_back(file.name + " " + std::to_string(file.bytes));
        });
    transfer->Start();
    h.platform.RunBackgroundWork();
    EXPECT_TRUE(transfer->CheckedFiles().empty()) << "not before the result is delivered";
    h.platform.DeliverPosted();
    EXPECT_EQ(seenWhenDone, (std::vector<std::string>{
                                "vorm.bin " + std::to_string(Harness::FirmwareImage().size()),
                                "dsccmd.ini " + std::to_string(kCommands.size())}));
}

}  // namespace
}  // namespace orvane::testing
