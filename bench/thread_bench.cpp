// Synchronize round trip: workers make no-op synchronised calls while the
// main thread serves them inside WaitFor. Prints calls per second and the
// time of one round trip (queue, wake the main thread, run, answer).
#include "framework/Thread.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct TNoOp {
    void Run() {}
};

class TCaller : public Fw::TThread {
public:
    explicit TCaller(int calls) : TThread(true), FCalls(calls) {}
    ~TCaller() override { WaitFor(); }

protected:
    void Execute() override {
        for (int i = 0; i < FCalls; ++i) Synchronize(Fw::MakeEvent<&TNoOp::Run>(&FNoOp));
    }

private:
    int FCalls;
    TNoOp FNoOp;
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return double(to.QuadPart - from.QuadPart) / double(freq.QuadPart);
}

// Runs `workers` threads of `calls` calls each; returns the elapsed seconds.
double Run(int workers, int calls) {
    std::vector<std::unique_ptr<TCaller>> threads;
    for (int i = 0; i < workers; ++i) threads.push_back(std::make_unique<TCaller>(calls));
    LARGE_INTEGER start, stop;
    QueryPerformanceCounter(&start);
    for (auto& t : threads) t->Resume();
    for (auto& t : threads) t->WaitFor();
    QueryPerformanceCounter(&stop);
    return Seconds(start, stop);
}

void Report(const char* what, int workers, int calls, double seconds) {
    double total = double(workers) * calls;
    std::printf("%-34s %7d calls in %8.1f ms: %10.0f calls/s, %8.2f us per round trip\n", what,
                static_cast<int>(total), seconds * 1000.0, total / seconds, seconds * 1e6 / total);
}

}  // namespace

int main(int argc, char** argv) {
    int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    if (calls <= 0) calls = 20000;

    Run(1, 1000);  // warm-up: thread start-up, the queue's event, the worker's answer event

    Report("Synchronize, 1 worker", 1, calls, Run(1, calls));
    // Several workers keep the queue non-empty, so the main thread drains
    // more than one call per wake-up.
    Report("Synchronize, 4 workers", 4, calls / 4, Run(4, calls / 4));
    return 0;
}
