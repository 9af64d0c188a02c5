// The timer service. Pass counting, slots, re-arming and removal are checked by
// driving passes directly (service started without its thread), so every
// expectation is a pass number, never a duration. The thread itself is checked
// for what only it can show: callbacks on the timer thread, adds from other
// threads during passes, and a stop that waits for a running callback.
#include "timer/timer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- Pass-driven tests ----

int gPass;  // passes run by the test so far (test thread only)

struct Fire {
    intptr_t argument;
    int pass;
};
std::vector<Fire> gFires;  // callbacks run on the test thread in these tests

void Record(intptr_t argument)
{
    gFires.push_back({argument, gPass});
}

void RunPasses(int count)
{
    for (int i = 0; i < count; i++) {
        gPass++;
        TimerTick();
    }
}

// The pass on which the timer with this argument fired; 0 if it never fired, -1 if it fired twice.
int FiredOn(intptr_t argument)
{
    int pass = 0;
    for (const Fire &f : gFires) {
        if (f.argument == argument)
            pass = pass ? -1 : f.pass;
    }
    return pass;
}

// Defined first, so that its first add runs before anything in this program
// has started the service.
TEST(TimerLifecycle, AddBeforeInitAndAfterStopGivesNull)
{
    TimerStop();
    EXPECT_EQ(TimerAdd(30, 1, Record), nullptr);
    EXPECT_EQ(TimerCountInUse(), 0);
    TimerRemove(nullptr);  // harmless while stopped
    TimerTick();           // likewise

    TimerInit();
    TimerEntry *t = TimerAdd(1000000, 1, Record);  // never due during this test
    EXPECT_NE(t, nullptr);
    TimerStop();
    EXPECT_EQ(TimerAdd(30, 2, Record), nullptr);
    TimerRemove(t);  // stopped: nothing to do, and nothing may crash

    // A restart begins with an empty table: the dropped timer is gone.
    TimerInitWithoutThread();
    EXPECT_EQ(TimerCountInUse(), 0);
    EXPECT_EQ(TimerAdd(30, 3, Record), t) << "slot 0 again";
    TimerStop();
    EXPECT_EQ(TimerCountInUse(), 0);
}

// Re-arming from inside a callback, as a periodic activity does.
TimerEntry *gRearmedHandle;
uint32_t gRearmInterval;

class ManualTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        TimerStop();  // whatever an earlier test left running
        TimerInitWithoutThread();
        gPass = 0;
        gFires.clear();
        gRearmedHandle = nullptr;
    }
    void TearDown() override { TimerStop(); }
};

TEST_F(ManualTimer, FiresOnTheFirstPassWhoseCountedTimeReachesTheInterval)
{
    struct Case {
        uint32_t interval;
        int pass;
    } cases[] = {
        {0, 1},    {1, 1},    {30, 1},     {31, 2},     {59, 2},    {60, 2},
        {61, 3},   {2999, 100}, {3000, 100}, {3001, 101}, {3030, 101},
    };
    for (const Case &c : cases)
        ASSERT_NE(TimerAdd(c.interval, (intptr_t)c.interval, Record), nullptr);
    RunPasses(102);
    for (const Case &c : cases)
        EXPECT_EQ(FiredOn((intptr_t)c.interval), c.pass) << "interval " << c.interval;
    EXPECT_EQ(gFires.size(), sizeof cases / sizeof cases[0]);
    EXPECT_EQ(TimerCountInUse(), 0);
}

TEST_F(ManualTimer, IntervalNearTheTopOfTheRangeStillFallsDue)
{
    // Counting must saturate: wrapping round would let this timer count for ever.
    TimerEntry *t = TimerAdd(UINT32_MAX, 7, Record);
    ASSERT_NE(t, nullptr);
    t->elapsed = UINT32_MAX - 40;  // as if it had counted for 49 days
    RunPasses(1);
    EXPECT_EQ(FiredOn(7), 0);
    RunPasses(1);
    EXPECT_EQ(FiredOn(7), 2);
    EXPECT_EQ(TimerCountInUse(), 0);
}

TEST_F(ManualTimer, FullTableRefusesAndFiredSlotsAreReusedLowestFirst)
{
    TimerEntry *handles[TIMER_SLOTS];
    for (int i = 0; i < TIMER_SLOTS; i++) {
        uint32_t interval = (i == 5 || i == 200) ? 30 : 3000;
        handles[i] = TimerAdd(interval, i, Record);
        ASSERT_NE(handles[i], nullptr) << "add " << i;
        if (i > 0) {
            EXPECT_EQ(handles[i], handles[i - 1] + 1) << "slots are taken from index 0 upward";
        }
    }
    EXPECT_EQ(TimerCountInUse(), TIMER_SLOTS);
    EXPECT_EQ(TimerAdd(30, 999, Record), nullptr) << "the 257th timer";

    RunPasses(1);
    EXPECT_EQ(FiredOn(5), 1);
    EXPECT_EQ(FiredOn(200), 1);
    EXPECT_EQ(FiredOn(999), 0);
    EXPECT_EQ(TimerCountInUse(), TIMER_SLOTS - 2);

    EXPECT_EQ(TimerAdd(3000, 1005, Record), handles[5]);
    EXPECT_EQ(TimerAdd(3000, 1200, Record), handles[200]);
    EXPECT_EQ(TimerAdd(3000, 1000, Record), nullptr);

    for (int i = 0; i < TIMER_SLOTS; i++)
        TimerRemove(handles[i]);
    RunPasses(1);
    EXPECT_EQ(TimerCountInUse(), 0);
    EXPECT_EQ(gFires.size(), 2u);
}

TimerEntry *gFiringHandle;

void RearmOnce(intptr_t argument)
{
    Record(argument);
    gRearmedHandle = TimerAdd(gRearmInterval, argument + 100, Record);
}

TEST_F(ManualTimer, RearmInHigherSlotCountsInTheSamePass)
{
    gRearmInterval = 30;
    gFiringHandle = TimerAdd(30, 1, RearmOnce);  // slot 0
    ASSERT_NE(gFiringHandle, nullptr);
    RunPasses(1);
    ASSERT_NE(gRearmedHandle, nullptr);
    EXPECT_NE(gRearmedHandle, gFiringHandle) << "the firing slot stays taken while its callback runs";
    EXPECT_GT(gRearmedHandle, gFiringHandle);
    EXPECT_EQ(FiredOn(1), 1);
    EXPECT_EQ(FiredOn(101), 1) << "a higher slot is reached later in the same pass and counts 30 ms there";
    EXPECT_EQ(TimerCountInUse(), 0);
}

TEST_F(ManualTimer, RearmInLowerSlotCountsFromTheNextPass)
{
    gRearmInterval = 30;
    TimerEntry *first = TimerAdd(30, 1, Record);  // slot 0, fired and freed in pass 1
    gFiringHandle = TimerAdd(60, 2, RearmOnce);  // slot 1, fires in pass 2
    ASSERT_NE(first, nullptr);
    ASSERT_NE(gFiringHandle, nullptr);
    RunPasses(2);
    EXPECT_EQ(FiredOn(1), 1);
    EXPECT_EQ(FiredOn(2), 2);
    ASSERT_EQ(gRearmedHandle, first) << "the lowest free slot, below the firing one";
    EXPECT_EQ(FiredOn(102), 0) << "a lower slot was already passed in pass 2";
    RunPasses(1);
    EXPECT_EQ(FiredOn(102), 3);
    EXPECT_EQ(TimerCountInUse(), 0);
}

TEST_F(ManualTimer, RemovedTimerNeverFiresAndItsSlotFreesAfterTheNextPass)
{
    TimerEntry *removed = TimerAdd(30, 1, Record);
    ASSERT_NE(removed, nullptr);
    TimerRemove(removed);
    EXPECT_EQ(TimerCountInUse(), 1) << "freed only by the next pass";
    TimerEntry *other = TimerAdd(30, 2, Record);
    EXPECT_NE(other, removed) << "a removed slot is not handed out before the sweep";
    RunPasses(1);
    EXPECT_EQ(FiredOn(1), 0);
    EXPECT_EQ(FiredOn(2), 1);
    EXPECT_EQ(TimerCountInUse(), 0);
    EXPECT_EQ(TimerAdd(3000, 3, Record), removed) << "the slot is free again";
    TimerRemove(removed);
    RunPasses(200);
    EXPECT_EQ(FiredOn(3), 0);
    EXPECT_EQ(TimerCountInUse(), 0);
}

TimerEntry *gVictim;

void RemoveVictim(intptr_t argument)
{
    Record(argument);
    TimerRemove(gVictim);
}

TEST_F(ManualTimer, CallbackMayRemoveATimerDueLaterInTheSamePass)
{
    ASSERT_NE(TimerAdd(30, 1, RemoveVictim), nullptr);  // slot 0
    gVictim = TimerAdd(30, 2, Record);                   // slot 1, due in the same pass
    ASSERT_NE(gVictim, nullptr);
    RunPasses(3);
    EXPECT_EQ(FiredOn(1), 1);
    EXPECT_EQ(FiredOn(2), 0);
    EXPECT_EQ(TimerCountInUse(), 0);
}

TEST_F(ManualTimer, RemoveIgnoresNullAndForeignHandles)
{
    TimerEntry *t = TimerAdd(60, 1, Record);
    ASSERT_NE(t, nullptr);
    TimerEntry foreign = {};
    foreign.inUse = 1;
    foreign.armed = 1;
    TimerRemove(nullptr);
    TimerRemove(&foreign);
    TimerRemove((TimerEntry *)((char *)t + 1));  // inside the table but not a slot
    EXPECT_EQ(foreign.armed, 1);
    RunPasses(2);
    EXPECT_EQ(FiredOn(1), 2);
    EXPECT_EQ(TimerAdd(30, 2, nullptr), nullptr) << "a timer without callback is refused";
    EXPECT_EQ(TimerCountInUse(), 0);
}

TEST_F(ManualTimer, SecondInitKeepsArmedTimers)
{
    ASSERT_NE(TimerAdd(60, 1, Record), nullptr);
    RunPasses(1);
    TimerInitWithoutThread();
    TimerInit();  // already running: must neither clear the table nor start a thread
    EXPECT_EQ(TimerCountInUse(), 1);
    RunPasses(1);
    EXPECT_EQ(FiredOn(1), 2);
    EXPECT_EQ(TimerCountInUse(), 0);
}

int FailToLaunch(void (*body)(void))
{
    (void)body;
    return 0;
}

TEST(TimerLifecycle, FailedThreadCreationPrintsOneLineAndStaysStopped)
{
    TimerStop();
    TimerThreadLauncher saved = pfnTimerLaunchThread;
    pfnTimerLaunchThread = FailToLaunch;
    ::testing::internal::CaptureStdout();
    TimerInit();
    std::string output = ::testing::internal::GetCapturedStdout();
    pfnTimerLaunchThread = saved;
    EXPECT_EQ(output, "TimerInit: CreateThread failed\n");
    EXPECT_EQ(TimerAdd(30, 1, Record), nullptr);
    EXPECT_EQ(TimerCountInUse(), 0);
    TimerStop();  // stopped: must return at once

    // The service can still be started afterwards.
    TimerInit();
    EXPECT_NE(TimerAdd(1000000, 2, Record), nullptr);
    TimerStop();
}

// ---- Tests with the real timer thread ----

// Polls until the condition holds or 20 s passed; true when it held.
template <typename Condition>
bool WaitFor(Condition condition)
{
    for (int waited = 0; waited < 20000; waited += 5) {
        if (condition())
            return true;
        Sleep(5);
    }
    return condition();
}

std::atomic<DWORD> gCallbackThread;
std::atomic<int> gChainLeft;

void Chain(intptr_t argument)
{
    gCallbackThread = GetCurrentThreadId();
    if (--gChainLeft > 0)
        TimerAdd(60, argument, Chain);
}

TEST(TimerThread, PeriodicChainRunsOnTheTimerThread)
{
    TimerStop();
    TimerInit();
    gCallbackThread = 0;
    gChainLeft = 5;
    ASSERT_NE(TimerAdd(0, 0, Chain), nullptr);
    EXPECT_TRUE(WaitFor([] { return gChainLeft.load() == 0; }));
    EXPECT_NE(gCallbackThread.load(), 0u);
    EXPECT_NE(gCallbackThread.load(), GetCurrentThreadId());
    EXPECT_TRUE(WaitFor([] { return TimerCountInUse() == 0; }));
    TimerStop();
}

// Adds and removes from two threads while passes run: every short timer fires
// exactly once and every removed long timer never does. Two threads that took
// the same slot, or a pass that saw a half-written slot, would lose or repeat one.
const int kMaxPerThread = 20000;
std::atomic<int> gFireCount[2 * kMaxPerThread * 2];
int gPerThread;
DWORD gRetryPause;  // ms to wait when the table is full for the moment

void CountFire(intptr_t argument)
{
    gFireCount[argument]++;
}

void AddFromThread(int thread)
{
    for (int i = 0; i < gPerThread; i++) {
        int shortId = (thread * gPerThread + i) * 2;
        int longId = shortId + 1;
        TimerEntry *t;
        while ((t = TimerAdd((uint32_t)(i % 4) * 30, shortId, CountFire)) == nullptr)
            Sleep(gRetryPause);
        while ((t = TimerAdd(100000000, longId, CountFire)) == nullptr)
            Sleep(gRetryPause);
        TimerRemove(t);  // cannot have fired yet, so the handle is still its own
    }
}

void RunAdders(int perThread, DWORD retryPause)
{
    gPerThread = perThread;
    gRetryPause = retryPause;
    for (std::atomic<int> &c : gFireCount)
        c = 0;
    std::thread a(AddFromThread, 0);
    std::thread b(AddFromThread, 1);
    a.join();
    b.join();
}

void ExpectEveryShortTimerFiredOnce(void)
{
    int wrong = 0;
    for (int id = 0; id < 2 * gPerThread * 2; id++) {
        int expected = (id % 2 == 0) ? 1 : 0;
        if (gFireCount[id] != expected && wrong++ < 10)
            ADD_FAILURE() << "timer " << id << " fired " << gFireCount[id] << " times";
    }
    EXPECT_EQ(wrong, 0);
}

TEST(TimerThread, AddsAndRemovesFromOtherThreadsDuringPasses)
{
    TimerStop();
    TimerInit();
    RunAdders(300, 1);
    EXPECT_TRUE(WaitFor([] { return TimerCountInUse() == 0; }));
    ExpectEveryShortTimerFiredOnce();
    TimerStop();
}

TEST(TimerThread, AddsAndRemovesRaceBackToBackPasses)
{
    // The same with passes run back to back by a thread of the test instead of
    // every 30 ms, so that adds, removes and passes overlap as often as possible.
    TimerStop();
    TimerInitWithoutThread();
    std::atomic<int> addersDone(0);
    std::thread ticker([&addersDone] {
        while (!addersDone)
            TimerTick();
    });
    RunAdders(kMaxPerThread, 0);
    addersDone = 1;
    ticker.join();
    for (int i = 0; i < 4 && TimerCountInUse() != 0; i++)
        TimerTick();
    EXPECT_EQ(TimerCountInUse(), 0);
    ExpectEveryShortTimerFiredOnce();
    TimerStop();
}

std::atomic<int> gEntered, gRelease, gFirstDone, gSecondRan, gThirdRan, gStopCalled, gStopReturned;
std::atomic<int> gStopReturnedSeenBySecond;

void BlockingFirst(intptr_t)
{
    gEntered = 1;
    WaitFor([] { return gRelease.load() == 1; });
    gFirstDone = 1;
}

void SecondOfPass(intptr_t)
{
    gStopReturnedSeenBySecond = gStopReturned.load();
    gSecondRan = 1;
}

void NeverDue(intptr_t)
{
    gThirdRan = 1;
}

TEST(TimerThread, StopWaitsForARunningCallbackAndTheRestOfItsPass)
{
    TimerStop();
    gEntered = gRelease = gFirstDone = gSecondRan = gThirdRan = gStopCalled = gStopReturned = 0;
    gStopReturnedSeenBySecond = -1;
    TimerInit();
    ASSERT_NE(TimerAdd(0, 0, BlockingFirst), nullptr);
    ASSERT_NE(TimerAdd(0, 0, SecondOfPass), nullptr);
    ASSERT_NE(TimerAdd(100000000, 0, NeverDue), nullptr);
    ASSERT_TRUE(WaitFor([] { return gEntered.load() == 1; }));

    std::thread stopper([] {
        gStopCalled = 1;
        TimerStop();
        gStopReturned = 1;
    });
    ASSERT_TRUE(WaitFor([] { return gStopCalled.load() == 1; }));
    // A stop that does not wait would return now; give it the chance to show.
    for (int i = 0; i < 50 && !gStopReturned; i++)
        Sleep(5);
    EXPECT_EQ(gStopReturned.load(), 0) << "stop returned while a callback was running";
    EXPECT_EQ(gSecondRan.load(), 0);

    gRelease = 1;
    stopper.join();
    EXPECT_EQ(gFirstDone.load(), 1);
    EXPECT_EQ(gSecondRan.load(), 1) << "the rest of the pass runs before the thread ends";
    EXPECT_EQ(gStopReturnedSeenBySecond.load(), 0);
    EXPECT_EQ(gThirdRan.load(), 0) << "timers still armed are dropped";
    EXPECT_EQ(TimerAdd(30, 0, NeverDue), nullptr);
    EXPECT_EQ(TimerCountInUse(), 0);
}

}  // namespace
