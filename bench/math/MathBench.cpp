// Speed of the routine sets (reference, baseline, SSE2, AMD and whatever the table selects here) on the routines
// the program leans on, with plain scalar loops written here as the yardstick for the half conversions.
// Run: tarn_math_bench --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "RoutineTable.h"

using namespace tarn::math;

namespace {

struct Set {
    std::string name;
    MathRoutineTable table;
};

std::vector<Set> Sets() {
    std::vector<Set> sets;
    MathRoutineTable t = MathReferenceSet();
    sets.push_back({"reference", t});
    InstallBaselineSet(t);
    sets.push_back({"baseline", t});
    if (MathHasSimdSets()) {
        MathRoutineTable sse2 = t, amd = t;
        InstallSse2Set(sse2);
        Install3DNowSet(amd);
        InstallAmdSseArraySet(amd);
        sets.push_back({"sse2", sse2});
        sets.push_back({"amd", amd});
    }
    InitMathRoutines(TRUE);
    sets.push_back({"selected", g_mathRoutines});
    return sets;
}

std::mt19937 g_rng(99);
float Rand(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(g_rng); }

D3DXMATRIX RandomMatrix() {
    D3DXMATRIX m;
    for (auto& row : m.m)
        for (float& v : row) v = Rand(-2, 2);
    m._14 = m._24 = m._34 = 0;
    m._44 = 1;
    return m;
}

void MatrixMultiply(benchmark::State& state, MathRoutineTable t) {
    D3DXMATRIX a = RandomMatrix(), b = RandomMatrix(), out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.D3DXMatrixMultiply(&out, &a, &b));
        benchmark::ClobberMemory();
    }
}

void MatrixInverse(benchmark::State& state, MathRoutineTable t) {
    D3DXMATRIX a = RandomMatrix(), out;
    float det;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.D3DXMatrixInverse(&out, &det, &a));
        benchmark::ClobberMemory();
    }
}

void Vec3Normalize(benchmark::State& state, MathRoutineTable t) {
    D3DXVECTOR3 v[64], out;
    for (auto& x : v) x = D3DXVECTOR3(Rand(-5, 5), Rand(-5, 5), Rand(-5, 5));
    unsigned i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.D3DXVec3Normalize(&out, &v[i++ & 63]));
        benchmark::ClobberMemory();
    }
}

void Vec3TransformCoordArray(benchmark::State& state, MathRoutineTable t) {
    const UINT n = static_cast<UINT>(state.range(0));
    std::vector<D3DXVECTOR3> in(n), out(n);
    for (auto& x : in) x = D3DXVECTOR3(Rand(-5, 5), Rand(-5, 5), Rand(-5, 5));
    D3DXMATRIX m = RandomMatrix();
    m._14 = 0.01f;  // a projective matrix: every element is divided
    m._44 = 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.D3DXVec3TransformCoordArray(out.data(), 12, in.data(), 12, &m, n));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

constexpr UINT kHalfCount = 1 << 20;

std::vector<float> HalfInputs() {
    std::vector<float> in(kHalfCount);
    for (auto& x : in) x = Rand(-70000, 70000) * (g_rng() % 4 == 0 ? 1e-6f : 1.0f);  // normals and denormals
    return in;
}

void Float32To16(benchmark::State& state, MathRoutineTable t) {
    const auto in = HalfInputs();
    std::vector<D3DXFLOAT16> out(kHalfCount);
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.D3DXFloat32To16Array(out.data(), in.data(), kHalfCount));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kHalfCount);
}

void Float16To32(benchmark::State& state, MathRoutineTable t) {
    std::vector<D3DXFLOAT16> in(kHalfCount);
    for (UINT i = 0; i < kHalfCount; ++i) in[i].value = static_cast<WORD>(g_rng());
    std::vector<float> out(kHalfCount);
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.D3DXFloat16To32Array(out.data(), in.data(), kHalfCount));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kHalfCount);
}

// ---- Plain scalar loops of the same formulas, kept scalar so they measure what a straightforward port costs ----

#define TARN_SCALAR __attribute__((noinline, optimize("no-tree-vectorize")))

TARN_SCALAR void ScalarFloat32To16(std::uint16_t* out, const float* in, UINT n) {
    for (UINT i = 0; i < n; ++i) {
        std::uint32_t b;
        std::memcpy(&b, &in[i], 4);
        const std::uint32_t a = b & 0x7FFFFFFFu, s = (b >> 16) & 0x8000u;
        std::uint32_t r;
        if (a > 0x47FFEFFFu) {
            out[i] = static_cast<std::uint16_t>(s | 0x7FFFu);
            continue;
        }
        if (a > 0x387FFFFFu) {
            r = a - 0x38000000u + 0xFFFu + ((a >> 13) & 1u);
        } else {
            const std::uint32_t k = 113u - (a >> 23);
            r = k >= 32u ? 0u : ((a & 0x7FFFFFu) | 0x800000u) >> k;
            r = r + 0xFFFu + ((r >> 13) & 1u);
        }
        out[i] = static_cast<std::uint16_t>((r >> 13) | s);
    }
}

TARN_SCALAR void ScalarFloat16To32(float* out, const std::uint16_t* in, UINT n) {
    for (UINT i = 0; i < n; ++i) {
        const std::uint32_t h = in[i], s = (h >> 15) & 1u, f = h & 0x3FFu, e = (h >> 10) & 0x1Fu;
        std::uint32_t bits;
        if (e != 0) {
            bits = (s << 31) | ((e + 112u) << 23) | (f << 13);
        } else if (f != 0) {
            std::uint32_t c = 0, m = f;
            while (!(m & 0x400u)) m <<= 1, ++c;
            bits = (s << 31) | ((113u - c) << 23) | ((m & 0x3FFu) << 13);
        } else {
            bits = s << 31;
        }
        std::memcpy(&out[i], &bits, 4);
    }
}

TARN_SCALAR void ScalarMultiply(D3DXMATRIX* o, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            o->m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                         a->m[i][3] * b->m[3][j];
}

TARN_SCALAR void ScalarTransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* in, const D3DXMATRIX* m, UINT n) {
    for (UINT i = 0; i < n; ++i) {
        const D3DXVECTOR3 v = in[i];
        const float x = v.x * m->_11 + v.y * m->_21 + v.z * m->_31 + m->_41;
        const float y = v.x * m->_12 + v.y * m->_22 + v.z * m->_32 + m->_42;
        const float z = v.x * m->_13 + v.y * m->_23 + v.z * m->_33 + m->_43;
        const float w = v.x * m->_14 + v.y * m->_24 + v.z * m->_34 + m->_44;
        const float r = 1.0f / w;
        out[i] = D3DXVECTOR3(x * r, y * r, z * r);
    }
}

void ScalarLoopFloat32To16(benchmark::State& state) {
    const auto in = HalfInputs();
    std::vector<std::uint16_t> out(kHalfCount);
    for (auto _ : state) {
        ScalarFloat32To16(out.data(), in.data(), kHalfCount);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kHalfCount);
}

void ScalarLoopFloat16To32(benchmark::State& state) {
    std::vector<std::uint16_t> in(kHalfCount);
    for (auto& h : in) h = static_cast<std::uint16_t>(g_rng());
    std::vector<float> out(kHalfCount);
    for (auto _ : state) {
        ScalarFloat16To32(out.data(), in.data(), kHalfCount);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kHalfCount);
}

void ScalarLoopMatrixMultiply(benchmark::State& state) {
    D3DXMATRIX a = RandomMatrix(), b = RandomMatrix(), out;
    for (auto _ : state) {
        ScalarMultiply(&out, &a, &b);
        benchmark::ClobberMemory();
    }
}

void ScalarLoopTransformCoord(benchmark::State& state) {
    const UINT n = static_cast<UINT>(state.range(0));
    std::vector<D3DXVECTOR3> in(n), out(n);
    for (auto& x : in) x = D3DXVECTOR3(Rand(-5, 5), Rand(-5, 5), Rand(-5, 5));
    D3DXMATRIX m = RandomMatrix();
    m._14 = 0.01f;
    m._44 = 2;
    for (auto _ : state) {
        ScalarTransformCoord(out.data(), in.data(), &m, n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

int main(int argc, char** argv) {
    for (const Set& s : Sets()) {
        benchmark::RegisterBenchmark(("MatrixMultiply/" + s.name).c_str(), MatrixMultiply, s.table);
        benchmark::RegisterBenchmark(("MatrixInverse/" + s.name).c_str(), MatrixInverse, s.table);
        benchmark::RegisterBenchmark(("Vec3Normalize/" + s.name).c_str(), Vec3Normalize, s.table);
        benchmark::RegisterBenchmark(("Vec3TransformCoordArray/" + s.name).c_str(), Vec3TransformCoordArray, s.table)
            ->Arg(16)
            ->Arg(65536);
        benchmark::RegisterBenchmark(("Float32To16Array/" + s.name).c_str(), Float32To16, s.table);
        benchmark::RegisterBenchmark(("Float16To32Array/" + s.name).c_str(), Float16To32, s.table);
    }
    benchmark::RegisterBenchmark("MatrixMultiply/scalar_loop", ScalarLoopMatrixMultiply);
    benchmark::RegisterBenchmark("Vec3TransformCoordArray/scalar_loop", ScalarLoopTransformCoord)->Arg(16)->Arg(65536);
    benchmark::RegisterBenchmark("Float32To16Array/scalar_loop", ScalarLoopFloat32To16);
    benchmark::RegisterBenchmark("Float16To32Array/scalar_loop", ScalarLoopFloat16To32);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
