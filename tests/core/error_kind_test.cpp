// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Windows error codes an unplugged camera answers with, read as such.
#include <gtest/gtest.h>

#include "platform/win32/instance_id.h"
#include "platform/win32/system_error.h"

namespace orvane::win32 {
namespace {

TEST(Win32ErrorKind, CodesOfAnUnpluggedCameraMeanTheDeviceIsGone) {
    // ERROR_GEN_FAILURE, ERROR_SEM_TIMEOUT, ERROR_NO_SUCH_DEVICE, ERROR_FILE_INVALID,
    // ERROR_IO_DEVICE, ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_REMOVED
    for (unsigned long code : {31ul, 121ul, 433ul, 1006ul, 1117ul, 1167ul, 1617ul})
        EXPECT_EQ(KindOfError(code), ErrorKind::DeviceGone) << code;
    // ERROR_NOT_READY and ERROR_NO_MEDIA_IN_DRIVE: an empty card slot.
    EXPECT_EQ(KindOfError(21), ErrorKind::NoMedium);
    EXPECT_EQ(KindOfError(1112), ErrorKind::NoMedium);
    // "Path not found" alone is a missing folder; the drive check tells a lost letter apart.
    EXPECT_EQ(KindOfError(3), ErrorKind::NotFound);
}

// The serial number that goes into the bench's log: a real one only, never
// the instance the system numbers a device without one by.
TEST(Win32InstanceId, SerialNumberOnlyWhereTheDeviceHasOne) {
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_04DA&PID_2372\\A1B2C3"), "A1B2C3");
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_04DA&PID_2372\\5&1234&0&1"), "");
    // Kept to printable ASCII without blanks, as on Linux.
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_04DA&PID_2372\\SN 01\x7f\x01"), "SN01");
    // Not a USB device's ID, or not of three parts.
    EXPECT_EQ(UsbSerialFromInstanceId("USBSTOR\\DISK&VEN_X\\0001"), "");
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_04DA&PID_2372\\MI_00\\X"), "");
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_04DA&PID_2372"), "");
}

}  // namespace
}  // namespace orvane::win32
