// The serialisation of a device made with D3DCREATE_MULTITHREADED: one recursive lock, shared by the device and
// every object made from it, that each of their calls holds for its whole duration (DeviceGuard at the top of the
// call). A device made without the flag has no lock, and its guards do nothing.
#pragma once

#include <memory>
#include <mutex>

namespace tarn::d3d9 {

class Renderer;

struct DeviceLock {
    std::recursive_mutex mutex;
    // Calls nested on the thread that holds the lock; read and written only while holding it.
    int depth = 0;
    // The device's backend, told at the end of each outermost call to give up its context on the calling thread
    // (so that the next call may take it on another); null once the device has gone.
    Renderer* renderer = nullptr;
};

// Null for a device that is called from one thread only. A child keeps its device's lock for as long as it lives,
// so that a call reaching a child orphaned by its device still serialises.
using DeviceLockRef = std::shared_ptr<DeviceLock>;

// Holds a device's lock for the guard's scope; a call on the device inside it nests. The guard keeps the lock
// alive on its own, so that a Release that destroys the device (and its last other holder) still unlocks.
class DeviceGuard {
public:
    explicit DeviceGuard(const DeviceLockRef& lock) : lock_(lock) {
        if (lock_) Enter();
    }
    ~DeviceGuard() {
        if (lock_) Leave();
    }
    DeviceGuard(const DeviceGuard&) = delete;
    DeviceGuard& operator=(const DeviceGuard&) = delete;

private:
    void Enter() {
        lock_->mutex.lock();
        ++lock_->depth;
    }
    void Leave();  // Device.cpp: the backend lets the context go when the outermost call ends

    DeviceLockRef lock_;
};

}  // namespace tarn::d3d9
