// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What a call into the system gives back: a value, or the error that kept it
// from being produced, in the terms the updater reacts to.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace orvane {

// What went wrong, in the terms the updater reacts to. Back ends map their own
// error numbers onto these and keep the number and the system's text as well.
enum class ErrorKind {
    NotFound,        // the file or a folder on its path does not exist
    AlreadyExists,   // something of that name is already there
    DiskFull,        // no room left on the volume
    WriteProtected,  // the medium or the volume refuses writes
    AccessDenied,    // permissions
    DeviceGone,      // the volume or device went away (unplugged)
    NoMedium,        // the drive is there but holds no medium (an empty card slot)
    TooLong,         // a path or value does not fit
    OutsideVolume,   // the path leads off the volume: through a link, or onto another mount
    Other,
};

// The storage the transfer works on cannot be reached: the camera went away,
// or its card did. Either way nothing is known about what reached it.
inline bool StorageUnreachable(ErrorKind kind) {
    return kind == ErrorKind::DeviceGone || kind == ErrorKind::NoMedium;
}

struct SystemError {
    ErrorKind kind = ErrorKind::Other;
    unsigned long code = 0;  // the system's own number (GetLastError, errno)
    std::string text;        // the system's own description of `code`
};

// A value or the error that kept it from being produced.
template <typename T>
class Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(SystemError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    const SystemError& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, SystemError> state_;
};

using Status = Result<std::monostate>;
inline Status Ok() {
    return Status(std::monostate{});
}
}  // namespace orvane
