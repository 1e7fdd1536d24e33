// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Whether a thread keeps its own identity after a signal, in a 32-bit Wine
// process with two threads: the second thread suspends and resumes the first
// (Wine does that with a signal), while the first keeps reading its own
// thread ID. Exit status 0 when every read was right.
#include <stdio.h>
#include <windows.h>

static HANDLE firstThread;
static volatile LONG done;

static DWORD WINAPI SuspendAndResume(LPVOID unused) {
    (void)unused;
    for (int i = 0; i < 20; ++i) {
        SuspendThread(firstThread);
        ResumeThread(firstThread);
        Sleep(50);
    }
    InterlockedExchange(&done, 1);
    return 0;
}

int main(void) {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &firstThread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    const DWORD own = GetCurrentThreadId();
    DWORD second = 0;
    HANDLE thread = CreateThread(NULL, 0, SuspendAndResume, NULL, 0, &second);
    if (thread == NULL) return 2;
    unsigned long reads = 0, wrong = 0;
    DWORD seen = own;
    while (!done) {
        const DWORD now = GetCurrentThreadId();
        if (now != own) {
            ++wrong;
            seen = now;
        }
        ++reads;
    }
    WaitForSingleObject(thread, INFINITE);
    printf("thread %04lx (a second thread %04lx suspended and resumed it 20 times): "
           "%lu of %lu reads of its own ID gave %04lx\n",
           own, second, wrong, reads, seen);
    puts(wrong == 0 ? "identity held" : "identity lost");
    return wrong == 0 ? 0 : 1;
}
