// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading and writing files through Win32 handles, cached or straight from the device.
#include "platform/win32/win32_files.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/win32/system_error.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_api.h"

namespace orvane::win32 {

namespace {

constexpr DWORD kMaxTransfer = DWORD{1} << 20;

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

Result<std::uint64_t> SizeOf(HANDLE handle) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size)) return LastSystemError();
    return static_cast<std::uint64_t>(size.QuadPart);
}

class CachedReader : public ReadableFile {
  public:
    CachedReader(HANDLE handle, std::uint64_t size) : handle_(handle), size_(size) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), kMaxTransfer));
        DWORD got = 0;
        if (!ReadFile(handle_.get(), buffer.data(), wanted, &got, nullptr))
            return LastSystemError();
        return std::size_t{got};
    }
    std::uint64_t Size() const override { return size_; }

  private:
    Handle handle_;
    std::uint64_t size_;
};

struct VolumeGeometry {
    DWORD bytesPerSector = 0;
    DWORD sectorsPerCluster = 0;
};

// The sector and cluster sizes of the volume holding `path`; zeros when the
// system does not tell them.
VolumeGeometry GeometryOf(const std::string& path) {
    wchar_t volume[MAX_PATH + 1] = {};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetVolumePathNameW(Wide(path).c_str(), volume, MAX_PATH) &&
        GetDiskFreeSpaceW(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return VolumeGeometry{bytesPerSector, sectorsPerCluster};
    return {};
}

// The sector size of the volume holding `path`; unbuffered reads must start
// at, and be sized in, multiples of it.
DWORD SectorSizeOf(const std::string& path) {
    const DWORD bytesPerSector = GeometryOf(path).bytesPerSector;
    if (bytesPerSector != 0 && (bytesPerSector & (bytesPerSector - 1)) == 0) return bytesPerSector;
    // The largest sector size in common use; a multiple of every smaller one.
    return 4096;
}

// Reads from the device past the system's cache. The buffer handed to the
// system comes from VirtualAlloc, aligned to a page and thus to any sector
// size up to it; the caller's buffer has no such alignment, so the data is
// staged there and handed out from it.
class UncachedReader : public ReadableFile {
  public:
    UncachedReader(HANDLE handle, std::uint64_t size, DWORD sectorSize)
        : handle_(handle), size_(size), sectorSize_(sectorSize) {
        capacity_ = std::max(kMaxTransfer - kMaxTransfer % sectorSize, sectorSize);
        staging_ = static_cast<std::byte*>(
            VirtualAlloc(nullptr, capacity_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~UncachedReader() override {
        if (staging_ != nullptr) VirtualFree(staging_, 0, MEM_RELEASE);
    }
    UncachedReader(const UncachedReader&) = delete;
    UncachedReader& operator=(const UncachedReader&) = delete;

    bool ready() const { return staging_ != nullptr; }

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (next_ == filled_) {
            // Whole sectors each time: the file's end may fall inside the last
            // one, and the system then reports only the bytes that are there.
            // No more of them than asked for: the caller's piece sets how
            // long the read takes.
            const std::size_t sectors = (buffer.size() + sectorSize_ - 1) / sectorSize_;
            const DWORD wanted = static_cast<DWORD>(
                std::min<std::size_t>(capacity_, std::max<std::size_t>(sectors, 1) * sectorSize_));
            DWORD got = 0;
            if (!ReadFile(handle_.get(), staging_, wanted, &got, nullptr)) return LastSystemError();
            next_ = 0;
            filled_ = got;
            if (got == 0) return std::size_t{0};
        }
        std::size_t count = std::min<std::size_t>(buffer.size(), filled_ - next_);
        std::memcpy(buffer.data(), staging_ + next_, count);
        next_ += count;
        return count;
    }
    std::uint64_t Size() const override { return size_; }

  private:
    Handle handle_;
    std::uint64_t size_;
    DWORD sectorSize_;
    DWORD capacity_ = 0;
    std::byte* staging_ = nullptr;
    std::size_t next_ = 0, filled_ = 0;
};

class Writer : public WritableFile {
  public:
    explicit Writer(HANDLE handle) : handle_(handle) {}

    Status Write(std::span<const std::byte> data) override {
        while (!data.empty()) {
            DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(data.size(), kMaxTransfer));
            DWORD written = 0;
            if (!WriteFile(handle_.get(), data.data(), wanted, &written, nullptr))
                return LastSystemError();
            // A short write without an error is how some drivers report a full volume.
            if (written == 0) return MakeSystemError(ERROR_DISK_FULL);
            data = data.subspan(written);
            written_ += written;
        }
        // Windows has no ranged writeback: each piece is flushed before the
        // call returns, so a slow card is waited for a piece at a time.
        if (written_ == onDevice_) return Ok();
        return Flush();
    }
    std::uint64_t BytesOnDevice() const override { return onDevice_; }
    Status Flush() override {
        if (!FlushFileBuffers(handle_.get())) return LastSystemError();
        onDevice_ = written_;
        return Ok();
    }
    Status Close() override {
        if (handle_.Close()) return Ok();
        return LastSystemError();
    }

  private:
    Handle handle_;
    std::uint64_t written_ = 0, onDevice_ = 0;
};

}  // namespace

Result<std::unique_ptr<ReadableFile>> OpenWin32File(const std::string& path, ReadCaching caching) {
    const DWORD flags =
        caching == ReadCaching::Uncached ? FILE_FLAG_NO_BUFFERING : FILE_FLAG_SEQUENTIAL_SCAN;
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
    Result<std::uint64_t> size = SizeOf(handle);
    if (!size.ok()) {
        SystemError error = size.error();
        CloseHandle(handle);
        return error;
    }
    if (caching == ReadCaching::Normal)
        return std::unique_ptr<ReadableFile>(new CachedReader(handle, size.value()));

    auto reader = std::make_unique<UncachedReader>(handle, size.value(), SectorSizeOf(path));
    if (!reader->ready()) return MakeSystemError(ERROR_NOT_ENOUGH_MEMORY);
    return std::unique_ptr<ReadableFile>(std::move(reader));
}

Result<VolumeSpace> Win32VolumeSpace(const std::string& path) {
    std::string folder = path;
    if (!folder.empty() && folder.back() == ':') folder += '\\';
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(Wide(folder).c_str(), &available, nullptr, nullptr))
        return LastSystemError();
    const VolumeGeometry geometry = GeometryOf(folder);
    return VolumeSpace{static_cast<std::uint64_t>(available.QuadPart),
                       std::uint64_t{geometry.bytesPerSector} * geometry.sectorsPerCluster};
}

Result<std::unique_ptr<WritableFile>> CreateWin32File(const std::string& path) {
    // CREATE_NEW: whatever already has the name is never written through.
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
    return std::unique_ptr<WritableFile>(new Writer(handle));
}

}  // namespace orvane::win32
