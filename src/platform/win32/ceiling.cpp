// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A thread per question, and the devices whose question is still out.
#include "platform/win32/ceiling.h"

#include <memory>
#include <set>

namespace orvane::win32 {

namespace {

// Came with Vista: looked up at run time so that the program still starts
// without it (a hung request is then left behind).
using CancelIo = BOOL(WINAPI*)(HANDLE);

CancelIo CancelSynchronousIoFunction() {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return nullptr;
    return reinterpret_cast<CancelIo>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "CancelSynchronousIo")));
}

// Device names compare as Windows compares them, without regard to case.
struct LessIgnoringCase {
    bool operator()(const std::string& a, const std::string& b) const {
        const std::size_t length = a.size() < b.size() ? a.size() : b.size();
        for (std::size_t i = 0; i < length; ++i) {
            const char x = UpperAscii(a[i]), y = UpperAscii(b[i]);
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
    static char UpperAscii(char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
};

// The devices with a question given up on still out, once per question: a
// hung device is not asked again until it answers, so that each walk does not
// leave one more thread behind, nor wait out the ceiling once more. Questions
// that are merely under way block nothing: two threads may ask one device at
// once, and neither may take the other's question for a hung device.
SRWLOCK outLock = SRWLOCK_INIT;
std::multiset<std::string, LessIgnoringCase>& Out() {
    static std::multiset<std::string, LessIgnoringCase> devices;
    return devices;
}

class OutHeld {
  public:
    OutHeld() { AcquireSRWLockExclusive(&outLock); }
    ~OutHeld() { ReleaseSRWLockExclusive(&outLock); }
    OutHeld(const OutHeld&) = delete;
    OutHeld& operator=(const OutHeld&) = delete;
};

struct Question {
    std::string device;
    std::function<void()> ask;
    bool done = false;     // under outLock
    bool givenUp = false;  // under outLock
};

DWORD WINAPI RunQuestion(LPVOID parameter) {
    // The thread owns its share: a question given up on still has somewhere
    // to write when its request returns at last.
    std::unique_ptr<std::shared_ptr<Question>> question(
        static_cast<std::shared_ptr<Question>*>(parameter));
    (*question)->ask();
    const OutHeld held;
    (*question)->done = true;
    if ((*question)->givenUp) Out().erase(Out().find((*question)->device));
    return 0;
}

}  // namespace

bool AskWithinCeiling(const std::string& device, std::function<void()> question, DWORD ceilingMs) {
    {
        const OutHeld held;
        if (Out().count(device) != 0) return false;
    }
    auto asked = std::make_shared<Question>();
    asked->device = device;
    asked->ask = std::move(question);
    auto* share = new std::shared_ptr<Question>(asked);
    HANDLE thread = CreateThread(nullptr, 0, RunQuestion, share, 0, nullptr);
    if (thread == nullptr) {
        RunQuestion(share);
        return true;
    }
    if (WaitForSingleObject(thread, ceilingMs) == WAIT_OBJECT_0) {
        CloseHandle(thread);
        return true;
    }
    {
        const OutHeld held;
        // It may have answered just now; it is still too late to be trusted.
        if (!asked->done) {
            asked->givenUp = true;
            Out().insert(device);
        }
    }
    if (CancelIo cancel = CancelSynchronousIoFunction()) cancel(thread);
    CloseHandle(thread);
    return false;
}

unsigned QuestionsLeftBehind() {
    const OutHeld held;
    return static_cast<unsigned>(Out().size());
}

}  // namespace orvane::win32
