// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Questions under a ceiling (AskWithinCeiling), run under Wine: one that
// does not come back is given up on at its ceiling and left out; the device
// it was about is not asked again until it has answered; then it is.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/win32/ceiling.h"

namespace {

using orvane::win32::AskWithinCeiling;
using orvane::win32::QuestionsLeftBehind;

int failures = 0;

void Expect(bool condition, const std::string& what) {
    std::printf("%s: %s\n", condition ? "ok" : "FAIL", what.c_str());
    if (!condition) ++failures;
}

}  // namespace

int main() {
    constexpr DWORD kCeiling = 300;
    // A device that hangs until the event is set.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto answer = std::make_shared<int>(0);
    DWORD start = GetTickCount();
    const bool hung = AskWithinCeiling(
        "\\\\.\\G:",
        [release, answer] {
            WaitForSingleObject(release, INFINITE);
            *answer = 1;
        },
        kCeiling);
    const DWORD waited = GetTickCount() - start;
    std::printf("a hung question was given up on after %lu ms\n",
                static_cast<unsigned long>(waited));
    Expect(!hung, "a question that does not come back is given up on");
    Expect(waited < 10 * kCeiling, "it is given up on at its ceiling, not later");
    Expect(QuestionsLeftBehind() == 1, "it is counted as left behind");

    bool asked = false;
    start = GetTickCount();
    Expect(!AskWithinCeiling(
               "\\\\.\\g:", [&asked] { asked = true; }, kCeiling),
           "the same device, in another case, is not asked while its question is out");
    Expect(!asked && GetTickCount() - start < kCeiling, "and the caller does not wait for it");
    Expect(AskWithinCeiling(
               "\\\\.\\H:", [&asked] { asked = true; }, kCeiling) &&
               asked,
           "another device is asked and answers");

    SetEvent(release);
    for (int i = 0; i < 200 && QuestionsLeftBehind() != 0; ++i) Sleep(10);
    Expect(QuestionsLeftBehind() == 0, "the question that came back at last is no longer out");
    asked = false;
    Expect(AskWithinCeiling(
               "\\\\.\\G:", [&asked] { asked = true; }, kCeiling) &&
               asked,
           "the device is asked again once it has answered");
    CloseHandle(release);
    std::printf(failures == 0 ? "PASS\n" : "FAIL: %d\n", failures);
    return failures == 0 ? 0 : 1;
}
