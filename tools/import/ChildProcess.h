// The parser's sandbox: work run in a forked child process under limits on its address space and processor time
// (setrlimit), with a wall-clock deadline kept by the parent, handing its bytes back over a pipe. Whatever the
// work does (crash, hang, allocate without end, print), the parent gets a result and one line of reason.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarn::import {

struct ChildLimits {
    std::uint64_t memoryBytes = 2048ull << 20;  // address space of the child; 0: none (also under sanitizers)
    unsigned cpuSeconds = 60;                   // processor time of the child
    unsigned wallSeconds = 120;                 // the parent kills the child after this
};

struct ChildResult {
    bool ok = false;
    std::vector<std::uint8_t> bytes;  // what the work wrote, when ok
    std::string failure;              // why not, in words ("the parser crashed (SIGSEGV)")
    double seconds = 0;               // wall time of the child
    std::uint64_t peakBytes = 0;      // its largest resident size
};

// The work fills `out`, or returns false with a reason in `why`; an exception it lets out counts as a failure
// too (std::bad_alloc as running out of memory). It runs in the child: it must not rely on the parent's other
// threads, and nothing it changes comes back but `out` and `why`.
using ChildWork = std::function<bool(std::vector<std::uint8_t>& out, std::string& why)>;

ChildResult RunInChild(const ChildLimits& limits, const ChildWork& work);

// False in builds whose sanitizer reserves more address space than any limit would allow (AddressSanitizer):
// there the memory limit is not set and only the time limits hold.
bool ChildMemoryLimitApplies();

}  // namespace tarn::import
