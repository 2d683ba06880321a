// The frame loop allocates nothing. The whole program runs against the test
// double, silent so that the double's own log allocates nothing either, and
// every heap allocation in the child process is counted by the replaced
// global operator new. Two runs that differ only in how many frames they
// last must then count the same: whatever start-up allocates, the frames
// between the shorter run's end and the longer one's added nothing.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/double/test_double.h"
#include "platform/win32.h"

namespace {

// Lives in memory shared with the scenario's child, which ends with _exit
// when the frame limit is reached, so its count outlives it.
std::atomic<long>* SharedCount = nullptr;
// Set in the child only: the parent's own allocations while it collects
// the scenario are not counted.
bool Counting = false;

void Count()
{
    if (Counting && SharedCount != nullptr) {
        SharedCount->fetch_add(1, std::memory_order_relaxed);
    }
}

void* Allocate(std::size_t size)
{
    Count();
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment)
{
    Count();
    const std::size_t align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
}

template <typename Pointer>
Pointer OrThrow(Pointer p)
{
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace

// Every form of the global operator new and delete, so that allocation and
// release always pair malloc with free, also under the sanitizers.
void* operator new(std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new[](std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) { return OrThrow(AllocateAligned(size, a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return OrThrow(AllocateAligned(size, a)); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return AllocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return AllocateAligned(size, a);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

using testdouble::Call;
using testdouble::Ending;
using testdouble::Script;
using testdouble::When;

class FrameLoopAllocationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        void* shared = ::mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE,
                              MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(shared, MAP_FAILED);
        SharedCount = new (shared) std::atomic<long>(0);
    }

    void TearDown() override
    {
        if (SharedCount != nullptr) {
            ::munmap(SharedCount, sizeof(std::atomic<long>));
            SharedCount = nullptr;
        }
    }

    // Heap allocations of a whole run of the screen saver that ends at the
    // frame limit.
    long AllocationsOfRun(Script script, int frames)
    {
        SharedCount->store(0);
        script.Silent().MaxVerticalBlanks(frames);
        const testdouble::ScenarioResult result = testdouble::RunScenario(script, [] {
            Counting = true;
            char commandLine[] = "/s";
            return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
        });
        EXPECT_EQ(result.ending, Ending::FrameLimit) << "run of " << frames << " frames";
        return SharedCount->load();
    }
};

TEST_F(FrameLoopAllocationsTest, HundredsOfFramesAllocateNothing)
{
    struct Case {
        const char* what;
        Script script;
    };
    const Case cases[] = {
        // One device: frames are rendered straight into its back surface.
        {"one monitor", Script()},
        // Two: frames go through the staging frame and are copied to each.
        {"two monitors",
         Script().Monitors({testdouble::MonitorGuid(0), testdouble::MonitorGuid(1)})},
        // Lost surfaces are restored inside the loop, after the short run ends.
        {"surfaces lost mid-run",
         Script().LoseSurfaces(0, When::At(Call("WaitForVerticalBlank").Nth(100)))},
    };
    constexpr int ShortRun = 10;
    constexpr int LongRun = 210;
    for (const Case& c : cases) {
        const long shortRun = AllocationsOfRun(c.script, ShortRun);
        const long longRun = AllocationsOfRun(c.script, LongRun);
        // Start-up allocates (window class, device lists), which shows the
        // count reaches across the fork at all.
        EXPECT_GT(shortRun, 0) << c.what;
        EXPECT_EQ(longRun - shortRun, 0)
            << c.what << ": heap allocations in " << LongRun - ShortRun << " frames";
    }
}

}  // namespace
