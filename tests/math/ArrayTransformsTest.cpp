// Array transforms: strides that leave gaps untouched, in-place arrays, n = 0, the grouped path's threshold, and
// every set against the reference on odd lengths.
#include <cstring>
#include <functional>
#include <vector>

#include "tests/math/MathTestUtil.h"

using namespace mathtest;
using namespace tarn::math;

namespace {

// A vertex record with the vector inside it and guard words on both sides.
struct Vertex {
    float guardBefore;
    float v[4];
    float guardAfter[3];
};
constexpr float kGuard = -123.5f;

std::vector<Vertex> MakeVertices(Random& rnd, std::size_t n) {
    std::vector<Vertex> out(n);
    for (auto& vx : out) {
        vx.guardBefore = kGuard;
        for (float& c : vx.v) c = rnd.Uniform(-4, 4);
        for (float& g : vx.guardAfter) g = kGuard;
    }
    return out;
}

// One array routine under test, seen through untyped pointers: how many floats go in and come out, and how
// to call the routine of a set and the reference single-vector formula.
struct ArrayRoutine {
    const char* name;
    int inDim, outDim;
    bool coord;
    std::function<void*(const MathRoutineTable&, void*, UINT, const void*, UINT, const D3DXMATRIX*, UINT)> call;
};

template <typename Out, typename In, Out* (*MathRoutineTable::*Slot)(Out*, UINT, const In*, UINT, const D3DXMATRIX*, UINT)>
void* Call(const MathRoutineTable& t, void* o, UINT os, const void* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return (t.*Slot)(static_cast<Out*>(o), os, static_cast<const In*>(v), vs, m, n);
}

const ArrayRoutine kRoutines[] = {
    {"Vec2TransformArray", 2, 4, false, Call<D3DXVECTOR4, D3DXVECTOR2, &MathRoutineTable::D3DXVec2TransformArray>},
    {"Vec2TransformCoordArray", 2, 2, true,
     Call<D3DXVECTOR2, D3DXVECTOR2, &MathRoutineTable::D3DXVec2TransformCoordArray>},
    {"Vec2TransformNormalArray", 2, 2, false,
     Call<D3DXVECTOR2, D3DXVECTOR2, &MathRoutineTable::D3DXVec2TransformNormalArray>},
    {"Vec3TransformArray", 3, 4, false, Call<D3DXVECTOR4, D3DXVECTOR3, &MathRoutineTable::D3DXVec3TransformArray>},
    {"Vec3TransformCoordArray", 3, 3, true,
     Call<D3DXVECTOR3, D3DXVECTOR3, &MathRoutineTable::D3DXVec3TransformCoordArray>},
    {"Vec3TransformNormalArray", 3, 3, false,
     Call<D3DXVECTOR3, D3DXVECTOR3, &MathRoutineTable::D3DXVec3TransformNormalArray>},
    {"Vec4TransformArray", 4, 4, false, Call<D3DXVECTOR4, D3DXVECTOR4, &MathRoutineTable::D3DXVec4TransformArray>},
    {"PlaneTransformArray", 4, 4, false, Call<D3DXPLANE, D3DXPLANE, &MathRoutineTable::D3DXPlaneTransformArray>},
};

D3DXMATRIX Projective(Random& rnd) {
    D3DXMATRIX m = rnd.Affine();
    m._14 = 0.05f, m._24 = 0.1f, m._34 = -0.02f, m._44 = 2;
    return m;
}

TEST(ArrayTransforms, EverySetMatchesReferenceWithGapsUntouched) {
    Random rnd(41);
    const D3DXMATRIX m = Projective(rnd);
    const auto sets = AllSets();
    for (const ArrayRoutine& r : kRoutines) {
        for (UINT n : {0u, 1u, 3u, 5u, 12u, 13u, 31u, 257u}) {
            const auto in = MakeVertices(rnd, n);
            std::vector<Vertex> expected(n);
            r.call(sets[0].table, n ? &expected[0].v : nullptr, sizeof(Vertex),
                   in.empty() ? nullptr : &in[0].v, sizeof(Vertex), &m, n);
            for (const auto& set : sets) {
                SCOPED_TRACE(std::string(r.name) + " " + set.name + " n=" + std::to_string(n));
                std::vector<Vertex> out = MakeVertices(rnd, n);
                for (auto& o : out) o.v[0] = o.v[1] = o.v[2] = o.v[3] = 777;
                void* base = n ? static_cast<void*>(&out[0].v) : reinterpret_cast<void*>(0x10);
                EXPECT_EQ(r.call(set.table, base, sizeof(Vertex), n ? &in[0].v : nullptr, sizeof(Vertex), &m, n),
                          base);
                // The approximate reciprocals of the coordinate variants agree to a few units in the last place.
                const double tol = r.coord ? 2e-5 : 2e-6;
                for (UINT i = 0; i < n; ++i) {
                    ASSERT_EQ(out[i].guardBefore, kGuard);
                    for (int c = 0; c < r.outDim; ++c) ASSERT_TRUE(Near(out[i].v[c], expected[i].v[c], tol)) << i << c;
                    for (int c = r.outDim; c < 4; ++c) ASSERT_EQ(out[i].v[c], 777.0f) << i << c;
                    for (float g : out[i].guardAfter) ASSERT_EQ(g, kGuard);
                }
            }
        }
    }
}

// Tightly packed arrays (stride = element size), which the packed variants move a register at a time.
TEST(ArrayTransforms, PackedArraysMatchReference) {
    Random rnd(46);
    const D3DXMATRIX m = Projective(rnd);
    const auto sets = AllSets();
    for (const ArrayRoutine& r : kRoutines) {
        for (UINT n : {13u, 31u, 257u}) {
            std::vector<float> in(4 * n), expected(4 * n), out(4 * n + 1);
            for (float& f : in) f = rnd.Uniform(-4, 4);
            const UINT inStride = r.inDim * 4, outStride = r.outDim * 4;
            r.call(sets[0].table, expected.data(), outStride, in.data(), inStride, &m, n);
            for (const auto& set : sets) {
                SCOPED_TRACE(std::string(r.name) + " " + set.name + " n=" + std::to_string(n));
                out.assign(out.size(), 777.0f);
                r.call(set.table, out.data(), outStride, in.data(), inStride, &m, n);
                for (UINT i = 0; i < n * r.outDim; ++i)
                    ASSERT_TRUE(Near(out[i], expected[i], r.coord ? 2e-5 : 2e-6)) << i;
                EXPECT_EQ(out[n * r.outDim], 777.0f);
                // In place as well.
                std::vector<float> data(in.begin(), in.begin() + n * r.inDim);
                if (r.inDim == r.outDim) {
                    r.call(set.table, data.data(), outStride, data.data(), inStride, &m, n);
                    for (UINT i = 0; i < n * r.outDim; ++i)
                        ASSERT_TRUE(Near(data[i], expected[i], r.coord ? 2e-5 : 2e-6)) << "in place " << i;
                }
            }
        }
    }
}

TEST(ArrayTransforms, InPlaceWithEqualStridesTransformsEachElementOnce) {
    Random rnd(42);
    const D3DXMATRIX m = Projective(rnd);
    const auto sets = AllSets();
    for (const ArrayRoutine& r : kRoutines) {
        if (r.inDim != r.outDim) continue;
        for (UINT n : {3u, 5u, 6u, 7u, 13u, 14u, 15u}) {
            const auto in = MakeVertices(rnd, n);
            std::vector<Vertex> expected(n);
            r.call(sets[0].table, &expected[0].v, sizeof(Vertex), &in[0].v, sizeof(Vertex), &m, n);
            for (const auto& set : sets) {
                SCOPED_TRACE(std::string(r.name) + " " + set.name + " n=" + std::to_string(n));
                auto data = in;
                r.call(set.table, &data[0].v, sizeof(Vertex), &data[0].v, sizeof(Vertex), &m, n);
                for (UINT i = 0; i < n; ++i)
                    for (int c = 0; c < r.outDim; ++c)
                        ASSERT_TRUE(Near(data[i].v[c], expected[i].v[c], r.coord ? 2e-5 : 2e-6)) << i << c;
            }
        }
    }
}

// The SSE sets take groups of four only above 12 elements: at 12 every element goes through the single-vector
// routine (which, for coordinates, divides by an approximate reciprocal); at 13 the first twelve are grouped
// and the thirteenth is single. Compare with the set's own single routine bit for bit.
TEST(ArrayTransforms, GroupedPathThresholdOfTheSseSets) {
    Random rnd(43);
    const D3DXMATRIX m = Projective(rnd);
    for (const auto& set : AllSets()) {
        if (set.name != "sse" && set.name != "sse2") continue;
        for (UINT n : {12u, 13u}) {
            SCOPED_TRACE(set.name + " n=" + std::to_string(n));
            std::vector<D3DXVECTOR3> in(n), out(n);
            for (auto& v : in) v = rnd.Vec3();
            set.table.D3DXVec3TransformCoordArray(out.data(), sizeof(D3DXVECTOR3), in.data(), sizeof(D3DXVECTOR3), &m,
                                                  n);
            D3DXVECTOR3 single;
            set.table.D3DXVec3TransformCoord(&single, &in[n - 1], &m);
            EXPECT_TRUE(SameBits<3>(out[n - 1], single));
            for (UINT i = 0; i < n; ++i) {
                set.table.D3DXVec3TransformCoord(&single, &in[i], &m);
                EXPECT_TRUE(NearAll<3>(out[i], single, 1e-6)) << i;
            }
        }
    }
}

TEST(ArrayTransforms, AffineCoordinatesAgreeAcrossSets) {
    Random rnd(44);
    const D3DXMATRIX m = rnd.Affine();
    std::vector<D3DXVECTOR3> in(101), expected(101), out(101);
    for (auto& v : in) v = rnd.Vec3();
    const auto sets = AllSets();
    sets[0].table.D3DXVec3TransformCoordArray(expected.data(), 12, in.data(), 12, &m, 101);
    for (const auto& set : sets) {
        SCOPED_TRACE(set.name);
        set.table.D3DXVec3TransformCoordArray(out.data(), 12, in.data(), 12, &m, 101);
        for (int i = 0; i < 101; ++i) EXPECT_TRUE(NearAll<3>(out[i], expected[i], 2e-6)) << i;
    }
}

// Strides that are not multiples of 4 put elements at odd byte addresses; every set reads and writes them as
// bytes (a build with the undefined-behaviour sanitizer catches a float read through such an address). The
// bytes between elements stay untouched.
TEST(ArrayTransforms, OddStridesAndOddAddresses) {
    Random rnd(47);
    const D3DXMATRIX m = Projective(rnd);
    const auto sets = AllSets();
    constexpr std::uint8_t kFill = 0xA5;
    for (const ArrayRoutine& r : kRoutines) {
        for (UINT n : {1u, 5u, 13u, 31u}) {
            const UINT inStride = r.inDim * 4 + 1, outStride = r.outDim * 4 + 3;
            std::vector<std::uint8_t> in(1 + inStride * n, kFill);
            std::vector<float> expected(4 * n);
            for (UINT i = 0; i < n; ++i) {
                float v[4];
                for (int c = 0; c < r.inDim; ++c) v[c] = rnd.Uniform(-4, 4);
                std::memcpy(&in[1 + inStride * i], v, 4 * r.inDim);
                // The expected element from the reference routine on an aligned copy.
                r.call(sets[0].table, &expected[4 * i], 16, v, 16, &m, 1);
            }
            for (const auto& set : sets) {
                SCOPED_TRACE(std::string(r.name) + " " + set.name + " n=" + std::to_string(n));
                std::vector<std::uint8_t> out(1 + outStride * n, kFill);
                EXPECT_EQ(r.call(set.table, &out[1], outStride, &in[1], inStride, &m, n), &out[1]);
                EXPECT_EQ(out[0], kFill);
                for (UINT i = 0; i < n; ++i) {
                    float got[4];
                    std::memcpy(got, &out[1 + outStride * i], 4 * r.outDim);
                    for (int c = 0; c < r.outDim; ++c)
                        ASSERT_TRUE(Near(got[c], expected[4 * i + c], r.coord ? 2e-5 : 2e-6)) << i << c;
                    for (UINT b = 4 * r.outDim; b < outStride; ++b)
                        ASSERT_EQ(out[1 + outStride * i + b], kFill);
                }
            }
        }
    }
    // The projection arrays, which work on the results in place.
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 1.0f, 1.5f, 0.5f, 50);
    const D3DVIEWPORT9 vp = {0, 0, 640, 480, 0, 1};
    constexpr UINT kStride = 13, kCount = 7;
    std::vector<std::uint8_t> pts(1 + kStride * kCount, kFill), screen(pts.size(), kFill),
        back(pts.size(), kFill);
    std::vector<D3DXVECTOR3> aligned(kCount);
    for (UINT i = 0; i < kCount; ++i) {
        aligned[i] = D3DXVECTOR3(rnd.Uniform(-2, 2), rnd.Uniform(-2, 2), rnd.Uniform(2, 10));
        std::memcpy(&pts[1 + kStride * i], &aligned[i], 12);
    }
    auto at = [&](std::vector<std::uint8_t>& bytes, UINT i) {
        return reinterpret_cast<D3DXVECTOR3*>(&bytes[1 + kStride * i]);
    };
    D3DXVec3ProjectArray(at(screen, 0), kStride, at(pts, 0), kStride, &vp, &proj, nullptr, nullptr, kCount);
    D3DXVec3UnprojectArray(at(back, 0), kStride, at(screen, 0), kStride, &vp, &proj, nullptr, nullptr,
                           kCount);
    for (UINT i = 0; i < kCount; ++i) {
        D3DXVECTOR3 expected, got, returned;
        D3DXVec3Project(&expected, &aligned[i], &vp, &proj, nullptr, nullptr);
        std::memcpy(&got, at(screen, i), 12);
        EXPECT_TRUE(NearAll<3>(got, expected, 1e-5)) << i;
        std::memcpy(&returned, at(back, i), 12);
        EXPECT_TRUE(NearAll<3>(returned, aligned[i], 1e-3)) << i;
        EXPECT_EQ(screen[1 + kStride * i + 12], kFill);
    }
}

// The AMD whole-element routines take the count as signed: a count past INT_MAX (a negative count handed over
// as unsigned) does nothing and returns out.
TEST(ArrayTransforms, AmdWholeElementRoutinesTakeTheCountAsSigned) {
    for (const auto& set : AllSets()) {
        if (set.name != "3dnow" && set.name != "athlon") continue;
        for (const ArrayRoutine& r : kRoutines) {
            if (std::string(r.name) != "Vec3TransformArray" && std::string(r.name) != "Vec4TransformArray" &&
                std::string(r.name) != "PlaneTransformArray")
                continue;
            for (UINT n : {0x80000000u, 0xFFFFFFFFu}) {
                SCOPED_TRACE(std::string(r.name) + " " + set.name + " n=" + std::to_string(n));
                const float in[4] = {1, 2, 3, 4};
                float out[4] = {7, 7, 7, 7};
                D3DXMATRIX m;
                D3DXMatrixIdentity(&m);
                EXPECT_EQ(r.call(set.table, out, 16, in, 16, &m, n), out);
                for (float f : out) EXPECT_EQ(f, 7.0f);
            }
        }
    }
}

TEST(ArrayTransforms, ProjectAndUnprojectArrays) {
    D3DXMATRIX proj, view;
    D3DXVECTOR3 eye(0, 2, -8), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixPerspectiveFovLH(&proj, 1.0f, 1.5f, 0.5f, 50);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    const D3DVIEWPORT9 vp = {0, 0, 640, 480, 0, 1};
    Random rnd(45);
    std::vector<D3DXVECTOR3> pts(17), screen(17), back(17);
    for (auto& p : pts) p = rnd.Vec3();
    D3DXVec3ProjectArray(screen.data(), 12, pts.data(), 12, &vp, &proj, &view, nullptr, 17);
    for (int i = 0; i < 17; ++i) {
        D3DXVECTOR3 one;
        D3DXVec3Project(&one, &pts[i], &vp, &proj, &view, nullptr);
        EXPECT_TRUE(NearAll<3>(screen[i], one, 1e-5)) << i;
    }
    ASSERT_EQ(D3DXVec3UnprojectArray(back.data(), 12, screen.data(), 12, &vp, &proj, &view, nullptr, 17), back.data());
    for (int i = 0; i < 17; ++i) EXPECT_TRUE(NearAll<3>(back[i], pts[i], 1e-3)) << i;
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 0, 1, 1);
    EXPECT_EQ(D3DXVec3UnprojectArray(back.data(), 12, screen.data(), 12, &vp, &flat, nullptr, nullptr, 17), nullptr);
}

}  // namespace
