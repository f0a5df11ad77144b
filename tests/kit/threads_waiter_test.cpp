// The handle list and the event waiter, on real events and mutexes.
#include <memory>
#include <vector>

#include "kit/Threads.h"
#include "threads_support.h"

using namespace Kit;
using namespace ThreadsTest;

namespace {

DWORD WINAPI TakeAndEnd(void* mutex) { return WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE); }

struct TTracked : Fw::TObject {
    explicit TTracked(int* live) : Live(live) { ++*Live; }
    ~TTracked() override { --*Live; }
    int* Live;
};

}  // namespace

HANDLE ThreadsTest::AbandonedMutex() {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE owner = CreateThread(nullptr, 0, &TakeAndEnd, mutex, 0, nullptr);
    WaitForSingleObject(owner, INFINITE);
    CloseHandle(owner);
    return mutex;
}

TEST(ObjectList, KeepsOrderAndDuplicatesAndNeverFreesAttachedObjects) {
    int live = 0;
    TTracked a(&live), b(&live);
    TObjectList<unsigned int> list;
    EXPECT_EQ(list.Add(7), 0);
    EXPECT_EQ(list.AddObject(9, &a), 1);
    EXPECT_EQ(list.AddObject(7, &b), 2);
    EXPECT_EQ(list.Remove(7), 0);  // the first of the two only
    EXPECT_EQ(list.Remove(8), -1);
    ASSERT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.IndexOf(7), 1);
    EXPECT_EQ(list.GetObjectA(1), &b);
    std::unique_ptr<unsigned int[]> items(list.CreateItemArray());
    EXPECT_EQ(items[0], 9u);
    EXPECT_EQ(items[1], 7u);
    EXPECT_THROW(list.GetItem(2), Fw::EListError);
    EXPECT_THROW(list.Delete(-1), Fw::EListError);
    list.Delete(0);
    list.Clear();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(live, 2);
}

TEST(EventWaiter, ReportsIndexAndOutcomeOfRealKernelObjects) {
    HANDLE e0 = NewEvent(true), e1 = NewEvent(true), e3 = NewEvent(true), mutex = AbandonedMutex();
    TEventWaiter waiter(0, true);
    EXPECT_EQ(waiter.WaitResult(), woFailed);
    EXPECT_EQ(waiter.WaitFor(), 0);  // nothing to wait on: at once, outcome kept
    EXPECT_EQ(waiter.WaitResult(), woFailed);

    // One handle is a plain wait, whatever WaitAll says.
    waiter.Handles()->Add(HandleValue(e0));
    EXPECT_EQ(waiter.WaitFor(), -1);
    EXPECT_EQ(waiter.WaitResult(), woTimeout);
    SetEvent(e0);
    EXPECT_EQ(waiter.WaitFor(), 0);
    EXPECT_EQ(waiter.WaitResult(), woSignaled);

    // WaitAll: one unsignalled handle holds the wait.
    waiter.Handles()->Add(HandleValue(e1));
    EXPECT_EQ(waiter.WaitFor(), -1);
    SetEvent(e1);
    EXPECT_EQ(waiter.WaitFor(), 0);

    // Any one: an abandoned mutex at index 2 of four, then the lowest of two.
    waiter.SetWaitAll(false);
    ResetEvent(e0);
    ResetEvent(e1);
    waiter.Handles()->Add(HandleValue(mutex));
    waiter.Handles()->Add(HandleValue(e3));
    EXPECT_EQ(waiter.WaitFor(), 2);
    EXPECT_EQ(waiter.WaitResult(), woAbandoned);
    ReleaseMutex(mutex);
    SetEvent(e3);
    SetEvent(e1);
    EXPECT_EQ(waiter.WaitFor(), 1);
    EXPECT_EQ(waiter.WaitResult(), woSignaled);

    // A closed handle fails the wait.
    HANDLE closed = NewEvent();
    CloseHandle(closed);
    waiter.Handles()->Add(HandleValue(closed));
    EXPECT_EQ(waiter.WaitFor(), -1);
    EXPECT_EQ(waiter.WaitResult(), woFailed);
    for (HANDLE h : {e0, e1, e3, mutex}) CloseHandle(h);

    // A code from which no index can be read counts as a failure.
    waiter.SetWaitResult(WAIT_ABANDONED_0 + 63);
    EXPECT_EQ(waiter.WaitResult(), woAbandoned);
    waiter.SetWaitResult(WAIT_IO_COMPLETION);
    EXPECT_EQ(waiter.WaitResult(), woFailed);
}

TEST(EventWaiter, SixtyFourHandlesAreWaitedOnAndSixtyFiveFailCleanly) {
    std::vector<HANDLE> events;
    TEventWaiter waiter(0, false);
    for (int i = 0; i <= MAXIMUM_WAIT_OBJECTS; ++i) events.push_back(NewEvent(true, i == MAXIMUM_WAIT_OBJECTS - 1));
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) waiter.Handles()->Add(HandleValue(events[i]));
    EXPECT_EQ(waiter.WaitFor(), MAXIMUM_WAIT_OBJECTS - 1);
    waiter.Handles()->Add(HandleValue(events.back()));
    EXPECT_EQ(waiter.WaitFor(), -1);
    EXPECT_EQ(waiter.WaitResult(), woFailed);
    for (HANDLE h : events) CloseHandle(h);
}
