// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The system side of the port between the updater's logic and the machine.
//
// The core never includes an OS or toolkit header: everything it needs from the
// machine goes through `SystemPort` (devices, drives, settings, files, the
// worker thread) and, for the dialog, `DialogPort` (dialog_port.h). Each
// operation states above its declaration what it does, whether it may block
// and what it gives on failure. Operations run on the front end's own thread,
// except that the transfer runs on a worker thread (see `RunInBackground`)
// and the dialog's questions about the camera on threads of their own
// (`DialogPort::RunDeviceQuery`), each calling the operations it needs from
// there. "May block" means as long as the device it touches takes, which may
// be for ever; "never blocks" means it touches no device.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "port/result.h"

namespace orvane {

// One present USB device as the device set-up services report it.
struct UsbDevice {
    // The device's hardware-ID list, most specific first, or nullopt when the
    // list could not be read (such a device never matches).
    std::optional<std::vector<std::string>> hardwareIds;
    // Who the device is, so that the storage below it can be found: its
    // device instance ID on Windows, its resolved sysfs folder on Linux.
    // Empty when the system did not say.
    std::string instance;
    // The device's USB serial number, printable ASCII without blanks; empty when it
    // has none or the system did not say.
    std::string serial;
    // Tells this connection of the device from an earlier one in the same
    // place: the bus's device number on Linux, which a new enumeration at
    // the same port changes. Empty when the system did not say.
    std::string arrival = {};
};

// A disk (Windows) or block device (Linux: whole disks and partitions alike),
// mounted or not, with the devices it hangs from.
struct StorageDisk {
    std::string id;  // the disk's number, as the back end spells it
    // The identities (as in `UsbDevice::instance`) of the devices above the
    // disk, nearest first, up to the root of the device tree.
    std::vector<std::string> ancestors;
    // What the user and the system's tools call it ("/dev/sdc1", "disk 2").
    std::string name;
    // Its logical unit on the device (a camera's internal memory and its card
    // slot are often two) and its partition number (0 for a whole disk): with
    // `DriveOnDisk::partition`, the order of a device's volumes that does not
    // change with the order they were mounted in.
    unsigned unit = 0;
    unsigned partition = 0;
    bool hasMedium = true;  // false when the system says it holds none (an empty slot)
    // False when the disk did not answer within a ceiling: it may be the
    // camera's, hung.
    bool answering = true;
};

// A drive (as `LogicalDrives` names it) and the disk it lies on.
struct DriveOnDisk {
    std::string drive;
    std::string diskId;  // empty when the system could not tell
    // The drive's partition on a whole disk, where `diskId` names the whole
    // disk (Windows); 0 where the disk entry is the partition itself.
    unsigned partition = 0;
    bool hasMedium = true;  // false when the system says the drive holds none
    // False when the drive did not answer within a ceiling: which disk it
    // lies on is then unknown.
    bool answering = true;
};

// Which drives lie on which disks, and where the disks hang in the device tree.
struct StorageLayout {
    std::vector<StorageDisk> disks;
    std::vector<DriveOnDisk> drives;  // in the order of `LogicalDrives`
};

// The system the updater runs on, whose words its messages use.
enum class HostSystem { Windows, Linux };

// Why a drive must not be written to, when it plainly is not the camera.
enum class DriveRefusal {
    None,          // nothing against it: a removable or USB volume
    Network,       // a network share
    Optical,       // a CD or DVD drive
    SystemDrive,   // holds the running system (Windows folder, root filesystem)
    NotRemovable,  // a fixed disk that is neither USB nor removable
    Gone,          // the drive no longer exists
};

// How a file is opened for reading.
enum class ReadCaching {
    Normal,  // through the system's cache
    // From the device itself, bypassing cached pages (read-back checks).
    // Where a file system refuses that, the file's cached pages are dropped
    // first instead, which cannot drop pages another program has mapped; and
    // on Linux a FUSE daemon reads the device through a cache of its own.
    Uncached,
};

// The room on a volume, as the system reports it.
struct VolumeSpace {
    std::uint64_t freeBytes = 0;  // bytes free to this user
    // The allocation unit (the cluster on FAT and exFAT): every file takes a
    // whole number of them. 0 when the system does not say.
    std::uint64_t clusterBytes = 0;
};

class ReadableFile {
  public:
    virtual ~ReadableFile() = default;
    // Reads up to `buffer.size()` bytes; returns the number read, 0 at the end.
    // Asks the device for no more than that, rounded up to whole blocks
    // where the read bypasses the cache: the size of `buffer` bounds how
    // long the call holds its thread. May block.
    virtual Result<std::size_t> Read(std::span<std::byte> buffer) = 0;
    // The file's size when it was opened.
    virtual std::uint64_t Size() const = 0;
};

class WritableFile {
  public:
    // Closes the file if `Close` was not called, ignoring errors.
    virtual ~WritableFile() = default;
    // Writes all of `data` or fails; a failure may leave part of it written.
    // Keeps pace with the device a piece at a time, the data of each call
    // being one piece: the call sends its piece on to the device and returns
    // once the pieces before it have reached the device, so that at most its
    // own piece is still on its way. Where the system cannot send data on
    // without waiting for it, the call waits for its own piece too. The
    // caller thus decides, by the size of what it writes, how long one call
    // may hold its thread and how much a stop waits for. A call with no data
    // sends nothing and waits for the piece still on its way. May block.
    virtual Status Write(std::span<const std::byte> data) = 0;
    // How many of the bytes written so far are known to have reached the
    // device (the file's data only: its size and allocation follow with
    // `Flush`). Never more than were written; never goes down.
    virtual std::uint64_t BytesOnDevice() const = 0;
    // Pushes everything written so far to the device itself, with the file's
    // size and its clusters' allocation. May block.
    virtual Status Flush() = 0;
    // Closes the file; reports an error the system only sees at closing.
    virtual Status Close() = 0;
};

// Told by a file operation of several steps each time one of them came back
// from the device (a rename, a flush), so that a long operation shows
// between its steps that the device still answers. Called on the thread
// that called the operation; an empty one is not called.
using DeviceAnswered = std::function<void()>;

// Work started beside the caller by `SystemPort::RunBeside`.
class SideWork {
  public:
    virtual ~SideWork() = default;  // waits for the work
    // Returns once the work has run.
    virtual void Wait() = 0;
};

// What the updater needs from the system itself: devices, drives, settings,
// files, and a thread to write them from. Every front end uses it; a command
// line needs nothing else.
class SystemPort {
  public:
    virtual ~SystemPort() = default;

    // Which system this is: the messages name its own tools and terms.
    // Never blocks.
    virtual HostSystem System() const = 0;

    // Writes `text` to standard output as it stands; a write that fails is
    // dropped. Touches no device.
    virtual void WriteStdout(std::string_view text) = 0;

    // ---- Work off the user-interface thread --------------------------------

    // Starts `work` on a worker thread of the host's own and returns at once;
    // a host that cannot start a thread runs `work` before returning. While
    // `work` runs, it calls from its thread `PostToUi`, `Now`, `CheckDrive`,
    // `FreeSpace`, `DriveRoot`, `JoinPath` and the operations of the Files
    // section (`HoldVolume` and `ReleaseVolume` among them), and no others;
    // the user-interface thread meanwhile calls only the operations of
    // `DialogPort` (or, in a front end without a dialog, none of these),
    // whose device queries may read devices and drives beside it.
    // One piece of work runs at a time. Never blocks (it joins a worker that
    // has already posted its result).
    virtual void RunInBackground(std::function<void()> work) = 0;
    // Has `task` run on the user-interface thread, from whichever message loop
    // runs there (the dialog's, a box's), after the tasks posted before it.
    // May be called from any thread. Never blocks; after the program's end
    // has begun, a task may never run.
    virtual void PostToUi(std::function<void()> task) = 0;
    // Called by the transfer on its worker thread with true before its first
    // file operation and with false after its last, whatever the outcome
    // (success, failure, a stop), before its result is posted. In between
    // the host keeps the machine from sleeping, and a log-off, a shutdown or
    // a request to end the process asks the transfer to stop instead: the
    // process ends only after the transfer has. Where the system offers no
    // such hold the transfer runs without it; nothing here fails or blocks
    // for long. Hosts that hold nothing leave it as it is.
    virtual void HoldSystemForTransfer(bool hold) { static_cast<void>(hold); }
    // A clock that never goes back; only the differences of its readings
    // mean anything. Never blocks, and may be called from any thread: the
    // transfer reads it on its worker thread to size what it hands the
    // device by the device's pace. Hosts keep the system's steady clock;
    // the fake platform's runs in modelled time.
    virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
    // Starts `work` on a thread beside the caller's and returns at once, so
    // that the transfer hashes one piece of what it read back while it reads
    // the next. `work` touches only memory the caller leaves alone until the
    // returned work has been waited for: never a device or the system, so
    // it never blocks for long. Nothing (null) when the work has already
    // run: hosts without a thread to spare, and those that cannot start one
    // now, run it before returning. May be called from the worker thread.
    virtual std::unique_ptr<SideWork> RunBeside(std::function<void()> work) {
        work();
        return nullptr;
    }

    // ---- Settings and paths -----------------------------------------------

    // The process's current directory, without a trailing separator except at
    // a root. Fails when it cannot be read. Touches no device.
    virtual Result<std::string> CurrentDirectory() = 0;
    // The value of `key` in `section` of the private-profile file `path`, cut
    // to `size` - 1 characters; `fallback` when the file, the section or the key
    // is missing or cannot be read. Names compare without regard to case.
    // Reads the settings file only, never the camera.
    virtual std::string ReadProfileString(std::string_view section, std::string_view key,
                                          std::string_view fallback, std::size_t size,
                                          std::string_view path) = 0;
    // Joins a folder and a fragment from the settings (which carries its own
    // Windows-style separators) into a path of this system. Text only: never
    // blocks, never fails.
    virtual std::string JoinPath(std::string_view base, std::string_view fragment) = 0;
    // The path prefix that stands for `drive` ("G:" on Windows, a mount point
    // on Linux); fragments from the settings are joined to it. Text only.
    virtual std::string DriveRoot(std::string_view drive) = 0;

    // ---- Devices and drives -----------------------------------------------

    // The USB devices present now that expose the USB device interface class,
    // in the system's order. Empty when they cannot be listed. May block (a
    // device resetting holds the system's answer about it).
    virtual std::vector<UsbDevice> PresentUsbDevices() = 0;
    // The logical drives in use, in the system's order (drive letters "A",
    // "C", ...; mount points on Linux). Empty when the list cannot be read.
    // Asks the system's list, not the drives themselves.
    virtual std::vector<std::string> LogicalDrives() = 0;
    // The disks present, whether or not they hold a drive, with their places
    // in the device tree, and the drives on them. Reads properties only and
    // opens no volume for writing; network drives are not opened at all.
    // Fails when the tree cannot be walked. May block.
    virtual Result<StorageLayout> StorageLayoutOfDrives() = 0;
    // Whether `path` is an existing folder; false when that cannot be told.
    // Reads only. May block.
    virtual bool IsFolder(std::string_view path) = 0;
    // Whether `drive` plainly cannot be the camera's storage: Gone where it is
    // no longer there, None where nothing speaks against it. May block (it
    // asks the drive's type and bus).
    virtual DriveRefusal CheckDrive(std::string_view drive) = 0;
    // The bytes free to this user on the volume holding `path`, and its
    // allocation unit. Fails with the system's error where it cannot be
    // read. May block.
    virtual Result<VolumeSpace> FreeSpace(std::string_view path) = 0;

    // ---- Files ------------------------------------------------------------
    //
    // What is on the device, and what a card pulled at any instant can hold.
    // A file's data reaches the device as `WritableFile::Write` sends it on;
    // its size and allocation only through `WritableFile::Flush`.
    // `ReplaceWith` returns once the name it changed has reached the device
    // with the folder entry behind it (on FAT the entry holds the file's start
    // and size, so the file is flushed too). `RemoveFile` does the same where
    // the system can flush a folder: on Linux always; on Windows a folder
    // handle's flush writes nothing on FAT and exFAT except for the top
    // folder, so there a removal reaches the device with the next write of
    // that folder's sector, and nothing may rely on it sooner (a removed
    // temporary file that comes back is removed by the next run). At no
    // instant does the card hold an entry pointing at clusters the allocation
    // table calls free: each name stands for its old file or its new one, and
    // at worst some clusters belong to no file. After a failure with
    // ErrorKind::DeviceGone or NoMedium nothing is known about what reached
    // the device.

    // Keeps the volume at `drive`, which CheckDrive has just passed, for the
    // file operations that follow, until ReleaseVolume. A path under
    // DriveRoot(drive) is then resolved on that volume alone: never through a
    // symbolic link and never onto another mount (ErrorKind::OutsideVolume),
    // and never on whatever is mounted at the same place later. Fails with
    // ErrorKind::DeviceGone when the volume mounted at `drive` now is not the
    // one that was checked. May block.
    virtual Status HoldVolume(std::string_view drive) = 0;
    // Ends what HoldVolume began; harmless when nothing is held. Never fails.
    virtual void ReleaseVolume() = 0;

    // Creates the last level of `path`. An existing entry of that name gives
    // ErrorKind::AlreadyExists. May block.
    virtual Status MakeDirectory(std::string_view path) = 0;
    // Opens an existing file for reading: a missing one gives
    // ErrorKind::NotFound, anything but a regular file an error too. May
    // block.
    virtual Result<std::unique_ptr<ReadableFile>> OpenForRead(std::string_view path,
                                                              ReadCaching caching) = 0;
    // Creates the new file `path` for writing. An existing entry of that name,
    // a symbolic link included, gives ErrorKind::AlreadyExists and is left as
    // it is. May block.
    virtual Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) = 0;
    // Renames `from` to `to` in the same folder, replacing `to` if it exists,
    // in one step: `to` is either the old file or the new one, never a mix.
    // Returns after the rename has reached the device (see above). A failure
    // may come after the rename took place, when its flush failed. Calls
    // `answered` after the rename and after each flush that follows it.
    // May block.
    virtual Status ReplaceWith(std::string_view from, std::string_view to,
                               const DeviceAnswered& answered) = 0;
    // Deletes a file; returns after the removal has reached the device where
    // the system can tell (see above). A missing file gives
    // ErrorKind::NotFound. May block.
    virtual Status RemoveFile(std::string_view path) = 0;
};

}  // namespace orvane
