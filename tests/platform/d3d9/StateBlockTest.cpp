// State blocks on the null backend: each kind of state captured and applied again, recording only what was set,
// the pixel and vertex subsets, the references a block holds, the groups Apply marks, and the calls it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/Bits.h"
#include "D3D9TestSupport.h"
#include "DeviceObject.h"

namespace tarn::d3d9::test {
namespace {

ULONG Refs(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

template <class T>
std::vector<DWORD> Words(const T& value) {
    std::vector<DWORD> words((sizeof(T) + 3) / 4);
    std::memcpy(words.data(), &value, sizeof(T));
    return words;
}

D3DMATRIX Matrix(float seed) {
    D3DMATRIX m{};
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = seed + static_cast<float>(i) * 0.25f;
    return m;
}

D3DLIGHT9 PointLight(float x) {
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {0.25f, 0.5f, 0.75f, 1.0f};
    light.Position = {x, 2.0f, -3.0f};
    light.Range = 40.0f;
    light.Attenuation0 = 1.0f;
    return light;
}

class StateBlockTest : public DeviceTest {
public:
    void SetUp() override {
        DeviceTest::SetUp();
        for (IDirect3DTexture9*& t : textures) {
            ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        }
        for (IDirect3DVertexBuffer9*& b : vertexBuffers) {
            ASSERT_EQ(device->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, &b, nullptr), D3D_OK);
        }
        for (IDirect3DIndexBuffer9*& b : indexBuffers) {
            ASSERT_EQ(device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &b, nullptr), D3D_OK);
        }
        const D3DVERTEXELEMENT9 twoStreams[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                {1, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                                D3DDECL_END()};
        ASSERT_EQ(device->CreateVertexDeclaration(twoStreams, &declaration), D3D_OK);
    }

    void TearDown() override {
        if (device) {
            device->SetTexture(0, nullptr);
            device->SetTexture(3, nullptr);
            device->SetStreamSource(0, nullptr, 0, 0);
            device->SetStreamSource(15, nullptr, 0, 0);
            device->SetIndices(nullptr);
            device->SetFVF(0);
        }
        for (IUnknown* r :
             std::initializer_list<IUnknown*>{textures[0], textures[1], vertexBuffers[0], vertexBuffers[1],
                                              indexBuffers[0], indexBuffers[1], declaration}) {
            if (r) r->Release();
        }
        DeviceTest::TearDown();
    }

    IDirect3DStateBlock9* Create(D3DSTATEBLOCKTYPE type) {
        IDirect3DStateBlock9* block = nullptr;
        EXPECT_EQ(device->CreateStateBlock(type, &block), D3D_OK);
        return block;
    }

    const DeviceState& State() const { return static_cast<Device*>(device)->state(); }

    using DeviceTest::device;
    IDirect3DTexture9* textures[2] = {};
    IDirect3DVertexBuffer9* vertexBuffers[2] = {};
    IDirect3DIndexBuffer9* indexBuffers[2] = {};
    IDirect3DVertexDeclaration9* declaration = nullptr;
};

// One kind of state: `set(v)` gives it the v-th of two values that differ from each other and from the default;
// `read` gives its value as the device reports it.
struct StateKind {
    const char* name;
    std::function<void(StateBlockTest&, int)> set;
    std::function<std::vector<DWORD>(StateBlockTest&)> read;
};

std::vector<StateKind> AllKinds() {
    auto dev = [](StateBlockTest& t) { return t.device; };
    return {
        {"render state",
         [=](StateBlockTest& t, int v) { dev(t)->SetRenderState(D3DRS_FOGCOLOR, v ? 0xff102030u : 0xff302010u); },
         [=](StateBlockTest& t) { return Words(t.State().rs[D3DRS_FOGCOLOR]); }},
        {"texture-stage state",
         [=](StateBlockTest& t, int v) {
             dev(t)->SetTextureStageState(3, D3DTSS_COLOROP, v ? D3DTOP_ADDSIGNED : D3DTOP_MODULATE2X);
         },
         [=](StateBlockTest& t) { return Words(t.State().tss[3][D3DTSS_COLOROP]); }},
        {"sampler state",
         [=](StateBlockTest& t, int v) {
             dev(t)->SetSamplerState(11, D3DSAMP_ADDRESSV, v ? D3DTADDRESS_MIRROR : D3DTADDRESS_CLAMP);
         },
         [=](StateBlockTest& t) { return Words(t.State().samp[11][D3DSAMP_ADDRESSV]); }},
        {"world, view, projection and texture transforms",
         [=](StateBlockTest& t, int v) {
             const D3DMATRIX w = Matrix(v + 1.0f), view = Matrix(v + 5.0f), p = Matrix(v - 3.0f),
                             tex = Matrix(v + 9.0f);
             dev(t)->SetTransform(D3DTS_WORLD, &w);
             dev(t)->SetTransform(D3DTS_VIEW, &view);
             dev(t)->SetTransform(D3DTS_PROJECTION, &p);
             dev(t)->SetTransform(D3DTS_TEXTURE5, &tex);
         },
         [=](StateBlockTest& t) {
             std::vector<DWORD> all;
             for (const D3DMATRIX* m :
                  {&t.State().world, &t.State().view, &t.State().projection, &t.State().texture[5]}) {
                 const auto w = Words(*m);
                 all.insert(all.end(), w.begin(), w.end());
             }
             return all;
         }},
        {"material",
         [=](StateBlockTest& t, int v) {
             D3DMATERIAL9 m{};
             m.Diffuse = {0.1f, 0.2f + v, 0.3f, 0.4f};
             m.Power = 7.0f + v;
             dev(t)->SetMaterial(&m);
         },
         [=](StateBlockTest& t) { return Words(t.State().material); }},
        {"light and its enable flag",
         [=](StateBlockTest& t, int v) {
             const D3DLIGHT9 light = PointLight(v ? -4.0f : 6.0f);
             dev(t)->SetLight(2, &light);
             dev(t)->LightEnable(2, v ? FALSE : TRUE);
         },
         [=](StateBlockTest& t) {
             std::vector<DWORD> w = Words(t.State().lights.at(2).light);
             w.push_back(t.State().lights.at(2).enabled);
             return w;
         }},
        {"viewport",
         [=](StateBlockTest& t, int v) {
             const D3DVIEWPORT9 vp{3u + v, 5, 40, 20u + v, 0.25f, 0.75f};
             dev(t)->SetViewport(&vp);
         },
         [=](StateBlockTest& t) { return Words(t.State().viewport); }},
        {"clip plane",
         [=](StateBlockTest& t, int v) {
             const float plane[4] = {1.0f, -2.0f + v, 3.0f, -4.0f};
             dev(t)->SetClipPlane(4, plane);
         },
         [=](StateBlockTest& t) { return Words(t.State().clipPlanes[4]); }},
        {"scissor rectangle",
         [=](StateBlockTest& t, int v) {
             const RECT r{2 + v, 3, 30, 17 + v};
             dev(t)->SetScissorRect(&r);
         },
         [=](StateBlockTest& t) { return Words(t.State().scissor); }},
        {"texture", [=](StateBlockTest& t, int v) { dev(t)->SetTexture(3, t.textures[v]); },
         [=](StateBlockTest& t) { return Words(t.State().bound[3].object); }},
        // A format and a declaration are one state: setting either replaces the other.
        {"vertex input, a declaration or a format",
         [=](StateBlockTest& t, int v) {
             v ? dev(t)->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE) : dev(t)->SetVertexDeclaration(t.declaration);
         },
         [=](StateBlockTest& t) {
             std::vector<DWORD> w = Words(t.State().declaration);
             w.push_back(t.State().fvf);
             return w;
         }},
        {"stream sources, stream 0 and the last",
         [=](StateBlockTest& t, int v) {
             dev(t)->SetStreamSource(0, t.vertexBuffers[v], 16u * v + 4u, 20u + v * 4u);
             dev(t)->SetStreamSource(15, t.vertexBuffers[1 - v], 8u, 12u + v * 4u);
         },
         [=](StateBlockTest& t) {
             std::vector<DWORD> w;
             for (int s : {0, 15}) {
                 const StreamBinding& stream = t.State().streams[s];
                 w.push_back(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(stream.buffer)));
                 w.push_back(stream.offset);
                 w.push_back(stream.stride);
             }
             return w;
         }},
        {"stream frequency",
         [=](StateBlockTest& t, int v) {
             dev(t)->SetStreamSourceFreq(3, v ? D3DSTREAMSOURCE_INSTANCEDATA | 1u : D3DSTREAMSOURCE_INDEXEDDATA | 4u);
         },
         [=](StateBlockTest& t) { return Words(t.State().streams[3].frequency); }},
        {"world matrix 200 (vertex blending)",
         [=](StateBlockTest& t, int v) {
             const D3DMATRIX m = Matrix(v + 2.0f);
             dev(t)->SetTransform(D3DTS_WORLDMATRIX(200), &m);
         },
         [=](StateBlockTest& t) { return Words(WorldMatrix(t.State(), 200)); }},
        {"indices", [=](StateBlockTest& t, int v) { dev(t)->SetIndices(t.indexBuffers[v]); },
         [=](StateBlockTest& t) { return Words(t.State().indices); }},
    };
}

// A D3DSBT_ALL block gives back every kind of state it captured, and Capture takes the device's values again.
TEST_F(StateBlockTest, AllStatesCaptureAndApplyEveryKind) {
    for (const StateKind& kind : AllKinds()) {
        SCOPED_TRACE(kind.name);
        kind.set(*this, 0);
        const auto first = kind.read(*this);
        IDirect3DStateBlock9* block = Create(D3DSBT_ALL);
        ASSERT_NE(block, nullptr);
        kind.set(*this, 1);
        const auto second = kind.read(*this);
        ASSERT_NE(first, second);
        EXPECT_EQ(block->Apply(), D3D_OK);
        EXPECT_EQ(kind.read(*this), first);
        kind.set(*this, 1);
        EXPECT_EQ(block->Capture(), D3D_OK);
        kind.set(*this, 0);
        block->Apply();
        EXPECT_EQ(kind.read(*this), second);
        block->Release();
    }
}

// Between BeginStateBlock and EndStateBlock every kind of state goes into the block and the device keeps what it
// had; the block holds only what was set, and Capture re-reads only that.
TEST_F(StateBlockTest, RecordingHoldsOnlyWhatWasSet) {
    const std::vector<StateKind> kinds = AllKinds();
    for (const StateKind& recorded : kinds) {
        SCOPED_TRACE(recorded.name);
        for (const StateKind& k : kinds) k.set(*this, 1);
        const auto before = recorded.read(*this);
        ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
        recorded.set(*this, 0);
        EXPECT_EQ(recorded.read(*this), before) << "the device changed while recording";
        IDirect3DStateBlock9* block = nullptr;
        ASSERT_EQ(device->EndStateBlock(&block), D3D_OK);
        ASSERT_NE(block, nullptr);

        std::vector<std::vector<DWORD>> others;
        for (const StateKind& k : kinds) others.push_back(k.read(*this));
        block->Apply();
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            if (&kinds[i] == &recorded) {
                EXPECT_NE(kinds[i].read(*this), others[i]) << "not applied";
            } else {
                EXPECT_EQ(kinds[i].read(*this), others[i]) << kinds[i].name << " was touched";
            }
        }
        // Capture re-reads the recorded state: what the device has now (the second values) comes back later.
        for (const StateKind& k : kinds) k.set(*this, 1);
        block->Capture();
        recorded.set(*this, 0);
        block->Apply();
        EXPECT_EQ(recorded.read(*this), before);
        block->Release();
    }
}

// Pixel and vertex blocks take the documented subsets: a pixel block never touches a vertex state, nor the other
// way round; transforms, material, viewport, textures and streams are in D3DSBT_ALL only.
TEST_F(StateBlockTest, PixelAndVertexBlocksTakeTheirSubsets) {
    struct Case {
        const char* name;
        std::function<void(IDirect3DDevice9*, int)> set;
        std::function<DWORD(const DeviceState&)> read;
        bool pixel, vertex;
    } cases[] = {
        {"ZFUNC", [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_ZFUNC, v ? D3DCMP_GREATER : D3DCMP_NEVER); },
         [](const DeviceState& s) { return s.rs[D3DRS_ZFUNC]; }, true, false},
        {"TEXTUREFACTOR",
         [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_TEXTUREFACTOR, v ? 0x11223344u : 0x44332211u); },
         [](const DeviceState& s) { return s.rs[D3DRS_TEXTUREFACTOR]; }, true, false},
        {"CULLMODE",
         [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_CULLMODE, v ? D3DCULL_CW : D3DCULL_NONE); },
         [](const DeviceState& s) { return s.rs[D3DRS_CULLMODE]; }, false, true},
        {"AMBIENT", [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_AMBIENT, v ? 0x00406080u : 0x00806040u); },
         [](const DeviceState& s) { return s.rs[D3DRS_AMBIENT]; }, false, true},
        {"FOGEND", [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_FOGEND, FloatBits(v ? 20.0f : 30.0f)); },
         [](const DeviceState& s) { return s.rs[D3DRS_FOGEND]; }, true, true},
        {"stage COLOROP",
         [](IDirect3DDevice9* d, int v) { d->SetTextureStageState(1, D3DTSS_COLOROP, v ? D3DTOP_ADD : D3DTOP_LERP); },
         [](const DeviceState& s) { return s.tss[1][D3DTSS_COLOROP]; }, true, false},
        {"stage TEXCOORDINDEX",
         [](IDirect3DDevice9* d, int v) { d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, v ? 3 : 2); },
         [](const DeviceState& s) { return s.tss[1][D3DTSS_TEXCOORDINDEX]; }, true, true},
        {"sampler MINFILTER",
         [](IDirect3DDevice9* d, int v) {
             d->SetSamplerState(6, D3DSAMP_MINFILTER, v ? D3DTEXF_LINEAR : D3DTEXF_ANISOTROPIC);
         },
         [](const DeviceState& s) { return s.samp[6][D3DSAMP_MINFILTER]; }, true, false},
        {"sampler DMAPOFFSET", [](IDirect3DDevice9* d, int v) { d->SetSamplerState(6, D3DSAMP_DMAPOFFSET, v ? 5 : 9); },
         [](const DeviceState& s) { return s.samp[6][D3DSAMP_DMAPOFFSET]; }, false, true},
        // The point, two-sided stencil, sRGB, wrap and bump-mapping states of the pipeline.
        {"POINTSCALE_B",
         [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_POINTSCALE_B, FloatBits(v ? 2.0f : 3.0f)); },
         [](const DeviceState& s) { return s.rs[D3DRS_POINTSCALE_B]; }, false, true},
        {"POINTSPRITEENABLE", [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_POINTSPRITEENABLE, v); },
         [](const DeviceState& s) { return s.rs[D3DRS_POINTSPRITEENABLE]; }, false, true},
        {"CCW_STENCILPASS",
         [](IDirect3DDevice9* d, int v) {
             d->SetRenderState(D3DRS_CCW_STENCILPASS, v ? D3DSTENCILOP_INCR : D3DSTENCILOP_DECR);
         },
         [](const DeviceState& s) { return s.rs[D3DRS_CCW_STENCILPASS]; }, true, false},
        {"SRGBWRITEENABLE", [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_SRGBWRITEENABLE, v); },
         [](const DeviceState& s) { return s.rs[D3DRS_SRGBWRITEENABLE]; }, true, false},
        {"WRAP3", [](IDirect3DDevice9* d, int v) { d->SetRenderState(D3DRS_WRAP3, v ? D3DWRAP_U : D3DWRAP_V); },
         [](const DeviceState& s) { return s.rs[D3DRS_WRAP3]; }, true, false},
        {"stage BUMPENVMAT10",
         [](IDirect3DDevice9* d, int v) {
             d->SetTextureStageState(2, D3DTSS_BUMPENVMAT10, FloatBits(v ? 0.5f : 0.25f));
         },
         [](const DeviceState& s) { return s.tss[2][D3DTSS_BUMPENVMAT10]; }, true, false},
        {"sampler SRGBTEXTURE", [](IDirect3DDevice9* d, int v) { d->SetSamplerState(3, D3DSAMP_SRGBTEXTURE, v); },
         [](const DeviceState& s) { return s.samp[3][D3DSAMP_SRGBTEXTURE]; }, true, false},
        {"sampler MAXANISOTROPY",
         [](IDirect3DDevice9* d, int v) { d->SetSamplerState(3, D3DSAMP_MAXANISOTROPY, v ? 8 : 4); },
         [](const DeviceState& s) { return s.samp[3][D3DSAMP_MAXANISOTROPY]; }, true, false},
        {"FVF", [](IDirect3DDevice9* d, int v) { d->SetFVF(v ? D3DFVF_XYZ : D3DFVF_XYZRHW | D3DFVF_DIFFUSE); },
         [](const DeviceState& s) { return s.fvf; }, false, true},
        {"light enable", [](IDirect3DDevice9* d, int v) { d->LightEnable(1, v ? FALSE : TRUE); },
         [](const DeviceState& s) { return DWORD{s.lights.at(1).enabled}; }, false, true},
        {"world transform",
         [](IDirect3DDevice9* d, int v) {
             const D3DMATRIX m = Matrix(v ? 2.0f : 3.0f);
             d->SetTransform(D3DTS_WORLD, &m);
         },
         [](const DeviceState& s) { return FloatBits(s.world._11); }, false, false},
        {"viewport",
         [](IDirect3DDevice9* d, int v) {
             const D3DVIEWPORT9 vp{v ? 1u : 2u, 0, 8, 8, 0.0f, 1.0f};
             d->SetViewport(&vp);
         },
         [](const DeviceState& s) { return s.viewport.X; }, false, false},
    };
    for (D3DSTATEBLOCKTYPE type : {D3DSBT_PIXELSTATE, D3DSBT_VERTEXSTATE}) {
        const bool pixel = type == D3DSBT_PIXELSTATE;
        SCOPED_TRACE(pixel ? "pixel block" : "vertex block");
        for (const Case& c : cases) c.set(device, 0);
        IDirect3DStateBlock9* block = Create(type);
        ASSERT_NE(block, nullptr);
        for (const Case& c : cases) c.set(device, 1);
        std::vector<DWORD> second;
        for (const Case& c : cases) second.push_back(c.read(State()));
        block->Apply();
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].name);
            const bool held = pixel ? cases[i].pixel : cases[i].vertex;
            if (held) {
                EXPECT_NE(cases[i].read(State()), second[i]) << "not in the block";
            } else {
                EXPECT_EQ(cases[i].read(State()), second[i]) << "touched by the block";
            }
        }
        block->Release();
    }
}

// A block holds a reference on each texture and buffer it captured or recorded, and on its device; the device's
// live-object report counts the block.
TEST_F(StateBlockTest, BlocksHoldReferences) {
    IDirect3DTexture9* t = textures[0];
    IDirect3DVertexBuffer9* vb = vertexBuffers[0];
    IDirect3DIndexBuffer9* ib = indexBuffers[0];
    device->SetTexture(0, t);
    device->SetStreamSource(0, vb, 0, 12);
    device->SetIndices(ib);
    EXPECT_EQ(Refs(t), 2u);
    const ULONG deviceRefs = Refs(device);
    const std::size_t live = LiveResourceCount(device);

    IDirect3DStateBlock9* block = Create(D3DSBT_ALL);
    EXPECT_EQ(Refs(t), 3u);
    EXPECT_EQ(Refs(vb), 3u);
    EXPECT_EQ(Refs(ib), 3u);
    EXPECT_EQ(Refs(device), deviceRefs + 1);
    EXPECT_EQ(LiveResourceCount(device), live + 1);
    EXPECT_NE(DescribeLiveResources(device).find("state block"), std::string::npos);

    IDirect3DDevice9* owner = nullptr;
    EXPECT_EQ(block->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    EXPECT_EQ(Refs(device), deviceRefs + 2);
    owner->Release();

    // Unbound from the device, the texture lives on in the block, and Apply binds it again.
    device->SetTexture(0, nullptr);
    EXPECT_EQ(Refs(t), 2u);
    block->Apply();
    EXPECT_EQ(State().bound[0].object, t);
    EXPECT_EQ(Refs(t), 3u);
    // Capture lets go of what the device no longer holds.
    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    block->Capture();
    EXPECT_EQ(Refs(t), 1u);
    EXPECT_EQ(Refs(vb), 1u);
    EXPECT_EQ(Refs(ib), 3u);

    EXPECT_EQ(block->Release(), 0u);
    EXPECT_EQ(Refs(ib), 2u);
    EXPECT_EQ(Refs(device), deviceRefs);
    EXPECT_EQ(LiveResourceCount(device), live);

    // A recording holds what it was given from the setter on.
    ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
    device->SetTexture(2, textures[1]);
    EXPECT_EQ(Refs(textures[1]), 2u);
    EXPECT_EQ(State().bound[2].object, nullptr);
    ASSERT_EQ(device->EndStateBlock(&block), D3D_OK);
    EXPECT_EQ(Refs(device), deviceRefs + 1);
    EXPECT_EQ(block->Release(), 0u);
    EXPECT_EQ(Refs(textures[1]), 1u);
}

// Apply goes through the device's setters: a state that changes marks its group for the backend, and a block
// whose values the device already has marks nothing (render, stage and sampler states compare before they set).
TEST_F(StateBlockTest, ApplyMarksOnlyTheGroupsThatChange) {
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATEREQUAL);
    IDirect3DStateBlock9* block = Create(D3DSBT_PIXELSTATE);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);  // hands the groups to the backend
    ASSERT_EQ(State().dirty, 0u);
    block->Apply();
    EXPECT_EQ(State().dirty, 0u);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    block->Apply();
    EXPECT_EQ(State().dirty, static_cast<std::uint32_t>(kDirtyDepth));
    EXPECT_EQ(State().rs[D3DRS_ZFUNC], static_cast<DWORD>(D3DCMP_GREATEREQUAL));
    block->Release();
}

TEST_F(StateBlockTest, MisuseIsRefused) {
    IDirect3DStateBlock9* block = reinterpret_cast<IDirect3DStateBlock9*>(1);
    EXPECT_EQ(device->CreateStateBlock(D3DSBT_ALL, nullptr), D3DERR_INVALIDCALL);
    for (int type : {0, 4}) {
        EXPECT_EQ(device->CreateStateBlock(static_cast<D3DSTATEBLOCKTYPE>(type), &block), D3DERR_INVALIDCALL);
        EXPECT_EQ(block, nullptr);
        block = reinterpret_cast<IDirect3DStateBlock9*>(1);
    }
    EXPECT_EQ(device->EndStateBlock(&block), D3DERR_INVALIDCALL) << "not recording";
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
    EXPECT_EQ(device->BeginStateBlock(), D3DERR_INVALIDCALL) << "already recording";
    EXPECT_EQ(device->EndStateBlock(nullptr), D3DERR_INVALIDCALL);
    // Values the setters refuse are refused while recording too, and not recorded.
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(D3DRS_MAX_VALUE), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(kStages, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(100), &State().world), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->EndStateBlock(&block), D3D_OK);
    ASSERT_NE(block, nullptr);
    IDirect3DStateBlock9* again = nullptr;
    EXPECT_EQ(device->EndStateBlock(&again), D3DERR_INVALIDCALL) << "the recording ended";

    IUnknown* unknown = nullptr;
    EXPECT_EQ(block->QueryInterface(IID_IDirect3DStateBlock9, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, block);
    unknown->Release();
    EXPECT_EQ(block->QueryInterface(IID_IDirect3DDevice9, reinterpret_cast<void**>(&unknown)), E_NOINTERFACE);
    EXPECT_EQ(block->GetDevice(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(block->Release(), 0u);
}

}  // namespace
}  // namespace tarn::d3d9::test
