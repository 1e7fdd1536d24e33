// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Listing and suspending another process's threads through the tool help
// snapshot.
#include "threads.h"

#include <algorithm>
#include <cstring>

// After win32_api.h, which brings <windows.h>.
#include <tlhelp32.h>

namespace orvane::e2e {

std::vector<DWORD> ThreadsOf(DWORD pid) {
    std::vector<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid) threads.push_back(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return threads;
}

unsigned SuspendThreadsSince(DWORD pid, const std::vector<DWORD>& earlier) {
    unsigned suspended = 0;
    for (const DWORD id : ThreadsOf(pid)) {
        if (std::find(earlier.begin(), earlier.end(), id) != earlier.end()) continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, id);
        if (thread == nullptr) continue;
        if (SuspendThread(thread) != static_cast<DWORD>(-1)) ++suspended;
        CloseHandle(thread);
    }
    return suspended;
}

}  // namespace orvane::e2e
