// Test seams of the Windows subset beyond message boxes (platform/MessageBoxHook.h): a scripted performance
// counter, captured debug output, and a fresh set of in-memory key containers.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tarn::platform {

// QueryPerformanceCounter returns these values in order (frequency stays 1e9 ticks per second); after the last
// one it keeps returning the last (a stalled clock). An empty script gives the real clock (or --clock-step) back.
void SetCounterScript(std::vector<std::int64_t> values);

// Every OutputDebugStringA text goes to `hook` (in addition to standard error under TARN_DEBUG_OUTPUT=1).
// An empty function removes it. Returns the hook it replaces.
using DebugOutputHook = std::function<void(const char* text)>;
DebugOutputHook SetDebugOutputHook(DebugOutputHook hook);

// Lets PeekMessageA sleep between frames (on, the default) or makes it spin as the loop asks (off), so that
// benchmarks can compare the two. Returns the previous setting.
bool SetIdleWaiting(bool on);

// Forgets every key container, as in a fresh process: the next CryptAcquireContextA without CRYPT_NEWKEYSET
// fails with NTE_BAD_KEYSET again.
void ResetKeyContainers();

}  // namespace tarn::platform
