#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "tools/import/ChildProcess.h"

using namespace tarn::import;

namespace {

ChildLimits Short() {
    ChildLimits l;
    l.memoryBytes = 512ull << 20;
    l.cpuSeconds = 1;
    l.wallSeconds = 3;
    return l;
}

TEST(ImportChild, BytesComeBackOverThePipe) {
    const ChildResult r = RunInChild(Short(), [](std::vector<std::uint8_t>& out, std::string&) {
        out.assign(300000, 7);  // more than a pipe holds at once
        out[12345] = 9;
        std::puts("the child's own output goes nowhere");
        return true;
    });
    ASSERT_TRUE(r.ok) << r.failure;
    ASSERT_EQ(r.bytes.size(), 300000u);
    EXPECT_EQ(r.bytes[12345], 9);
    EXPECT_GT(r.peakBytes, 0u);
}

TEST(ImportChild, TheWorksOwnReasonComesBack) {
    const ChildResult r = RunInChild(Short(), [](std::vector<std::uint8_t>&, std::string& why) {
        why = "OBJ-file is too small.\nsecond line";
        return false;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failure, "OBJ-file is too small. second line");  // always one line
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

TEST(ImportChild, ACrashIsOneLine) {
    const ChildResult r = RunInChild(Short(), [](std::vector<std::uint8_t>&, std::string&) -> bool {
        ::raise(SIGSEGV);
        return true;
    });
    EXPECT_FALSE(r.ok);
    // AddressSanitizer catches the fault and aborts the process itself.
    EXPECT_EQ(r.failure, kUnderAddressSanitizer ? "the parser crashed (SIGABRT)" : "the parser crashed (SIGSEGV)");
    const ChildResult abort =
        RunInChild(Short(), [](std::vector<std::uint8_t>&, std::string&) -> bool { std::abort(); });
    EXPECT_EQ(abort.failure, "the parser crashed (SIGABRT)");
}

TEST(ImportChild, AnExceptionIsAFailure) {
    const ChildResult r = RunInChild(
        Short(), [](std::vector<std::uint8_t>&, std::string&) -> bool { throw std::runtime_error("broken"); });
    EXPECT_EQ(r.failure, "broken");
}

TEST(ImportChild, SpinningPastTheProcessorLimitIsStopped) {
    ChildLimits l = Short();
    l.wallSeconds = 60;  // processor time, not the wall clock, ends it, however busy the machine
    const ChildResult r = RunInChild(l, [](std::vector<std::uint8_t>&, std::string&) -> bool {
        volatile unsigned long spins = 0;
        for (;;) spins = spins + 1;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failure, "the parser ran out of processor time (1 s)");
    EXPECT_LT(r.seconds, 60);
}

TEST(ImportChild, WaitingPastTheDeadlineIsStopped) {
    ChildLimits l = Short();
    l.wallSeconds = 1;
    const ChildResult r = RunInChild(l, [](std::vector<std::uint8_t>&, std::string&) -> bool {
        ::pause();  // uses no processor time: only the wall clock ends it
        return true;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failure, "the parser took longer than 1 s");
    EXPECT_LT(r.seconds, 2.5);
}

TEST(ImportChild, AllocatingPastTheMemoryLimitIsStopped) {
    if (!ChildMemoryLimitApplies()) GTEST_SKIP() << "no address-space limit under this sanitizer";
    ChildLimits l = Short();
    l.memoryBytes = 256ull << 20;
    const ChildResult r = RunInChild(l, [](std::vector<std::uint8_t>& out, std::string&) {
        std::vector<std::vector<char>> hoard;
        for (int i = 0; i < 64; ++i) hoard.emplace_back(64u << 20, 'x');  // 4 GB in all
        out.push_back(static_cast<std::uint8_t>(hoard.size()));
        return true;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failure, "the parser ran out of memory (limit 256 MB)");
}

TEST(ImportChild, ExitingWithoutAnAnswerIsAFailure) {
    const ChildResult r = RunInChild(Short(), [](std::vector<std::uint8_t>&, std::string&) -> bool { ::_exit(4); });
    EXPECT_EQ(r.failure, "the parser exited with status 4");
}

}  // namespace
