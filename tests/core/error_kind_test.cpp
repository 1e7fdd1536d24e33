// The Windows error codes an unplugged camera answers with, read as such.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvane::win32
