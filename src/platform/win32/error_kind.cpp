// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Which Win32 error codes mean what to the updater.
#include "platform/win32/system_error.h"

namespace orvane::win32 {

namespace {

// The codes by number, so that this file builds without <windows.h> and the
// mapping is tested natively; each is the value winerror.h gives the name.
enum : unsigned long {
    kFileNotFound = 2,           // ERROR_FILE_NOT_FOUND
    kPathNotFound = 3,           // ERROR_PATH_NOT_FOUND
    kAccessDenied = 5,           // ERROR_ACCESS_DENIED
    kInvalidDrive = 15,          // ERROR_INVALID_DRIVE
    kWriteProtect = 19,          // ERROR_WRITE_PROTECT
    kNotReady = 21,              // ERROR_NOT_READY
    kGenFailure = 31,            // ERROR_GEN_FAILURE
    kSharingViolation = 32,      // ERROR_SHARING_VIOLATION
    kLockViolation = 33,         // ERROR_LOCK_VIOLATION
    kHandleDiskFull = 39,        // ERROR_HANDLE_DISK_FULL
    kBadNetPath = 53,            // ERROR_BAD_NETPATH
    kDevNotExist = 55,           // ERROR_DEV_NOT_EXIST
    kNetNameDeleted = 64,        // ERROR_NETNAME_DELETED
    kFileExists = 80,            // ERROR_FILE_EXISTS
    kDiskFull = 112,             // ERROR_DISK_FULL
    kSemTimeout = 121,           // ERROR_SEM_TIMEOUT
    kInvalidName = 123,          // ERROR_INVALID_NAME
    kAlreadyExists = 183,        // ERROR_ALREADY_EXISTS
    kFilenameTooLong = 206,      // ERROR_FILENAME_EXCED_RANGE
    kNoSuchDevice = 433,         // ERROR_NO_SUCH_DEVICE
    kFileInvalid = 1006,         // ERROR_FILE_INVALID
    kNoMediaInDrive = 1112,      // ERROR_NO_MEDIA_IN_DRIVE
    kIoDevice = 1117,            // ERROR_IO_DEVICE
    kDeviceNotConnected = 1167,  // ERROR_DEVICE_NOT_CONNECTED
    kDeviceRemoved = 1617,       // ERROR_DEVICE_REMOVED
    kDiskQuotaExceeded = 1295,   // ERROR_DISK_QUOTA_EXCEEDED
};

}  // namespace

ErrorKind KindOfError(unsigned long code) {
    switch (code) {
        case kFileNotFound:
        case kPathNotFound:
        case kBadNetPath:
        case kInvalidName:
            return ErrorKind::NotFound;
        case kFileExists:
        case kAlreadyExists:
            return ErrorKind::AlreadyExists;
        case kDiskFull:
        case kHandleDiskFull:
        case kDiskQuotaExceeded:
            return ErrorKind::DiskFull;
        case kWriteProtect:
            return ErrorKind::WriteProtected;
        case kAccessDenied:
        case kSharingViolation:
        case kLockViolation:
            return ErrorKind::AccessDenied;
        // An unplugged camera shows up as any of these, depending on how far
        // the system got in noticing that the volume went away: an open file
        // on a volume that vanished is "invalid", a write in flight fails in
        // the device or times out. "Path not found" once the letter is gone
        // is told apart where the path is known (win32_platform.cpp).
        case kGenFailure:
        case kSemTimeout:
        case kNoSuchDevice:
        case kFileInvalid:
        case kIoDevice:
        case kInvalidDrive:
        case kDevNotExist:
        case kNetNameDeleted:
        case kDeviceNotConnected:
        case kDeviceRemoved:
            return ErrorKind::DeviceGone;
        // A drive letter whose slot holds no card answers "not ready".
        case kNotReady:
        case kNoMediaInDrive:
            return ErrorKind::NoMedium;
        case kFilenameTooLong:
            return ErrorKind::TooLong;
        default:
            return ErrorKind::Other;
    }
}

}  // namespace orvane::win32
