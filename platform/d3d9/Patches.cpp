// Rectangle and triangle patches (DrawRectPatch, DrawTriPatch, DeletePatch), tessellated on the processor. The
// control points are read from the current streams through the current vertex input; every element the input
// feeds (position, normal, colours, texture coordinates, weights) is evaluated over the patch with the patch's
// basis, and a NORMAL element of method CROSSUV is replaced by the normal of the surface, from its partial
// derivatives. The triangles go to the backend as one user-pointer draw of the tessellated vertices, so that
// lighting, textures, fog and the rest of the fixed-function state apply to them as to any draw. A non-zero
// handle keeps the patch's description, and its last tessellation, for redraws that give no description.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "DeviceObject.h"
#include "Renderer.h"
#include "VertexLayout.h"

namespace tarn::d3d9 {
namespace {

// Segments per edge are clamped to this, which keeps a patch within 257 x 257 vertices.
constexpr float kMaxSegments = 256.0f;
constexpr int kMaxOrder = 6;  // control points per span and direction: quintic
// The channels read from each control point: the pipeline's inputs, then the generated normal's source data.
constexpr int kNormalSource = kVertexInputs;
constexpr int kChannels = kVertexInputs + 1;

using Value = std::array<float, 4>;

struct PatchDescription {
    bool triangle = false;
    D3DRECTPATCH_INFO rect{};
    D3DTRIPATCH_INFO tri{};
};

// The patch's vertices, ready to draw: `layout` reads them from stream 0, `stride` bytes apart.
struct Tessellation {
    VertexLayout layout;
    UINT stride = 0;
    bool generatedNormal = false;  // the normal is the surface's, not an input's
    std::vector<std::uint8_t> vertices;
    std::vector<std::uint32_t> indices;
};

// What a tessellation was made from: a redraw of a cached patch reuses it while these stay the same.
struct TessellationKey {
    std::array<float, 4> segments{};
    DWORD edgeStyle = 0;
    VertexLayout source;
    bool operator==(const TessellationKey&) const = default;
};

struct CachedPatch {
    PatchDescription description;
    bool tessellated = false;
    TessellationKey key;
    Tessellation tessellation;
};

// The degrees each basis is documented to take: rectangles take Bezier and B-spline patches of degree 1, 3 or
// 5 and Catmull-Rom patches of degree 3; triangles take Bezier patches of degree 1, 3 or 5. Quadratic is an
// N-patch normal degree only.
bool RectBasisOffered(D3DBASISTYPE basis, D3DDEGREETYPE degree) {
    const bool odd = degree == D3DDEGREE_LINEAR || degree == D3DDEGREE_CUBIC || degree == D3DDEGREE_QUINTIC;
    if (basis == D3DBASIS_BEZIER || basis == D3DBASIS_BSPLINE) return odd;
    return basis == D3DBASIS_CATMULL_ROM && degree == D3DDEGREE_CUBIC;
}

// Control points of a triangle Bezier patch of degree d: (d + 1)(d + 2) / 2.
UINT TriangleControlPoints(int degree) { return static_cast<UINT>((degree + 1) * (degree + 2) / 2); }

// ---- Bases ----

// One direction of a rectangle patch: `count` control points make spans of (degree + 1) points. Bezier spans
// stand side by side (a row of n points holds n / (degree + 1) patches; the points left over are not drawn);
// B-spline and Catmull-Rom spans overlap, one per point after the first `degree` (the first three for
// Catmull-Rom, whose surface passes through the points from the second to the last but one).
struct Direction {
    D3DBASISTYPE basis;
    int degree;
    UINT count;

    UINT Spans() const {
        const UINT order = static_cast<UINT>(degree) + 1;
        return basis == D3DBASIS_BEZIER ? count / order : count - order + 1;
    }
    UINT FirstPoint(UINT span) const {
        return basis == D3DBASIS_BEZIER ? span * (static_cast<UINT>(degree) + 1) : span;
    }
};

double Binomial(int n, int k) {
    double r = 1;
    for (int i = 1; i <= k; ++i) r = r * (n - k + i) / i;
    return r;
}

// Bernstein polynomial i of degree d at t (0 outside 0..d).
double Bernstein(int d, int i, double t) {
    if (i < 0 || i > d) return 0;
    return Binomial(d, i) * std::pow(t, i) * std::pow(1 - t, d - i);
}

// The uniform cardinal B-spline of degree k, non-zero on 0..k + 1, by the recurrence on degree.
double Cardinal(int k, double x) {
    if (k == 0) return x >= 0 && x < 1 ? 1.0 : 0.0;
    return (x * Cardinal(k - 1, x) + (k + 1 - x) * Cardinal(k - 1, x - 1)) / k;
}

// The weights of a span's points at t in 0..1 and their derivatives by t.
void SpanWeights(const Direction& d, double t, double w[kMaxOrder], double dw[kMaxOrder]) {
    const int n = d.degree;
    if (d.basis == D3DBASIS_BEZIER) {
        for (int i = 0; i <= n; ++i) {
            w[i] = Bernstein(n, i, t);
            dw[i] = n * (Bernstein(n - 1, i - 1, t) - Bernstein(n - 1, i, t));
        }
    } else if (d.basis == D3DBASIS_BSPLINE) {
        // Point i of the span weighs M(t + n - i); the derivative of M_n is M_(n-1)(x) - M_(n-1)(x - 1).
        for (int i = 0; i <= n; ++i) {
            const double x = t + n - i;
            w[i] = Cardinal(n, x);
            dw[i] = Cardinal(n - 1, x) - Cardinal(n - 1, x - 1);
        }
    } else {
        const double t2 = t * t, t3 = t2 * t;
        w[0] = 0.5 * (-t3 + 2 * t2 - t);
        w[1] = 0.5 * (3 * t3 - 5 * t2 + 2);
        w[2] = 0.5 * (-3 * t3 + 4 * t2 + t);
        w[3] = 0.5 * (t3 - t2);
        dw[0] = 0.5 * (-3 * t2 + 4 * t - 1);
        dw[1] = 0.5 * (9 * t2 - 10 * t);
        dw[2] = 0.5 * (-9 * t2 + 8 * t + 1);
        dw[3] = 0.5 * (3 * t2 - 2 * t);
    }
}

// Where parameter u (0..1 over the whole direction) falls: the span's first point and the weights in it.
struct SpanSample {
    UINT first = 0;
    double w[kMaxOrder]{}, dw[kMaxOrder]{};
};

SpanSample Sample(const Direction& d, double u) {
    const UINT spans = d.Spans();
    const double s = u * spans;
    const UINT span = std::min(static_cast<UINT>(std::max(s, 0.0)), spans - 1);
    SpanSample sample;
    sample.first = d.FirstPoint(span);
    SpanWeights(d, s - span, sample.w, sample.dw);
    return sample;
}

// ---- Edges ----

// The parameters of an edge's points, 0 to 1, for its segment count. Discrete edges truncate the count to an
// integer and step evenly. Continuous edges are fractional: the count rounded up to an even number of segments,
// all 1 / count long but the two in the middle, which share what is left; the points then move smoothly as the
// count changes, and new ones grow out of the middle.
std::vector<double> EdgeParameters(float segments, bool continuous) {
    const double f = std::isnan(segments) ? 1.0 : std::clamp(static_cast<double>(segments), 1.0, double{kMaxSegments});
    std::vector<double> p{0.0};
    if (!continuous) {
        const int n = static_cast<int>(f);
        for (int i = 1; i < n; ++i) p.push_back(static_cast<double>(i) / n);
    } else {
        const int k = static_cast<int>(std::ceil(f / 2)) - 1;  // full segments on each side of the middle
        const double full = 1.0 / f;
        for (int i = 1; i <= k; ++i) p.push_back(i * full);
        p.push_back(0.5);
        for (int i = k; i >= 1; --i) p.push_back(1.0 - i * full);
    }
    p.push_back(1.0);
    return p;
}

// The edge point nearest to t: the inner points next to an edge with fewer points than the interior collapse
// onto that edge's points, so that the edge is cut where a neighbouring patch with the same count cuts it (no
// cracks); what collapses only makes triangles without area.
double Snap(const std::vector<double>& edge, double t) {
    const auto above = std::lower_bound(edge.begin(), edge.end(), t);
    if (above == edge.begin()) return edge.front();
    if (above == edge.end()) return edge.back();
    return (*above - t) < (t - *(above - 1)) ? *above : *(above - 1);
}

// ---- Control points and output vertices ----

// Reads control points from the current streams: each input the vertex layout feeds, and the data a generated
// normal is computed from, as the pipeline reads them.
class ControlPoints {
public:
    explicit ControlPoints(const DeviceState& state) : state_(state) {
        for (int i = 0; i < kVertexInputs; ++i) elements_[static_cast<std::size_t>(i)] = state.layout.inputs[i];
        elements_[kNormalSource] = state.layout.generatedNormal;
    }

    // The streams' vertices the patch may read, 0 .. last: false when a stream is missing or too short.
    bool Readable(std::uint64_t last) const {
        for (const InputElement& e : elements_) {
            if (e.type == D3DDECLTYPE_UNUSED) continue;
            const StreamBinding& stream = state_.streams[e.stream];
            if (!stream.buffer) return false;
            const std::uint64_t end = stream.offset + last * stream.stride + e.offset + DeclTypeSize(e.type);
            if (end > stream.buffer->length()) return false;
        }
        return true;
    }

    bool Has(int channel) const { return elements_[static_cast<std::size_t>(channel)].type != D3DDECLTYPE_UNUSED; }

    // Adds `weight` times vertex `index`'s channels to `sum`, and the normal source's to `du` and `dv` at
    // `weightU` and `weightV` (the weights' partial derivatives).
    void Accumulate(std::uint64_t index, double weight, double weightU, double weightV,
                    std::array<Value, kChannels>* sum, Value* du, Value* dv) const {
        for (int c = 0; c < kChannels; ++c) {
            const InputElement& e = elements_[static_cast<std::size_t>(c)];
            if (e.type == D3DDECLTYPE_UNUSED) continue;
            const StreamBinding& stream = state_.streams[e.stream];
            float v[4];
            DecodeElement(e.type, stream.buffer->bytes() + stream.offset + index * stream.stride + e.offset, v);
            // Packed D3DCOLOR indices read 0..1; they are written out as floats, which the pipeline takes as
            // they are.
            const float scale = c == kInputBlendIndices && e.type == D3DDECLTYPE_D3DCOLOR ? 255.0f : 1.0f;
            for (int k = 0; k < 4; ++k) {
                (*sum)[static_cast<std::size_t>(c)][static_cast<std::size_t>(k)] +=
                    static_cast<float>(weight * v[k] * scale);
                if (c == kNormalSource) {
                    (*du)[static_cast<std::size_t>(k)] += static_cast<float>(weightU * v[k]);
                    (*dv)[static_cast<std::size_t>(k)] += static_cast<float>(weightV * v[k]);
                }
            }
        }
    }

private:
    const DeviceState& state_;
    std::array<InputElement, kChannels> elements_{};
};

// The tessellated vertices' layout: each input the source feeds as floats of its component count, one after
// another in stream 0; a generated normal as FLOAT3.
void MakeOutputLayout(const VertexLayout& source, Tessellation* out) {
    VertexLayout& layout = out->layout;
    layout = VertexLayout{};
    layout.transformed = source.transformed;
    layout.streams = 1;
    UINT offset = 0;
    for (int i = 0; i < kVertexInputs; ++i) {
        int components = DeclTypeComponents(source.inputs[static_cast<std::size_t>(i)].type);
        if (i == kInputNormal && source.generatedNormal.type != D3DDECLTYPE_UNUSED) components = 3;
        if (components == 0) continue;
        layout.inputs[static_cast<std::size_t>(i)] =
            InputElement{static_cast<std::uint8_t>(D3DDECLTYPE_FLOAT1 + components - 1), 0, static_cast<WORD>(offset)};
        offset += 4u * static_cast<UINT>(components);
    }
    layout.extent[0] = offset;
    out->stride = offset;
    out->generatedNormal = source.generatedNormal.type != D3DDECLTYPE_UNUSED;
}

// One evaluated point of the patch: the channels, and the normal source's partial derivatives.
struct Evaluated {
    std::array<Value, kChannels> sum{};
    Value du{}, dv{};
};

// Appends one tessellated vertex; a generated normal is du x dv, normalised, which faces the side from which
// the patch's triangles run clockwise (the side the default culling keeps).
void AppendVertex(const Evaluated& point, Tessellation* out) {
    std::array<Value, kChannels> values = point.sum;
    if (out->generatedNormal) {
        const Value& a = point.du;
        const Value& b = point.dv;
        const float n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 0) values[kInputNormal] = {n[0] / length, n[1] / length, n[2] / length, 0};
    }
    const std::size_t at = out->vertices.size();
    out->vertices.resize(at + out->stride);
    for (int i = 0; i < kVertexInputs; ++i) {
        const InputElement& e = out->layout.inputs[static_cast<std::size_t>(i)];
        if (e.type == D3DDECLTYPE_UNUSED) continue;
        std::memcpy(out->vertices.data() + at + e.offset, values[static_cast<std::size_t>(i)].data(),
                    4u * static_cast<UINT>(DeclTypeComponents(e.type)));
    }
}

// ---- Tessellation ----

// A rectangle patch: a grid whose columns take the parameters of the top or bottom edge with the more segments
// and whose rows those of the left or right edge with the more, its outer points collapsed onto each edge's
// own. Edges are numbered clockwise from the top (the first row of control points): top, right, bottom, left.
void TessellateRect(const D3DRECTPATCH_INFO& info, const std::array<float, 4>& segments, bool continuous,
                    const ControlPoints& points, Tessellation* out) {
    std::array<std::vector<double>, 4> edges;
    for (std::size_t e = 0; e < 4; ++e) edges[e] = EdgeParameters(segments[e], continuous);
    const std::vector<double>& us = segments[0] >= segments[2] ? edges[0] : edges[2];
    const std::vector<double>& vs = segments[3] >= segments[1] ? edges[3] : edges[1];
    const Direction across{info.Basis, info.Degree, info.Width}, down{info.Basis, info.Degree, info.Height};
    const int order = info.Degree + 1;
    const UINT columns = static_cast<UINT>(us.size()), rows = static_cast<UINT>(vs.size());
    for (UINT r = 0; r < rows; ++r) {
        for (UINT c = 0; c < columns; ++c) {
            double u = us[c], v = vs[r];
            if (r == 0) u = Snap(edges[0], u);
            if (r == rows - 1) u = Snap(edges[2], u);
            if (c == 0) v = Snap(edges[3], v);
            if (c == columns - 1) v = Snap(edges[1], v);
            const SpanSample su = Sample(across, u), sv = Sample(down, v);
            Evaluated point;
            for (int j = 0; j < order; ++j) {
                const std::uint64_t row = static_cast<std::uint64_t>(info.StartVertexOffsetHeight) + sv.first + j;
                for (int i = 0; i < order; ++i) {
                    const std::uint64_t index =
                        row * info.Stride + info.StartVertexOffsetWidth + su.first + static_cast<UINT>(i);
                    points.Accumulate(index, su.w[i] * sv.w[j], su.dw[i] * sv.w[j], su.w[i] * sv.dw[j], &point.sum,
                                      &point.du, &point.dv);
                }
            }
            AppendVertex(point, out);
        }
    }
    // Two clockwise triangles per cell (columns run to the right, rows down).
    for (UINT r = 0; r + 1 < rows; ++r) {
        for (UINT c = 0; c + 1 < columns; ++c) {
            const std::uint32_t a = r * columns + c, b = a + 1, d = a + columns, e = d + 1;
            out->indices.insert(out->indices.end(), {a, b, d, d, b, e});
        }
    }
}

// The exponents (of the weights of corners 0, 1 and 2) of a triangle patch's control points, in the order they
// are given: the three corners, the inner points of the edges 0-1, 1-2 and 2-0 in that direction, then the
// inner points row by row from corner 0.
std::vector<std::array<int, 3>> TriangleExponents(int d) {
    std::vector<std::array<int, 3>> e{{d, 0, 0}, {0, d, 0}, {0, 0, d}};
    for (int m = 1; m < d; ++m) e.push_back({d - m, m, 0});
    for (int m = 1; m < d; ++m) e.push_back({0, d - m, m});
    for (int m = 1; m < d; ++m) e.push_back({m, 0, d - m});
    for (int i = d - 2; i >= 1; --i) {
        for (int j = d - i - 1; j >= 1; --j) e.push_back({i, j, d - i - j});
    }
    return e;
}

// A triangle patch: a triangular grid over barycentric coordinates whose steps are the parameters of the edge
// with the most segments, its outer points collapsed onto each edge's own. Edge 0 runs from corner 0 to 1,
// edge 1 from 1 to 2, edge 2 from 2 to 0.
void TessellateTri(const D3DTRIPATCH_INFO& info, const std::array<float, 4>& segments, bool continuous,
                   const ControlPoints& points, Tessellation* out) {
    std::array<std::vector<double>, 3> edges;
    for (std::size_t e = 0; e < 3; ++e) edges[e] = EdgeParameters(segments[e], continuous);
    const std::size_t widest =
        static_cast<std::size_t>(std::max_element(segments.begin(), segments.begin() + 3) - segments.begin());
    const std::vector<double>& steps = edges[widest];
    const int n = static_cast<int>(steps.size()) - 1;
    const int d = info.Degree;
    const std::vector<std::array<int, 3>> exponents = TriangleExponents(d);
    std::vector<double> coefficient;
    for (const auto& x : exponents) coefficient.push_back(Binomial(d, x[0]) * Binomial(d - x[0], x[1]));
    // Points (a, b): a steps towards corner 1, b towards corner 2; row a holds n - a + 1 points.
    std::vector<std::uint32_t> rowStart;
    for (int a = 0; a <= n; ++a) {
        rowStart.push_back(static_cast<std::uint32_t>(out->vertices.size() / out->stride));
        for (int b = 0; b <= n - a; ++b) {
            // Symmetric steps keep steps[a] + steps[b] within 1 for a + b <= n.
            double w1 = steps[static_cast<std::size_t>(a)], w2 = steps[static_cast<std::size_t>(b)];
            if (b == 0) w1 = Snap(edges[0], w1);
            if (a + b == n) {
                w2 = Snap(edges[1], w2);
                w1 = 1 - w2;
            }
            if (a == 0) w2 = 1 - Snap(edges[2], 1 - w2);
            const double w[3] = {std::max(0.0, 1 - w1 - w2), w1, w2};
            Evaluated point;
            for (std::size_t m = 0; m < exponents.size(); ++m) {
                const auto& x = exponents[m];
                // The weight and its partial derivatives by each barycentric coordinate.
                double weight = coefficient[m], partial[3];
                for (int k = 0; k < 3; ++k) weight *= std::pow(w[k], x[static_cast<std::size_t>(k)]);
                for (int k = 0; k < 3; ++k) {
                    const int e = x[static_cast<std::size_t>(k)];
                    double p = e == 0 ? 0.0 : coefficient[m] * e * std::pow(w[k], e - 1);
                    for (int o = 0; o < 3; ++o) {
                        if (o != k) p *= std::pow(w[o], x[static_cast<std::size_t>(o)]);
                    }
                    partial[k] = p;
                }
                // Moving towards corner 1 (or 2) takes from corner 0's weight.
                points.Accumulate(info.StartVertexOffset + m, weight, partial[1] - partial[0], partial[2] - partial[0],
                                  &point.sum, &point.du, &point.dv);
            }
            AppendVertex(point, out);
        }
    }
    // Triangles with the corners' winding: (a, b), (a + 1, b), (a, b + 1), and between them (a + 1, b),
    // (a + 1, b + 1), (a, b + 1).
    auto at = [&](int a, int b) { return rowStart[static_cast<std::size_t>(a)] + static_cast<std::uint32_t>(b); };
    for (int a = 0; a < n; ++a) {
        for (int b = 0; a + b < n; ++b) {
            out->indices.insert(out->indices.end(), {at(a, b), at(a + 1, b), at(a, b + 1)});
            if (a + b + 1 < n) out->indices.insert(out->indices.end(), {at(a + 1, b), at(a + 1, b + 1), at(a, b + 1)});
        }
    }
}

// The documented checks of a description: a basis and degree the patch type takes, and enough control points
// for one span (a triangle's exactly its degree's count).
bool DescriptionValid(const PatchDescription& p) {
    if (p.triangle) {
        const D3DTRIPATCH_INFO& t = p.tri;
        if (t.Basis != D3DBASIS_BEZIER) return false;
        if (t.Degree != D3DDEGREE_LINEAR && t.Degree != D3DDEGREE_CUBIC && t.Degree != D3DDEGREE_QUINTIC) return false;
        return t.NumVertices == TriangleControlPoints(t.Degree);
    }
    const D3DRECTPATCH_INFO& r = p.rect;
    if (!RectBasisOffered(r.Basis, r.Degree)) return false;
    const UINT order = static_cast<UINT>(r.Degree) + 1;
    return r.Width >= order && r.Height >= order;
}

// The last vertex index a patch reads.
std::uint64_t LastVertex(const PatchDescription& p) {
    if (p.triangle) return static_cast<std::uint64_t>(p.tri.StartVertexOffset) + p.tri.NumVertices - 1;
    const D3DRECTPATCH_INFO& r = p.rect;
    return (static_cast<std::uint64_t>(r.StartVertexOffsetHeight) + r.Height - 1) * r.Stride +
           r.StartVertexOffsetWidth + r.Width - 1;
}

}  // namespace

struct PatchCache {
    std::unordered_map<UINT, CachedPatch> patches;
};

void Device::PatchCacheDeleter::operator()(PatchCache* cache) const { delete cache; }

HRESULT Device::DrawPatch(UINT handle, const float* numSegs, bool triangle, const D3DRECTPATCH_INFO* rect,
                          const D3DTRIPATCH_INFO* tri) {
    if (!inScene_) return D3DERR_INVALIDCALL;
    if (!patches_) patches_.reset(new PatchCache);
    // The description given, or the one cached under the handle by a call of the same patch type.
    PatchDescription description;
    description.triangle = triangle;
    CachedPatch* cached = nullptr;
    if (rect || tri) {
        if (rect) description.rect = *rect;
        if (tri) description.tri = *tri;
    } else {
        const auto found = handle != 0 ? patches_->patches.find(handle) : patches_->patches.end();
        if (found == patches_->patches.end() || found->second.description.triangle != triangle) {
            return D3DERR_INVALIDCALL;
        }
        cached = &found->second;
        description = cached->description;
    }
    if (!DescriptionValid(description)) return D3DERR_INVALIDCALL;
    // The control points come from the current vertex input: untransformed or pre-transformed positions from
    // bound streams long enough for every point the patch reads.
    const VertexLayout& layout = state_.layout;
    if (!layout.Has(kInputPosition)) return D3DERR_INVALIDCALL;
    if (!state_.declaration && FvfStride(state_.fvf) == 0) return D3DERR_INVALIDCALL;
    const ControlPoints points(state_);
    if (!points.Readable(LastVertex(description))) return D3DERR_INVALIDCALL;
    if (!TargetsMatch()) return D3DERR_INVALIDCALL;

    // A description given with a handle replaces what the handle held.
    if (handle != 0 && !cached) {
        cached = &patches_->patches[handle];
        *cached = CachedPatch{};
        cached->description = description;
    }
    TessellationKey key;
    key.segments = {1.0f, 1.0f, 1.0f, 1.0f};
    for (int e = 0; numSegs && e < (triangle ? 3 : 4); ++e) key.segments[static_cast<std::size_t>(e)] = numSegs[e];
    key.edgeStyle = state_.rs[D3DRS_PATCHEDGESTYLE];
    key.source = layout;
    Tessellation made;
    const Tessellation* drawn = &made;
    if (cached && cached->tessellated && cached->key == key) {
        drawn = &cached->tessellation;
    } else {
        MakeOutputLayout(layout, &made);
        const bool continuous = key.edgeStyle == D3DPATCHEDGE_CONTINUOUS;
        if (triangle) {
            TessellateTri(description.tri, key.segments, continuous, points, &made);
        } else {
            TessellateRect(description.rect, key.segments, continuous, points, &made);
        }
        if (cached) {
            cached->tessellation = std::move(made);
            cached->key = key;
            cached->tessellated = true;
            drawn = &cached->tessellation;
        }
    }
    if (drawn->indices.empty() || lost_) return D3D_OK;
    // The backend draws the tessellated vertices as a user-pointer indexed triangle list, under the device's
    // state with the vertex input swapped for theirs while it draws.
    DrawCall call{};
    call.type = D3DPT_TRIANGLELIST;
    call.primitiveCount = static_cast<UINT>(drawn->indices.size() / 3);
    call.vertexCount = static_cast<UINT>(drawn->indices.size());
    call.indexed = true;
    call.upVertices = drawn->vertices.data();
    call.upStride = drawn->stride;
    call.upVertexBytes = static_cast<UINT>(drawn->vertices.size());
    call.upIndices = drawn->indices.data();
    call.upIndex32 = true;
    const VertexLayout input = state_.layout;
    state_.layout = drawn->layout;
    state_.dirty |= kDirtyStreams | kDirtyProgram;
    renderer_->Draw(call, TakeChanged());
    state_.layout = input;
    state_.dirty |= kDirtyStreams | kDirtyProgram;
    return D3D_OK;
}

HRESULT Device::DrawRectPatch(UINT handle, const float* numSegs, const D3DRECTPATCH_INFO* info) {
    const DeviceGuard guard(lock_);
    return DrawPatch(handle, numSegs, false, info, nullptr);
}

HRESULT Device::DrawTriPatch(UINT handle, const float* numSegs, const D3DTRIPATCH_INFO* info) {
    const DeviceGuard guard(lock_);
    return DrawPatch(handle, numSegs, true, nullptr, info);
}

HRESULT Device::DeletePatch(UINT handle) {
    const DeviceGuard guard(lock_);
    if (!patches_ || handle == 0 || patches_->patches.erase(handle) == 0) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

}  // namespace tarn::d3d9
