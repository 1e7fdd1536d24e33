// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The torn-proof transfer of the update files.
#include "transfer/safe_transfer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "transfer/piece_pace.h"

namespace orvane {

namespace {

struct Item {
    std::string name;
    std::string source;
    std::string temporary;
    std::string destination;
    std::unique_ptr<ReadableFile> input;
    bool temporaryExists = false;
};

TransferFailure Failure(TransferStep step, std::string path, std::string file = {},
                        SystemError error = {}) {
    TransferFailure failure;
    failure.step = step;
    failure.path = std::move(path);
    failure.file = std::move(file);
    failure.error = std::move(error);
    return failure;
}

// The digest of what is read back, each piece hashed beside the reading of
// the next where the host has a thread for it: the hash then costs no time
// of its own on a fast card.
class ReadBackDigest {
  public:
    // `spare` is a buffer of the pieces' size for the piece being hashed;
    // it and the pieces change places.
    ReadBackDigest(SystemPort& platform, std::vector<std::byte>& spare)
        : platform_(platform), hashing_(spare) {}
    ~ReadBackDigest() { Settle(); }
    ReadBackDigest(const ReadBackDigest&) = delete;
    ReadBackDigest& operator=(const ReadBackDigest&) = delete;

    // Hashes the first `size` bytes of `piece`, which is exchanged for the
    // spare buffer, to read the next piece into.
    void Add(std::vector<std::byte>& piece, std::size_t size) {
        Settle();
        piece.swap(hashing_);
        pending_ =
            platform_.RunBeside([this, size] { digest_.Update(std::span(hashing_.data(), size)); });
    }
    Sha256Digest Finish() {
        Settle();
        return digest_.Finish();
    }

  private:
    void Settle() {
        if (pending_) pending_->Wait();
        pending_.reset();
    }

    SystemPort& platform_;
    Sha256 digest_;
    std::vector<std::byte>& hashing_;
    std::unique_ptr<SideWork> pending_;
};

class Transfer {
  public:
    Transfer(SystemPort& platform, const TransferRequest& request, TransferObserver* observer)
        : platform_(platform), request_(request), observer_(observer) {}

    std::optional<TransferFailure> Run() {
        std::optional<TransferFailure> failure = Prepare();
        if (!failure) failure = WriteTemporaries();
        // The last moment a stop leaves the old files: from here on every
        // replacement runs.
        if (!failure && observer_ != nullptr && !observer_->BeginReplacing()) failure = Stopped();
        if (!failure) failure = PutInPlace();
        RemoveTemporaries();
        if (failure) failure->driveWasWritable = driveWasWritable_;
        platform_.ReleaseVolume();
        return failure;
    }

  private:
    // Everything that can be checked before anything on the camera changes.
    std::optional<TransferFailure> Prepare() {
        const std::string root = platform_.DriveRoot(request_.drive);
        DriveRefusal refusal = platform_.CheckDrive(request_.drive);
        if (refusal != DriveRefusal::None) {
            TransferFailure failure = Failure(TransferStep::CheckDrive, root);
            failure.refusal = refusal;
            return failure;
        }
        // From here on every path on the drive stays on the volume just checked.
        Status held = platform_.HoldVolume(request_.drive);
        if (!held.ok()) {
            TransferFailure failure = Failure(TransferStep::CheckDrive, root, {}, held.error());
            failure.refusal = DriveRefusal::Gone;
            return failure;
        }

        for (const std::string& name : request_.files) {
            Item item;
            item.name = name;
            item.source = platform_.JoinPath(request_.sourceFolder, name);
            item.destination = platform_.JoinPath(request_.destinationFolder, name);
            item.temporary = item.destination + kTemporarySuffix;
            auto opened = platform_.OpenForRead(item.source, ReadCaching::Normal);
            if (!opened.ok())
                return Failure(TransferStep::OpenSource, item.source, name, opened.error());
            item.input = std::move(opened.value());
            progress_.total += item.input->Size() * (request_.verify ? 2 : 1);
            items_.push_back(std::move(item));
        }

        RemoveStaleTemporaries();

        // The new files stand beside the old ones until both are whole, each
        // taking whole clusters: a card short only by the last cluster's slack
        // would fill up in the middle of a write.
        Result<VolumeSpace> free = platform_.FreeSpace(root);
        if (free.ok()) {
            const std::uint64_t cluster = std::max<std::uint64_t>(free.value().clusterBytes, 1);
            std::uint64_t needed = 0;
            for (const Item& item : items_)
                needed += (item.input->Size() + cluster - 1) / cluster * cluster;
            if (free.value().freeBytes < needed) {
                TransferFailure failure = Failure(TransferStep::CheckSpace, root);
                failure.needed = needed;
                failure.available = free.value().freeBytes;
                return failure;
            }
        }
        if (!free.ok() && StorageUnreachable(free.error().kind))
            return Failure(TransferStep::CheckSpace, root, {}, free.error());

        Status made = platform_.MakeDirectory(request_.destinationFolder);
        if (made.ok()) driveWasWritable_ = true;
        if (!made.ok() && made.error().kind != ErrorKind::AlreadyExists)
            return Failure(TransferStep::CreateFolder, request_.destinationFolder, {},
                           made.error());
        Report(TransferPhase::Preparing, {});
        return std::nullopt;
    }

    // A pulled cable or a killed program leaves temporary files behind. They
    // go before the free space is read, so the room they held counts. A
    // failure here is left to the steps that follow: the temporary file is
    // only ever created anew, so one that could not be removed stops it.
    void RemoveStaleTemporaries() {
        for (const Item& item : items_) {
            if (platform_.RemoveFile(item.temporary).ok()) driveWasWritable_ = true;
        }
    }

    bool StopRequested() { return observer_ != nullptr && observer_->StopRequested(); }
    void SignOfLife() {
        if (observer_ != nullptr) observer_->SignOfLife();
    }

    TransferFailure Stopped() const {
        return Failure(TransferStep::Stopped, request_.destinationFolder);
    }

    void Report(TransferPhase phase, const std::string& file, std::uint64_t more = 0) {
        progress_.phase = phase;
        progress_.file = file;
        progress_.done += more;
        if (observer_ != nullptr) observer_->OnProgress(progress_);
    }

    std::optional<TransferFailure> WriteTemporaries() {
        for (Item& item : items_) {
            if (auto failure = WriteOne(item)) return failure;
            if (request_.verify) {
                if (auto failure = Verify(item)) return failure;
            }
        }
        return std::nullopt;
    }

    std::optional<TransferFailure> WriteOne(Item& item) {
        // Marked before creation: a failed create may still leave an entry.
        item.temporaryExists = true;
        auto created = platform_.CreateForWrite(item.temporary);
        if (!created.ok())
            return Failure(TransferStep::WriteFile, item.destination, item.name, created.error());
        driveWasWritable_ = true;
        WritableFile& output = *created.value();
        Report(TransferPhase::Writing, item.name);

        // Progress counts what reached the card, not what the system took
        // into its cache: the writes keep pace with the card, so the bar
        // moves, and a stop is seen, at the card's speed. The pieces follow
        // the card's pace, so that each call comes back within a fraction
        // of a second however slow the card.
        std::uint64_t written = 0, counted = 0;
        PiecePace& pace = writePace_;
        auto since = platform_.Now();
        auto count = [&](std::uint64_t onDevice) {
            onDevice = std::min(onDevice, written);
            if (onDevice > counted) {
                const auto now = platform_.Now();
                pace.Measured(onDevice - counted, now - since);
                since = now;
                Report(TransferPhase::Writing, item.name, onDevice - counted);
                counted = onDevice;
            }
        };
        buffer_.resize(kLargestPiece);
        for (;;) {
            if (StopRequested()) return Stopped();
            auto read = ReadFull(*item.input, std::span(buffer_.data(), pace.Next()));
            if (!read.ok())
                return Failure(TransferStep::ReadSource, item.source, item.name, read.error());
            if (read.value() == 0) break;
            Status sent = output.Write(std::span(buffer_.data(), read.value()));
            if (!sent.ok())
                return Failure(TransferStep::WriteFile, item.destination, item.name, sent.error());
            written += read.value();
            count(output.BytesOnDevice());
        }
        // The last piece on its own, then the file's size and allocation:
        // two calls that each come back soon, rather than one long flush.
        Status drained = output.Write({});
        if (!drained.ok())
            return Failure(TransferStep::WriteFile, item.destination, item.name, drained.error());
        count(output.BytesOnDevice());
        Status flushed = output.Flush();
        SignOfLife();
        if (!flushed.ok())
            return Failure(TransferStep::WriteFile, item.destination, item.name, flushed.error());
        count(written);
        // Some systems flush at the close too (Linux's vfat with `flush`).
        Status closed = output.Close();
        SignOfLife();
        if (!closed.ok())
            return Failure(TransferStep::WriteFile, item.destination, item.name, closed.error());
        return std::nullopt;
    }

    // Reads the written file back from the device and compares it with the
    // source, byte for byte; the bytes read back are hashed on the way, so
    // that the file's digest costs no pass of its own.
    std::optional<TransferFailure> Verify(const Item& item) {
        Report(TransferPhase::Checking, item.name);
        auto mismatch = [&] {
            return Failure(TransferStep::VerifyFile, item.destination, item.name);
        };
        auto written = platform_.OpenForRead(item.temporary, ReadCaching::Uncached);
        if (!written.ok())
            return Failure(TransferStep::VerifyFile, item.destination, item.name, written.error());
        auto source = platform_.OpenForRead(item.source, ReadCaching::Normal);
        if (!source.ok())
            return Failure(TransferStep::ReadSource, item.source, item.name, source.error());
        if (written.value()->Size() != source.value()->Size()) return mismatch();

        buffer_.resize(kLargestPiece);
        check_.resize(kLargestPiece);
        spare_.resize(kLargestPiece);
        ReadBackDigest digest(platform_, spare_);
        CheckedFile checked{item.name, written.value()->Size(), {}};
        // A card reads at least about as fast as it writes: the read-back
        // starts with the pieces the writes ended with.
        PiecePace pace = writePace_;
        for (;;) {
            if (StopRequested()) return Stopped();
            const std::size_t piece = pace.Next();
            const auto since = platform_.Now();
            auto expected = ReadFull(*source.value(), std::span(buffer_.data(), piece));
            if (!expected.ok())
                return Failure(TransferStep::ReadSource, item.source, item.name, expected.error());
            auto actual = ReadFull(*written.value(), std::span(check_.data(), piece));
            pace.Measured(expected.value(), platform_.Now() - since);
            if (!actual.ok())
                return Failure(TransferStep::VerifyFile, item.destination, item.name,
                               actual.error());
            if (expected.value() != actual.value()) return mismatch();
            if (expected.value() == 0) break;
            if (std::memcmp(buffer_.data(), check_.data(), expected.value()) != 0)
                return mismatch();
            digest.Add(check_, actual.value());
            Report(TransferPhase::Checking, item.name, expected.value());
        }
        checked.sha256 = digest.Finish();
        if (observer_ != nullptr) observer_->OnFileChecked(checked);
        return std::nullopt;
    }

    // Fills `buffer` unless the file ends first; reads may return short.
    static Result<std::size_t> ReadFull(ReadableFile& file, std::span<std::byte> buffer) {
        std::size_t total = 0;
        while (total < buffer.size()) {
            auto read = file.Read(buffer.subspan(total));
            if (!read.ok()) return read.error();
            if (read.value() == 0) break;
            total += read.value();
        }
        return total;
    }

    std::optional<TransferFailure> PutInPlace() {
        Report(TransferPhase::PuttingInPlace, {});
        std::vector<std::string> replaced;
        for (std::size_t i = 0; i < items_.size(); ++i) {
            Item& item = items_[i];
            // A sign of life at the rename and at each of its flushes, and
            // once more when it has come back, whatever its outcome.
            Status moved =
                platform_.ReplaceWith(item.temporary, item.destination, [this] { SignOfLife(); });
            SignOfLife();
            if (moved.ok()) {
                item.temporaryExists = false;
                replaced.push_back(item.name);
                continue;
            }
            TransferFailure failure =
                Failure(TransferStep::ReplaceFile, item.destination, item.name, moved.error());
            // With the drive gone nothing can be told: neither whether this
            // rename reached the card nor whether the earlier ones did.
            const TemporaryState state = StorageUnreachable(moved.error().kind)
                                             ? TemporaryState::Unknown
                                             : Probe(item.temporary);
            if (state == TemporaryState::Unknown) {
                failure.outcomeUnknown = true;
                return failure;
            }
            // A rename can take place and still fail to reach the device (its
            // flush failed): then the camera did change.
            if (state == TemporaryState::Gone) {
                item.temporaryExists = false;
                replaced.push_back(item.name);
            }
            failure.replaced = std::move(replaced);
            for (std::size_t j = i; j < items_.size(); ++j) {
                if (items_[j].temporaryExists) failure.pending.push_back(items_[j].name);
            }
            return failure;
        }
        return std::nullopt;
    }

    enum class TemporaryState { There, Gone, Unknown };

    // Whether a temporary file is still there after a failed rename. "Not
    // found" counts only while the drive itself is there: a drive letter that
    // went away answers the same way for every path on it.
    TemporaryState Probe(const std::string& path) {
        auto probe = platform_.OpenForRead(path, ReadCaching::Normal);
        if (probe.ok()) return TemporaryState::There;
        if (StorageUnreachable(probe.error().kind)) return TemporaryState::Unknown;
        if (probe.error().kind != ErrorKind::NotFound) return TemporaryState::There;
        if (platform_.CheckDrive(request_.drive) == DriveRefusal::Gone)
            return TemporaryState::Unknown;
        return TemporaryState::Gone;
    }

    void RemoveTemporaries() {
        for (Item& item : items_) {
            item.input.reset();
            if (!item.temporaryExists) continue;
            // An entry that is not there any more is what we want.
            platform_.RemoveFile(item.temporary);
            SignOfLife();
            item.temporaryExists = false;
        }
    }

    SystemPort& platform_;
    const TransferRequest& request_;
    TransferObserver* observer_;
    TransferProgress progress_;
    std::vector<Item> items_;
    bool driveWasWritable_ = false;
    // The pace the card has shown, carried from one file to the next.
    PiecePace writePace_;
    std::vector<std::byte> buffer_;
    std::vector<std::byte> check_;
    std::vector<std::byte> spare_;  // the read-back piece being hashed
};

}  // namespace

int PercentDone(const TransferProgress& progress) {
    if (progress.total == 0) return progress.phase == TransferPhase::PuttingInPlace ? 100 : 0;
    return static_cast<int>(std::min<std::uint64_t>(progress.done, progress.total) * 100 /
                            progress.total);
}

std::optional<TransferFailure> TransferFirmware(SystemPort& platform,
                                                const TransferRequest& request,
                                                TransferObserver* observer) {
    return Transfer(platform, request, observer).Run();
}

}  // namespace orvane
