// Reference array transforms over byte-strided arrays, and the projection arrays built on them. Each element is
// read completely before its output is written, so out may be the input array when the strides are equal.
#include "ReferenceRoutines.h"

using namespace tarn::math::detail;

namespace {

// Elements are copied in and out through memcpy: a stride that is not a multiple of 4 leaves them at
// addresses that are no place for a float.
template <typename T>
T LoadElement(const void* base, UINT stride, UINT i) {
    T v;
    std::memcpy(&v, Advance(base, static_cast<std::size_t>(stride) * i), sizeof v);
    return v;
}
template <typename T>
void StoreElement(void* base, UINT stride, UINT i, const T& v) {
    std::memcpy(Advance(base, static_cast<std::size_t>(stride) * i), &v, sizeof v);
}

template <typename Out, typename In, typename Single>
Out* EachElement(Out* out, UINT outStride, const In* in, UINT inStride, const D3DXMATRIX* m, UINT n, Single single) {
    for (UINT i = 0; i < n; ++i) {
        const In v = LoadElement<In>(in, inStride, i);
        Out r;
        single(&r, &v, m);
        StoreElement(out, outStride, i, r);
    }
    return out;
}

}  // namespace

namespace tarn::math::reference {

D3DXVECTOR4* D3DXVec2TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m,
                                    UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXVec2Transform);
}
D3DXVECTOR2* D3DXVec2TransformCoordArray(D3DXVECTOR2* o, UINT os, const D3DXVECTOR2* v, UINT vs,
                                         const D3DXMATRIX* m, UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXVec2TransformCoord);
}
D3DXVECTOR2* D3DXVec2TransformNormalArray(D3DXVECTOR2* o, UINT os, const D3DXVECTOR2* v, UINT vs,
                                          const D3DXMATRIX* m, UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXVec2TransformNormal);
}
D3DXVECTOR4* D3DXVec3TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m,
                                    UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXVec3Transform);
}
D3DXVECTOR3* D3DXVec3TransformCoordArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs,
                                         const D3DXMATRIX* m, UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXVec3TransformCoord);
}
D3DXVECTOR3* D3DXVec3TransformNormalArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs,
                                          const D3DXMATRIX* m, UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXVec3TransformNormal);
}
D3DXVECTOR4* D3DXVec4TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR4* v, UINT vs, const D3DXMATRIX* m,
                                    UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXVec4Transform);
}
D3DXPLANE* D3DXPlaneTransformArray(D3DXPLANE* o, UINT os, const D3DXPLANE* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return EachElement(o, os, v, vs, m, n, D3DXPlaneTransform);
}

D3DXVECTOR3* D3DXVec3ProjectArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DVIEWPORT9* vp,
                                  const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world,
                                  UINT n) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    if (world) m = *world;
    if (view) ::D3DXMatrixMultiply(&m, &m, view);
    if (projection) ::D3DXMatrixMultiply(&m, &m, projection);
    ::D3DXVec3TransformCoordArray(o, os, v, vs, &m, n);
    if (vp) {
        for (UINT i = 0; i < n; ++i) {
            const auto p = LoadElement<D3DXVECTOR3>(o, os, i);
            const double x = vp->X + (1.0 + p.x) * static_cast<double>(vp->Width) * 0.5;
            const double y = vp->Y + (1.0 - p.y) * static_cast<double>(vp->Height) * 0.5;
            const double z = vp->MinZ + static_cast<double>(p.z) * (static_cast<double>(vp->MaxZ) - vp->MinZ);
            StoreElement(o, os, i, D3DXVECTOR3(float(x), float(y), float(z)));
        }
    }
    return o;
}

D3DXVECTOR3* D3DXVec3UnprojectArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DVIEWPORT9* vp,
                                    const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world,
                                    UINT n) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    if (world) m = *world;
    if (view) ::D3DXMatrixMultiply(&m, &m, view);
    if (projection) ::D3DXMatrixMultiply(&m, &m, projection);
    if (!::D3DXMatrixInverse(&m, nullptr, &m)) return nullptr;
    for (UINT i = 0; i < n; ++i) {
        auto p = LoadElement<D3DXVECTOR3>(v, vs, i);
        if (vp) {
            p = D3DXVECTOR3(float(2.0 * (p.x - static_cast<double>(vp->X)) / vp->Width - 1.0),
                            float(-(2.0 * (p.y - static_cast<double>(vp->Y)) / vp->Height - 1.0)),
                            float((p.z - static_cast<double>(vp->MinZ)) / (static_cast<double>(vp->MaxZ) - vp->MinZ)));
        }
        D3DXVECTOR3 r;
        ::D3DXVec3TransformCoord(&r, &p, &m);
        StoreElement(o, os, i, r);
    }
    return o;
}

}  // namespace tarn::math::reference
