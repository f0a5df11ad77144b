// Object methods as window procedures: thunks called directly and as the
// procedure of real windows, many at once, from several threads.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/Application.h"
#include "framework/ObjectInstance.h"
#include "tests/support/ExceptionRecord.h"

using namespace Fw;

namespace {

struct TReceiver {
    int Id = 0;
    int Calls = 0;
    TMessage Last{};

    void Receive(TMessage& message) {
        ++Calls;
        Last = message;
        message.Result = Id * 1000 + static_cast<LRESULT>(message.WParam);
    }
};

WNDPROC Thunk(TReceiver& r) { return MakeObjectInstance(TWndMethod::Bind<&TReceiver::Receive>(&r)); }

}  // namespace

TEST(ObjectInstance, CallsTheMethodWithTheMessageAndReturnsItsResult) {
    TReceiver r;
    r.Id = 7;
    WNDPROC proc = Thunk(r);
    ASSERT_NE(nullptr, proc);
    EXPECT_TRUE(IsObjectInstance(proc));
    LRESULT result = CallWindowProcA(proc, nullptr, WM_USER + 5, 12, -3);
    EXPECT_EQ(7012, result);
    EXPECT_EQ(1, r.Calls);
    EXPECT_EQ(WM_USER + 5u, r.Last.Msg);
    EXPECT_EQ(12u, r.Last.WParam);
    EXPECT_EQ(-3, r.Last.LParam);
    EXPECT_EQ(0, r.Last.Result);  // the record starts with Result 0
    EXPECT_TRUE(ObjectInstanceMethod(proc) == TWndMethod::Bind<&TReceiver::Receive>(&r));
    FreeObjectInstance(proc);
    EXPECT_FALSE(IsObjectInstance(proc));
}

// Every argument arrives whole at the platform's width: on 64-bit Windows a
// WPARAM and an LPARAM above 2^32 (and a negative one), and a result as wide,
// through a direct call and through a real window's SendMessage.
TEST(ObjectInstance, PassesEveryArgumentAndTheResultAtFullWidth) {
    constexpr bool wide = sizeof(WPARAM) == 8;
    const WPARAM wParam = wide ? static_cast<WPARAM>(0x9234567887654321ull) : 0x92345678u;
    const LPARAM lParam = wide ? static_cast<LPARAM>(-0x1122334455667788ll) : static_cast<LPARAM>(-0x11223344);
    const LRESULT result = wide ? static_cast<LRESULT>(0x7EDCBA9876543210ll) : static_cast<LRESULT>(0x7EDCBA98);

    struct TWide {
        TMessage Last{};
        LRESULT Answer = 0;
        void Receive(TMessage& message) {
            Last = message;
            message.Result = Answer;
        }
    } a, b;
    a.Answer = result;
    b.Answer = ~result;
    WNDPROC procA = MakeObjectInstance(TWndMethod::Bind<&TWide::Receive>(&a));
    WNDPROC procB = MakeObjectInstance(TWndMethod::Bind<&TWide::Receive>(&b));

    EXPECT_EQ(result, CallWindowProcA(procA, nullptr, WM_USER + 9, wParam, lParam));
    EXPECT_EQ(WM_USER + 9u, a.Last.Msg);
    EXPECT_EQ(wParam, a.Last.WParam);
    EXPECT_EQ(lParam, a.Last.LParam);
    EXPECT_EQ(0u, b.Last.Msg) << "another thunk's object was called";

    HWND wnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, wnd);
    auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procB)));
    EXPECT_EQ(~result, SendMessageA(wnd, WM_USER + 10, ~wParam, ~lParam));
    EXPECT_EQ(WM_USER + 10u, b.Last.Msg);
    EXPECT_EQ(~wParam, b.Last.WParam);
    EXPECT_EQ(~lParam, b.Last.LParam);
    EXPECT_EQ(WM_USER + 9u, a.Last.Msg) << "the first thunk's object was called for the second's window";
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    DestroyWindow(wnd);
    FreeObjectInstance(procA);
    FreeObjectInstance(procB);
}

TEST(ObjectInstance, ServesAsTheProcedureOfARealWindow) {
    HWND wnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, wnd);
    TReceiver r;
    r.Id = 3;
    WNDPROC proc = Thunk(r);
    auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
    EXPECT_EQ(3001, SendMessageA(wnd, WM_USER, 1, 0));
    EXPECT_EQ(1, r.Calls);
    // Posted messages arrive through the same thunk.
    PostMessageA(wnd, WM_USER + 1, 2, 0);
    MSG msg;
    while (PeekMessageA(&msg, wnd, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(WM_USER + 1u, r.Last.Msg);
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    DestroyWindow(wnd);
    FreeObjectInstance(proc);
}

TEST(ObjectInstance, ThousandsLiveAtOnceEachBoundToItsOwnObject) {
    const int before = ObjectInstanceCount();
    const int n = 5000;
    std::vector<TReceiver> receivers(n);
    std::vector<WNDPROC> procs;
    for (int i = 0; i < n; ++i) {
        receivers[i].Id = i + 1;
        procs.push_back(Thunk(receivers[i]));
    }
    EXPECT_EQ(before + n, ObjectInstanceCount());
    EXPECT_GT(ObjectInstanceBlockCount(), 1);
    for (int i = n - 1; i >= 0; --i)
        ASSERT_EQ((i + 1) * 1000 + 9, CallWindowProcA(procs[i], nullptr, WM_NULL, 9, 0)) << i;
    for (int i = 0; i < n; ++i) EXPECT_EQ(1, receivers[i].Calls);

    // Freed slots are used again: freeing every other thunk and making as
    // many again needs no new block.
    int blocks = ObjectInstanceBlockCount();
    for (int i = 0; i < n; i += 2) FreeObjectInstance(procs[i]);
    for (int i = 0; i < n; i += 2) procs[i] = Thunk(receivers[i]);
    EXPECT_EQ(blocks, ObjectInstanceBlockCount());
    for (int i = 0; i < n; i += 2)
        EXPECT_EQ((i + 1) * 1000, CallWindowProcA(procs[i], nullptr, WM_NULL, 0, 0));

    for (WNDPROC p : procs) FreeObjectInstance(p);
    EXPECT_EQ(before, ObjectInstanceCount());
    // Empty blocks go back to the system (one may stay for the next thunk).
    EXPECT_LE(ObjectInstanceBlockCount(), before == 0 ? 1 : blocks);
}

TEST(ObjectInstance, FreeingSomethingElseIsRefusedAndLosesNothing) {
    TReceiver r;
    r.Id = 1;
    WNDPROC proc = Thunk(r);
    const int count = ObjectInstanceCount();
    EXPECT_THROW(FreeObjectInstance(reinterpret_cast<WNDPROC>(&DefWindowProcA)), Exception);
    // Inside a thunk but not at its start.
    EXPECT_THROW(FreeObjectInstance(reinterpret_cast<WNDPROC>(reinterpret_cast<char*>(proc) + 1)), Exception);
    FreeObjectInstance(nullptr);
    EXPECT_EQ(count, ObjectInstanceCount());
    EXPECT_EQ(1000, CallWindowProcA(proc, nullptr, WM_NULL, 0, 0));
    FreeObjectInstance(proc);
    // Twice is once too many.
    EXPECT_THROW(FreeObjectInstance(proc), Exception);
    EXPECT_EQ(count - 1, ObjectInstanceCount());
}

TEST(ObjectInstance, ThreadsMakeAndFreeThunksSideBySide) {
    const int before = ObjectInstanceCount();
    const int perThread = 2000;
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            std::vector<TReceiver> receivers(perThread);
            std::vector<WNDPROC> procs;
            for (int i = 0; i < perThread; ++i) {
                receivers[i].Id = t * perThread + i;
                procs.push_back(Thunk(receivers[i]));
            }
            for (int i = 0; i < perThread; ++i)
                if (CallWindowProcA(procs[i], nullptr, WM_NULL, 0, 0) != (t * perThread + i) * 1000) ++failures[t];
            for (WNDPROC p : procs) FreeObjectInstance(p);
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(0, failures[t]) << "thread " << t;
    EXPECT_EQ(before, ObjectInstanceCount());
}

namespace {

// A method that sets a result and then raises what it is told to.
struct TRaiser {
    LRESULT ResultFirst = 0;
    int Kind = 0;  // 0 Exception, 1 std::exception, 2 EAbort, 3 anything else
    int Calls = 0;
    void Receive(TMessage& message) {
        ++Calls;
        message.Result = ResultFirst;
        switch (Kind) {
            case 0: throw Exception("ハンドラの例外");
            case 1: throw std::runtime_error("runtime failure");
            case 2: Abort();
            default: throw 42;
        }
    }
};

}  // namespace

// A method behind a bare thunk raises: the exception stops at the thunk, the
// application's exception handling reports it, and the message returns the
// Result the method had left, to the system's caller and to the next message.
TEST(ObjectInstance, AnExceptionStopsAtTheThunkAndIsReportedByTheApplication) {
    TestSupport::TExceptionRecord reports;
    Application->OnException = MakeEvent<&TestSupport::TExceptionRecord::Record>(&reports);
    TRaiser raiser;
    TObject sender;
    WNDPROC proc = MakeObjectInstance(TWndMethod::Bind<&TRaiser::Receive>(&raiser), &sender);
    HWND wnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, wnd);
    auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));

    EXPECT_EQ(0, SendMessageA(wnd, WM_USER + 1, 0, 0));
    ASSERT_EQ(1u, reports.Messages.size());
    EXPECT_EQ("ハンドラの例外", reports.Messages[0]);
    EXPECT_EQ(&sender, reports.Senders[0]) << "reported with the thunk's sender";

    raiser.ResultFirst = 77;
    raiser.Kind = 1;
    EXPECT_EQ(77, SendMessageA(wnd, WM_USER + 2, 0, 0)) << "the Result set before the raise";
    ASSERT_EQ(2u, reports.Messages.size());
    EXPECT_EQ("runtime failure", reports.Messages[1]);

    raiser.Kind = 2;
    EXPECT_EQ(77, SendMessageA(wnd, WM_USER + 3, 0, 0));
    EXPECT_EQ(2u, reports.Messages.size()) << "EAbort is silent";

    raiser.Kind = 3;
    EXPECT_EQ(77, CallWindowProcA(proc, wnd, WM_USER + 4, 0, 0));
    ASSERT_EQ(3u, reports.Messages.size());

    // A posted message that raises leaves the loop that dispatched it running.
    raiser.Kind = 0;
    PostMessageA(wnd, WM_USER + 5, 0, 0);
    MSG msg;
    while (PeekMessageA(&msg, wnd, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(4u, reports.Messages.size());
    EXPECT_EQ(5, raiser.Calls);

    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    DestroyWindow(wnd);
    FreeObjectInstance(proc);
    Application->OnException = nullptr;
}
