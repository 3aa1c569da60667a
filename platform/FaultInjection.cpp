// Named faults for tests: a map from call name to (error code, remaining count). A negative count never runs out.
#include "platform/FaultInjection.h"

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tarn::platform {
namespace {

struct Fault {
    std::uint32_t code = 0;
    int remaining = 0;
};

// Never destroyed: platform calls made by static destructors at exit (the key holders release their handles
// then) may still ask for faults after this file's statics would be gone.
std::mutex& FaultMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::unordered_map<std::string, Fault>& Faults() {
    static auto* faults = new std::unordered_map<std::string, Fault>;
    return *faults;
}

// Lets TakeFault skip the lock entirely when nothing is armed (the common case in a normal run).
std::atomic<int> g_armed{0};

}  // namespace

void InjectFault(const char* call, std::uint32_t code, int times) {
    if (call == nullptr || times == 0) {
        return;
    }
    std::lock_guard lock(FaultMutex());
    Faults()[call] = Fault{code, times};
    g_armed.store(static_cast<int>(Faults().size()), std::memory_order_release);
}

void ClearFaults() {
    std::lock_guard lock(FaultMutex());
    Faults().clear();
    g_armed.store(0, std::memory_order_release);
}

bool TakeFault(const char* call, std::uint32_t* code) {
    if (call == nullptr || g_armed.load(std::memory_order_acquire) == 0) {
        return false;
    }
    std::lock_guard lock(FaultMutex());
    auto& faults = Faults();
    auto it = faults.find(call);
    if (it == faults.end()) {
        return false;
    }
    if (code != nullptr) {
        *code = it->second.code;
    }
    if (it->second.remaining > 0 && --it->second.remaining == 0) {
        faults.erase(it);
        g_armed.store(static_cast<int>(faults.size()), std::memory_order_release);
    }
    return true;
}

}  // namespace tarn::platform
