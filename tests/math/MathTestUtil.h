// Shared helpers of the math tests: seeded random values and float comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "math/D3DXMath.h"
#include "platform/Bits.h"

namespace mathtest {

using tarn::BitsFloat;
using tarn::FloatBits;

struct Random {
    std::mt19937 engine;
    explicit Random(unsigned seed) : engine(seed) {}
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine); }
    D3DXVECTOR2 Vec2() { return {Uniform(-4, 4), Uniform(-4, 4)}; }
    D3DXVECTOR3 Vec3() { return {Uniform(-4, 4), Uniform(-4, 4), Uniform(-4, 4)}; }
    D3DXVECTOR4 Vec4() { return {Uniform(-4, 4), Uniform(-4, 4), Uniform(-4, 4), Uniform(-4, 4)}; }
    D3DXQUATERNION UnitQuaternion() {
        double q[4], n = 0;
        do {
            n = 0;
            for (double& c : q) c = Uniform(-1, 1), n += c * c;
        } while (n < 0.01);
        n = std::sqrt(n);
        return {float(q[0] / n), float(q[1] / n), float(q[2] / n), float(q[3] / n)};
    }
    D3DXMATRIX Matrix() {
        D3DXMATRIX m;
        for (auto& row : m.m)
            for (float& v : row) v = Uniform(-2, 2);
        return m;
    }
    // A rigid transform with a scale: well conditioned, last column (0, 0, 0, 1).
    D3DXMATRIX Affine() {
        D3DXMATRIX r, s, t;
        D3DXQUATERNION q = UnitQuaternion();
        D3DXMatrixRotationQuaternion(&r, &q);
        D3DXMatrixScaling(&s, Uniform(0.5f, 2), Uniform(0.5f, 2), Uniform(0.5f, 2));
        D3DXMatrixTranslation(&t, Uniform(-5, 5), Uniform(-5, 5), Uniform(-5, 5));
        return s * r * t;
    }
};

// |a - b| <= tol * max(1, |b|)
inline ::testing::AssertionResult Near(double a, double b, double tol) {
    if (std::fabs(a - b) <= tol * std::fmax(1.0, std::fabs(b))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " vs " << b << " (tolerance " << tol << ")";
}

template <int N>
::testing::AssertionResult NearAll(const float* a, const float* b, double tol) {
    for (int i = 0; i < N; ++i) {
        auto r = Near(a[i], b[i], tol);
        if (!r) return r << " at component " << i;
    }
    return ::testing::AssertionSuccess();
}

template <int N>
::testing::AssertionResult SameBits(const float* a, const float* b) {
    for (int i = 0; i < N; ++i)
        if (FloatBits(a[i]) != FloatBits(b[i]))
            return ::testing::AssertionFailure() << a[i] << " vs " << b[i] << " at component " << i;
    return ::testing::AssertionSuccess();
}

}  // namespace mathtest

#include <string>
#include <vector>

#include "RoutineTable.h"

namespace mathtest {

using namespace tarn::math;

struct NamedSet {
    std::string name;
    MathRoutineTable table;
};

// Every routine set as the selection would assemble it, starting from the reference set.
inline std::vector<NamedSet> AllSets() {
    std::vector<NamedSet> sets;
    MathRoutineTable t = MathReferenceSet();
    sets.push_back({"reference", t});
    InstallBaselineSet(t);
    sets.push_back({"baseline", t});
    if (MathHasSimdSets()) {
        MathRoutineTable sse = t, sse2 = t, amd = t, athlon = t;
        InstallSseSet(sse);
        InstallSse2Set(sse2);
        Install3DNowSet(amd);
        InstallAmdSseArraySet(amd);
        Install3DNowSet(athlon);
        InstallAthlonSet(athlon);
        InstallAmdSseArraySet(athlon);
        sets.push_back({"sse", sse});
        sets.push_back({"sse2", sse2});
        sets.push_back({"3dnow", amd});
        sets.push_back({"athlon", athlon});
    }
    return sets;
}

}  // namespace mathtest
