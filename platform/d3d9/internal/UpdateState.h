// The compare-and-set step shared by the layer's state caches: the device's setters (which mark what changed)
// and the GL backend's shadow of GL state (which skips calls GL already holds).
#pragma once

namespace tarn::d3d9 {

// Stores `wanted` and runs `apply` when it differs from `cached`; true when it did.
template <typename T, typename Apply>
inline bool UpdateState(T& cached, const T& wanted, Apply apply) {
    if (cached == wanted) return false;
    cached = wanted;
    apply();
    return true;
}

}  // namespace tarn::d3d9
