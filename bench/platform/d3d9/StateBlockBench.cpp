// Applying a state block of N states against setting the same N states one by one, on a null-backend device (the
// device's side only: checks, compare-and-set, dirty groups), both in one loop so that a busy machine slows both
// alike. Every pass switches between two sets of values, so that each state really changes. Reports the time per
// pass of each and their ratio (apply / one by one).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"

namespace {

// One state to set: a render state, a texture-stage state or a sampler state, with its two values.
struct Op {
    enum Kind { Render, Stage, Sampler } kind;
    DWORD unit, state;
    DWORD values[2];
};

// N states spread over render, stage and sampler states, none repeated (N up to 3 x 32).
std::vector<Op> MakeOps(int n) {
    constexpr D3DRENDERSTATETYPE kRender[] = {
        D3DRS_ZFUNC,
        D3DRS_ALPHAREF,
        D3DRS_ALPHAFUNC,
        D3DRS_SRCBLEND,
        D3DRS_DESTBLEND,
        D3DRS_CULLMODE,
        D3DRS_FOGCOLOR,
        D3DRS_FOGSTART,
        D3DRS_FOGEND,
        D3DRS_FOGDENSITY,
        D3DRS_STENCILREF,
        D3DRS_STENCILMASK,
        D3DRS_TEXTUREFACTOR,
        D3DRS_AMBIENT,
        D3DRS_BLENDFACTOR,
        D3DRS_COLORWRITEENABLE,
        D3DRS_WRAP0,
        D3DRS_WRAP1,
        D3DRS_WRAP2,
        D3DRS_WRAP3,
        D3DRS_POINTSIZE,
        D3DRS_POINTSCALE_A,
        D3DRS_POINTSCALE_B,
        D3DRS_POINTSCALE_C,
        D3DRS_DEPTHBIAS,
        D3DRS_SLOPESCALEDEPTHBIAS,
        D3DRS_STENCILWRITEMASK,
        D3DRS_TWEENFACTOR,
        D3DRS_BLENDOP,
        D3DRS_SHADEMODE,
        D3DRS_FILLMODE,
        D3DRS_STENCILFUNC,
    };
    std::vector<Op> ops;
    for (int i = 0; i < n; ++i) {
        const DWORD k = static_cast<DWORD>(i / 3);
        const DWORD a = 1 + k, b = 2 + k;
        switch (i % 3) {
        case 0:
            ops.push_back({Op::Render, 0, static_cast<DWORD>(kRender[k % 32]), {a, b}});
            break;
        case 1:
            ops.push_back({Op::Stage, k % 8, static_cast<DWORD>(D3DTSS_COLORARG1) + k / 8 * 3, {a, b}});
            break;
        default:
            ops.push_back({Op::Sampler,
                           k % 16,
                           static_cast<DWORD>(k / 16 == 0 ? D3DSAMP_BORDERCOLOR : D3DSAMP_MAXANISOTROPY),
                           {a, b}});
        }
    }
    return ops;
}

void SetAll(IDirect3DDevice9* device, const std::vector<Op>& ops, int which) {
    for (const Op& op : ops) {
        switch (op.kind) {
        case Op::Render:
            device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(op.state), op.values[which]);
            break;
        case Op::Stage:
            device->SetTextureStageState(op.unit, static_cast<D3DTEXTURESTAGESTATETYPE>(op.state), op.values[which]);
            break;
        case Op::Sampler:
            device->SetSamplerState(op.unit, static_cast<D3DSAMPLERSTATETYPE>(op.state), op.values[which]);
            break;
        }
    }
}

void BM_StateBlockAgainstSetters(benchmark::State& state) {
    IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(64, 64);
    if (!device) {
        state.SkipWithError("no device");
        return;
    }
    const std::vector<Op> ops = MakeOps(static_cast<int>(state.range(0)));
    IDirect3DStateBlock9* blocks[2] = {};
    for (int which = 0; which < 2; ++which) {
        device->BeginStateBlock();
        SetAll(device, ops, which);
        device->EndStateBlock(&blocks[which]);
    }
    double applySeconds = 0, setSeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int pass = 0; pass < 50; ++pass) blocks[pass & 1]->Apply();
        const auto t1 = std::chrono::steady_clock::now();
        for (int pass = 0; pass < 50; ++pass) SetAll(device, ops, pass & 1);
        const auto t2 = std::chrono::steady_clock::now();
        applySeconds += std::chrono::duration<double>(t1 - t0).count();
        setSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double passes = static_cast<double>(state.iterations()) * 50;
    state.counters["apply_ns"] = applySeconds / passes * 1e9;
    state.counters["one_by_one_ns"] = setSeconds / passes * 1e9;
    state.counters["ratio"] = applySeconds / setSeconds;
    for (IDirect3DStateBlock9* block : blocks) block->Release();
    device->Release();
}
BENCHMARK(BM_StateBlockAgainstSetters)->Arg(8)->Arg(32)->Arg(96)->UseRealTime()->MinTime(1.0);

}  // namespace
