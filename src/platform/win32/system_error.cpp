// The system's own description of an error, for the messages the user sees.
#include "platform/win32/system_error.h"

#include "platform/win32/win32_api.h"

namespace orvane::win32 {

SystemError MakeSystemError(unsigned long code) {
    SystemError error;
    error.kind = KindOfError(code);
    error.code = code;
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    error.text.assign(text, length);
    // The system ends its texts with a line break; the message adds its own.
    while (!error.text.empty() && (error.text.back() == '\n' || error.text.back() == '\r' ||
                                   error.text.back() == ' ' || error.text.back() == '.'))
        error.text.pop_back();
    return error;
}

SystemError LastSystemError() {
    return MakeSystemError(GetLastError());
}

}  // namespace orvane::win32
