#include "scene/Animation.h"

#include "TransformHelpers.h"

#include <cmath>

namespace {

// Visits every key segment [i, i+1] whose start is at or before t and whose end is after it, with the fraction of
// the way through it. With ascending times at most one segment passes; all that pass are applied in order.
template <typename Key, typename Apply>
void ForEachSegment(const Key* keys, std::int32_t count, float t, Apply apply) {
    for (std::int32_t i = 0; i + 1 < count; ++i) {
        const Key& a = keys[i];
        const Key& b = keys[i + 1];
        if (a.time <= t && t < b.time) apply(a, b, (t - a.time) / (b.time - a.time));
    }
}

}  // namespace

void CTRAnimation::evaluate(float t, D3DXMATRIX* out) const {
    D3DXMATRIX m;
    TRMatrixIdentity(&m);

    if (t > length && length != 0.0f) {
        // k is t / length truncated toward zero; kept in floating point so a huge t cannot overflow an integer.
        const float k = std::trunc(t / length);
        t = t - k * length;
    }

    ForEachSegment(rotationKeys.get(), rotationKeyCount, t,
                   [&](const CTRRotationKey& a, const CTRRotationKey& b, float f) {
                       D3DXQUATERNION q0, q1;
                       q0.x = a.x, q0.y = a.y, q0.z = a.z, q0.w = a.w;
                       q1.x = b.x, q1.y = b.y, q1.z = b.z, q1.w = b.w;
                       TRQuaternionToRotation(TRQuaternionSlerp(q0, q1, f), &m);
                   });
    ForEachSegment(scaleKeys.get(), scaleKeyCount, t, [&](const CTRScaleKey& a, const CTRScaleKey& b, float f) {
        m._11 *= a.x + (b.x - a.x) * f;
        m._22 *= a.y + (b.y - a.y) * f;
        m._33 *= a.z + (b.z - a.z) * f;
    });
    ForEachSegment(positionKeys.get(), positionKeyCount, t,
                   [&](const CTRPositionKey& a, const CTRPositionKey& b, float f) {
                       m._41 = a.x + (b.x - a.x) * f;
                       m._42 = a.y + (b.y - a.y) * f;
                       m._43 = a.z + (b.z - a.z) * f;
                   });
    *out = m;
}
