// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The system's own description of an error, for the messages the user sees.
#include "platform/win32/system_error.h"

#include <algorithm>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_api.h"

namespace orvane::win32 {

SystemError MakeSystemError(unsigned long code) {
    SystemError error;
    error.kind = KindOfError(code);
    error.code = code;
    wchar_t text[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, 512, nullptr);
    error.text = Utf8(std::wstring_view(text, std::min<DWORD>(length, 512)));
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
