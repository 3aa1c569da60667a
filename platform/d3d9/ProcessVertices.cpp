// ProcessVertices: the fixed-function vertex pipeline run on the processor over the current streams, into a
// vertex buffer of screen-space vertices. The same steps and formulas as the generated programs
// (FixedFunction.cpp): world matrices blended by weight (indexed or not), the view and projection, the viewport
// (pixel centres on integers), and per-vertex lighting in camera space with the material sources; what the
// processing does not compute (texture coordinates, normals, point sizes, the colours when lighting is off) is
// copied from the source unless D3DPV_DONOTCOPYDATA says not to.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

#include "DeviceObject.h"
#include "FixedFunction.h"
#include "VertexLayout.h"

namespace tarn::d3d9 {
namespace {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(float s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Normalized(Vec3 a) {
    const float length = std::sqrt(Dot(a, a));
    return length > 0 ? (1.0f / length) * a : a;
}
Vec3 Mul(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
Vec3 Rgb(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b}; }

// Row vector times a row-major matrix: the point (w = 1) or the direction (w = 0).
Vec3 TransformPoint(Vec3 p, const D3DMATRIX& m) {
    return {p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41, p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
            p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43};
}
Vec3 TransformDirection(Vec3 d, const D3DMATRIX& m) {
    return {d.x * m._11 + d.y * m._21 + d.z * m._31, d.x * m._12 + d.y * m._22 + d.z * m._32,
            d.x * m._13 + d.y * m._23 + d.z * m._33};
}

D3DMATRIX Product(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

// A normal through the inverse transpose of a matrix's upper 3 x 3 (row vectors): n times the cofactor matrix
// over the determinant.
Vec3 TransformNormal(Vec3 n, const D3DMATRIX& m) {
    const Vec3 r0{m._11, m._12, m._13}, r1{m._21, m._22, m._23}, r2{m._31, m._32, m._33};
    auto cross = [](Vec3 a, Vec3 b) {
        return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    };
    const Vec3 c0 = cross(r1, r2), c1 = cross(r2, r0), c2 = cross(r0, r1);
    const float det = Dot(r0, c0);
    if (std::fabs(det) < 1e-20f) return Vec3{};
    return (1.0f / det) * (n.x * c0 + n.y * c1 + n.z * c2);
}

struct Color {
    Vec3 rgb;
    float a = 1;
};

Color FromElement(const float v[4]) { return {{v[0], v[1], v[2]}, v[3]}; }

float Saturate(float v) { return std::clamp(v, 0.0f, 1.0f); }

// The source vertex's inputs, as the pipeline reads them.
struct SourceVertex {
    std::array<std::array<float, 4>, kVertexInputs> inputs{};
    std::array<bool, kVertexInputs> has{};
};

}  // namespace

HRESULT Device::ProcessVertices(UINT sourceStart, UINT destinationIndex, UINT vertexCount,
                                IDirect3DVertexBuffer9* destination, IDirect3DVertexDeclaration9* declaration,
                                DWORD flags) {
    const DeviceGuard guard(lock_);
    auto* dest = destination ? dynamic_cast<VertexBuffer*>(destination) : nullptr;
    if (!dest || dest->device() != this || (flags & ~static_cast<DWORD>(D3DPV_DONOTCOPYDATA))) {
        return D3DERR_INVALIDCALL;
    }
    // The output: the declaration given (of this device, in stream 0), else the destination's format.
    std::vector<D3DVERTEXELEMENT9> output;
    if (declaration) {
        IDirect3DDevice9* owner = nullptr;
        if (FAILED(declaration->GetDevice(&owner))) return D3DERR_INVALIDCALL;
        owner->Release();
        if (owner != this) return D3DERR_INVALIDCALL;
        UINT count = 0;
        declaration->GetDeclaration(nullptr, &count);
        output.resize(count);
        declaration->GetDeclaration(output.data(), &count);
    } else if (!dest->fvf() || !ElementsOfFvf(dest->fvf(), &output)) {
        return D3DERR_INVALIDCALL;
    }
    const UINT outputCount = static_cast<UINT>(output.size() - 1);
    const VertexLayout out = LayoutOfElements(output.data(), outputCount);
    if (!out.transformed || out.streams != 1u) return D3DERR_INVALIDCALL;
    const UINT destStride = declaration ? out.extent[0] : FvfStride(dest->fvf());
    // The source: the current streams, untransformed vertices.
    const VertexLayout& layout = state_.layout;
    if (!layout.Has(kInputPosition) || layout.transformed) return D3DERR_INVALIDCALL;
    for (std::uint32_t streams = layout.streams; streams; streams &= streams - 1) {
        const auto s = static_cast<std::size_t>(std::countr_zero(streams));
        const StreamBinding& stream = state_.streams[s];
        if (!stream.buffer) return D3DERR_INVALIDCALL;
        if (vertexCount && stream.offset + (static_cast<std::uint64_t>(sourceStart) + vertexCount - 1) * stream.stride +
                                   layout.extent[s] >
                               stream.buffer->length()) {
            return D3DERR_INVALIDCALL;
        }
    }
    if ((static_cast<std::uint64_t>(destinationIndex) + vertexCount) * destStride > dest->length()) {
        return D3DERR_INVALIDCALL;
    }
    if (vertexCount == 0) return D3D_OK;

    // The state, as the generated program would have it.
    std::array<int, kMaxActiveLights> lights{};
    int lightCount = 0;
    const ProgramKey key = MakeProgramKey(state_, &lights, &lightCount);
    const auto& rs = state_.rs;
    std::vector<D3DMATRIX> worldViews(key.indexedBlend ? kBlendPalette : std::max<int>(key.blendMatrices, 1));
    for (std::size_t i = 0; i < worldViews.size(); ++i) worldViews[i] = Product(WorldMatrix(state_, i), state_.view);
    struct CameraLight {
        const D3DLIGHT9* light;
        Vec3 position, direction;
    };
    std::vector<CameraLight> cameraLights;
    for (int i = 0; i < lightCount; ++i) {
        const D3DLIGHT9& l = state_.lights[static_cast<std::size_t>(lights[static_cast<std::size_t>(i)])].light;
        cameraLights.push_back({&l, TransformPoint({l.Position.x, l.Position.y, l.Position.z}, state_.view),
                                TransformDirection({l.Direction.x, l.Direction.y, l.Direction.z}, state_.view)});
    }
    const D3DVIEWPORT9& vp = state_.viewport;
    const D3DMATERIAL9& material = state_.material;
    const bool copy = !(flags & D3DPV_DONOTCOPYDATA);

    void* locked = nullptr;
    if (FAILED(dest->Lock(destinationIndex * destStride, vertexCount * destStride, &locked, 0)))
        return D3DERR_INVALIDCALL;
    auto* target = static_cast<std::uint8_t*>(locked);
    for (UINT k = 0; k < vertexCount; ++k) {
        SourceVertex v;
        for (int i = 0; i < kVertexInputs; ++i) {
            const InputElement& e = layout.inputs[static_cast<std::size_t>(i)];
            if (e.type == D3DDECLTYPE_UNUSED) continue;
            const StreamBinding& stream = state_.streams[e.stream];
            const std::size_t at = stream.offset + static_cast<std::size_t>(sourceStart + k) * stream.stride + e.offset;
            DecodeElement(e.type, stream.buffer->bytes() + at, v.inputs[static_cast<std::size_t>(i)].data());
            v.has[static_cast<std::size_t>(i)] = true;
        }
        const auto& in = v.inputs;
        const Vec3 position{in[kInputPosition][0], in[kInputPosition][1], in[kInputPosition][2]};
        const Vec3 normalIn{in[kInputNormal][0], in[kInputNormal][1], in[kInputNormal][2]};
        // Blending: matrix i (or the palette entry the vertex's index i names) at weight i, the last weight 1
        // less the others.
        Vec3 P, N;
        const int matrices = std::max<int>(key.blendMatrices, 1);
        float weightSum = 0;
        for (int i = 0; i < matrices; ++i) {
            float weight = 1.0f;
            if (key.blendMatrices > 1) weight = i + 1 < matrices ? in[kInputBlendWeight][i] : 1.0f - weightSum;
            weightSum += weight;
            std::size_t index = static_cast<std::size_t>(i);
            if (key.indexedBlend) {
                const float scale = key.inputTypes[kInputBlendIndices] == D3DDECLTYPE_D3DCOLOR ? 255.0f : 1.0f;
                index = static_cast<std::size_t>(
                    std::clamp(in[kInputBlendIndices][i] * scale + 0.5f, 0.0f, static_cast<float>(kBlendPalette - 1)));
            }
            const D3DMATRIX& m = key.blendMatrices ? worldViews[index] : worldViews[0];
            P = P + weight * TransformPoint(position, m);
            N = N + weight * TransformNormal(normalIn, m);
        }
        if (key.normalize) N = Normalized(N);
        // Projection and viewport: screen x and y with pixel centres on integers, z in MinZ..MaxZ, 1 / w.
        const D3DMATRIX& proj = state_.projection;
        const float cx = P.x * proj._11 + P.y * proj._21 + P.z * proj._31 + proj._41;
        const float cy = P.x * proj._12 + P.y * proj._22 + P.z * proj._32 + proj._42;
        const float cz = P.x * proj._13 + P.y * proj._23 + P.z * proj._33 + proj._43;
        const float cw = P.x * proj._14 + P.y * proj._24 + P.z * proj._34 + proj._44;
        const float rhw = cw != 0 ? 1.0f / cw : 0.0f;
        const float screen[4] = {static_cast<float>(vp.X) + (1.0f + cx * rhw) * 0.5f * static_cast<float>(vp.Width),
                                 static_cast<float>(vp.Y) + (1.0f - cy * rhw) * 0.5f * static_cast<float>(vp.Height),
                                 vp.MinZ + cz * rhw * (vp.MaxZ - vp.MinZ), rhw};
        // Colours: lit, or the vertex's own (white and black when it has none).
        const float white[4] = {1, 1, 1, 1}, black[4] = {0, 0, 0, 0};
        Color diffuse = FromElement(v.has[kInputDiffuse] ? in[kInputDiffuse].data() : white);
        Color specular = FromElement(v.has[kInputSpecular] ? in[kInputSpecular].data() : black);
        if (key.lighting) {
            auto source = [&](std::size_t which, const D3DCOLORVALUE& m) {
                const DWORD src = key.materialSource[which];
                if (key.colorVertex && src == D3DMCS_COLOR1 && v.has[kInputDiffuse]) return diffuse;
                if (key.colorVertex && src == D3DMCS_COLOR2 && v.has[kInputSpecular]) return specular;
                return Color{Rgb(m), m.a};
            };
            const Color mDiffuse = source(0, material.Diffuse), mSpecular = source(1, material.Specular);
            const Color mAmbient = source(2, material.Ambient), mEmissive = source(3, material.Emissive);
            const DWORD a = rs[D3DRS_AMBIENT];
            Vec3 ambient{((a >> 16) & 0xff) / 255.0f, ((a >> 8) & 0xff) / 255.0f, (a & 0xff) / 255.0f}, lit, shine;
            const Vec3 toEye = key.localViewer ? -1.0f * Normalized(P) : Vec3{0, 0, -1};
            for (const CameraLight& cl : cameraLights) {
                const D3DLIGHT9& l = *cl.light;
                Vec3 L;
                float k = 1.0f;
                if (l.Type == D3DLIGHT_DIRECTIONAL) {
                    L = -1.0f * Normalized(cl.direction);
                } else {
                    const Vec3 toLight = cl.position - P;
                    const float d = std::sqrt(Dot(toLight, toLight));
                    L = d > 0 ? (1.0f / d) * toLight : Vec3{0, 0, 1};
                    const float denominator = l.Attenuation0 + l.Attenuation1 * d + l.Attenuation2 * d * d;
                    k = d > l.Range ? 0.0f : (denominator > 0 ? 1.0f / denominator : 1.0f);
                    if (l.Type == D3DLIGHT_SPOT) {
                        const float rho = Dot(-1.0f * L, Normalized(cl.direction));
                        const float inner = std::cos(l.Theta * 0.5f), outer = std::cos(l.Phi * 0.5f);
                        const float factor =
                            rho > inner
                                ? 1.0f
                                : (rho <= outer ? 0.0f
                                                : std::pow(std::clamp((rho - outer) / std::max(inner - outer, 1e-6f),
                                                                      0.0f, 1.0f),
                                                           l.Falloff));
                        k *= factor;
                    }
                }
                ambient = ambient + k * Rgb(l.Ambient);
                const float NdotL = std::max(Dot(N, L), 0.0f);
                lit = lit + (NdotL * k) * Rgb(l.Diffuse);
                if (key.specular && NdotL > 0) {
                    const float NdotH = std::max(Dot(N, Normalized(toEye + L)), 0.0f);
                    shine = shine + ((NdotH > 0 ? std::pow(NdotH, material.Power) : 0.0f) * k) * Rgb(l.Specular);
                }
            }
            const Vec3 colour = mEmissive.rgb + Mul(mAmbient.rgb, ambient) + Mul(mDiffuse.rgb, lit);
            diffuse = {{Saturate(colour.x), Saturate(colour.y), Saturate(colour.z)}, Saturate(mDiffuse.a)};
            const Vec3 s = Mul(mSpecular.rgb, shine);
            specular = {{Saturate(s.x), Saturate(s.y), Saturate(s.z)}, Saturate(mSpecular.a)};
        }
        std::uint8_t* vertex = target + static_cast<std::size_t>(k) * destStride;
        for (UINT e = 0; e < outputCount; ++e) {
            const D3DVERTEXELEMENT9& element = output[e];
            std::uint8_t* at = vertex + element.Offset;
            const bool colour = element.Usage == D3DDECLUSAGE_COLOR && element.UsageIndex < 2;
            if (element.Usage == D3DDECLUSAGE_POSITIONT) {
                EncodeElement(element.Type, screen, at);
            } else if (colour && (key.lighting || copy)) {
                const Color& c = element.UsageIndex == 0 ? diffuse : specular;
                const float values[4] = {c.rgb.x, c.rgb.y, c.rgb.z, c.a};
                EncodeElement(element.Type, values, at);
            } else if (copy && !colour) {
                // The source's element of the same usage and index, when the pipeline reads one.
                D3DVERTEXELEMENT9 probe = element;
                probe.Stream = 0;
                const VertexLayout single = LayoutOfElements(&probe, 1);
                for (int i = 0; i < kVertexInputs; ++i) {
                    if (single.Has(static_cast<VertexInput>(i)) && v.has[static_cast<std::size_t>(i)]) {
                        EncodeElement(element.Type, in[static_cast<std::size_t>(i)].data(), at);
                    }
                }
            }
        }
    }
    dest->Unlock();
    return D3D_OK;
}

}  // namespace tarn::d3d9
