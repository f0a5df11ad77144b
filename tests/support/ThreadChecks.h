// Checks shared by the test programs that run threads: a guard that turns a
// deadlock into a failure, and a count of the process's open handles.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace TestSupport {

// Ends the whole program with a message naming the test when the test has not
// finished within the limit: a deadlock must fail, not hang the run.
class TDeadlockGuard {
public:
    explicit TDeadlockGuard(DWORD limitMs = 120000) : FLimit(limitMs) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        FName = info ? std::string(info->test_suite_name()) + "." + info->name() : "?";
        FDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        FWatcher = CreateThread(nullptr, 0, &Watch, this, 0, nullptr);
    }
    ~TDeadlockGuard() {
        SetEvent(FDone);
        WaitForSingleObject(FWatcher, INFINITE);
        CloseHandle(FWatcher);
        CloseHandle(FDone);
    }
    TDeadlockGuard(const TDeadlockGuard&) = delete;
    TDeadlockGuard& operator=(const TDeadlockGuard&) = delete;

private:
    static DWORD WINAPI Watch(void* param) {
        auto* self = static_cast<TDeadlockGuard*>(param);
        if (WaitForSingleObject(self->FDone, self->FLimit) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "%s: no progress after %lu ms, a thread wait is deadlocked\n",
                         self->FName.c_str(), static_cast<unsigned long>(self->FLimit));
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        return 0;
    }

    DWORD FLimit;
    std::string FName;
    HANDLE FDone;
    HANDLE FWatcher;
};

// GetProcessHandleCount is exact on Windows; Wine answers 0 whatever is open.
// There the open handles are counted by asking after every handle value a
// process of this size can hold.
inline unsigned long OpenHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return count;
    unsigned long open = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    }
    return open;
}

}  // namespace TestSupport
