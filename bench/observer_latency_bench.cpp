// Path observer latency: from an in-place write in the watched folder to
// OnNotify on the main thread. Prints the median and the worst of N writes
// (200 unless given).
//
// Each sample switches the observer off and on first: a write may raise more
// than one notification, and a late one from the write before must not pass
// for this write's. Switching on arms the notification before it returns, so
// the write that follows is always seen.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Thread.h"
#include "kit/Threads.h"

namespace {

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Milliseconds(LONGLONG ticks) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return double(ticks) * 1000.0 / double(freq.QuadPart);
}

struct TProbe {
    HANDLE Notified = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    LONGLONG At = 0;
    void Notify(Fw::TObject*) {
        if (!At) At = Now();
        SetEvent(Notified);
    }
};

// The main thread's side of a message loop: synchronised calls are served
// while it waits.
bool WaitServing(HANDLE handle, DWORD timeoutMs) {
    HANDLE handles[2] = {handle, Fw::SyncEvent()};
    while (true) {
        DWORD r = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        Fw::CheckSynchronize();
    }
}

bool WriteInPlace(const std::string& file, int value) {
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, &value, sizeof value, &written, nullptr);
    CloseHandle(h);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int samples = argc > 1 ? std::atoi(argv[1]) : 200;
    if (samples <= 0) samples = 200;

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "observer_bench_" + std::to_string(GetCurrentProcessId());
    const std::string file = folder + "\\wallpaper.bmp";
    CreateDirectoryA(folder.c_str(), nullptr);
    HANDLE made = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(made);

    std::vector<double> latencies;
    int lost = 0;
    {
        TProbe probe;
        Kit::TPathObserver observer(nullptr);
        observer.SetPath(folder);
        observer.SetNotifyState(Kit::TNotifications{Kit::ntLastWrite});
        observer.SetWatchSubTree(false);
        observer.OnNotify = Fw::MakeEvent<&TProbe::Notify>(&probe);
        for (int i = 0; i < samples + 5; ++i) {  // the first five warm up
            observer.SetActive(false);
            while (Fw::CheckSynchronize()) {
            }
            ResetEvent(probe.Notified);
            probe.At = 0;
            observer.SetActive(true);
            LONGLONG start = Now();
            if (!WriteInPlace(file, i) || !WaitServing(probe.Notified, 10000)) {
                ++lost;
                continue;
            }
            if (i >= 5) latencies.push_back(Milliseconds(probe.At - start));
        }
        observer.SetActive(false);
    }
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());

    if (latencies.empty()) {
        std::printf("observer latency: no write was reported (%d lost)\n", lost);
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("observer latency, write to OnNotify on the main thread, %d writes: median %.3f ms, worst %.3f ms",
                static_cast<int>(latencies.size()), latencies[latencies.size() / 2], latencies.back());
    if (lost) std::printf(", %d not reported", lost);
    std::printf("\n");
    return lost ? 1 : 0;
}
