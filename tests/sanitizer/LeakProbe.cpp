// Leaks one block on purpose. The sanitizer suite runs it with its own settings and expects the leak checker to
// report it: whatever the suite does to stay quiet about the system's libraries must not hide a leak of ours.
#include <cstdio>
#include <cstdlib>

namespace {

void* volatile g_block = nullptr;

[[gnu::noinline]] void LoseBlock() {
    g_block = std::malloc(4096);
    g_block = nullptr;  // the only pointer to the block is gone
}

}  // namespace

int main() {
    LoseBlock();
    std::puts("leak probe: lost 4096 bytes");
    return 0;
}
