// Geometry: a model mesh into the scene format's triangle lists (position, normal, one texture coordinate, 16-bit
// indices), in the engine's left-handed frame. Mirroring one axis turns the model's counter-clockwise front faces
// clockwise as the engine wants them (D3DCULL_CCW culls the others) only if the winding is reversed too, since
// the picture must come out the same and not mirrored.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "tools/import/Conversion.h"

namespace tarn::import {
namespace {

Vec3d D(Vec3 v) { return {v.x, v.y, v.z}; }

// A vertex of the output before the frame change: which model vertex, and its normal in the model's frame.
struct Corner {
    std::uint32_t source;
    Vec3d normal;
};

// The angle at corner `a` of a triangle, between the edges to `b` and `c` (0 for a degenerate one).
double CornerAngle(Vec3d a, Vec3d b, Vec3d c) {
    const Vec3d u = Normalised(b - a, {}), v = Normalised(c - a, {});
    return std::acos(std::clamp(Dot(u, v), -1.0, 1.0));
}

// Normals for a mesh that has none: each vertex the mean of its faces' normals weighted by the angle each face
// makes there (so that how a face happens to be split into triangles does not matter), except at corners whose
// face leans past the crease, which take the face's own normal (one new vertex per vertex and face direction).
// Fills `vertices` and rewrites `indices` to point into it. Normals are in the model's frame, from its winding.
void MakeNormals(const ModelMesh& mesh, std::vector<Corner>& vertices, std::vector<std::uint32_t>& indices) {
    const std::size_t n = mesh.positions.size(), corners = indices.size();
    std::vector<Vec3d> faceNormal(corners / 3), sum(n);
    for (std::size_t f = 0; f < corners / 3; ++f) {
        const std::uint32_t* t = &indices[3 * f];
        const Vec3d p[3] = {D(mesh.positions[t[0]]), D(mesh.positions[t[1]]), D(mesh.positions[t[2]])};
        const Vec3d fn = Normalised(Cross(p[1] - p[0], p[2] - p[0]), {});
        faceNormal[f] = fn;
        if (Length(fn) == 0) continue;
        for (int k = 0; k < 3; ++k) {
            const double angle = CornerAngle(p[k], p[(k + 1) % 3], p[(k + 2) % 3]);
            if (std::isfinite(angle)) sum[t[k]] = sum[t[k]] + fn * angle;
        }
    }
    vertices.resize(n);
    for (std::size_t v = 0; v < n; ++v) vertices[v] = {static_cast<std::uint32_t>(v), Normalised(sum[v], {0, 1, 0})};

    std::unordered_map<std::uint64_t, std::uint32_t> split;  // (vertex, quantised face direction) -> new vertex
    for (std::size_t i = 0; i < corners; ++i) {
        const std::uint32_t v = indices[i];
        const Vec3d& fn = faceNormal[i / 3];
        if (Length(fn) == 0 || Dot(fn, vertices[v].normal) >= kCreaseCosine) continue;
        auto q = [](double c) { return static_cast<std::uint64_t>(std::lround(c * 500) + 512) & 1023; };
        const std::uint64_t key = (static_cast<std::uint64_t>(v) << 30) | (q(fn.x) << 20) | (q(fn.y) << 10) | q(fn.z);
        const auto [it, made] = split.try_emplace(key, static_cast<std::uint32_t>(vertices.size()));
        if (made) vertices.push_back({v, fn});
        indices[i] = it->second;
    }
}

double Clean(double v, std::size_t& nonFinite) {
    if (std::isfinite(v)) return v;
    ++nonFinite;
    return 0;
}

float ToFloat(double v, std::size_t& nonFinite) {
    if (!std::isfinite(v) || std::fabs(v) > 3.4e38) {
        ++nonFinite;
        return 0;
    }
    return static_cast<float>(v);
}

void Bound(MeshPart& part) {
    const auto& vs = part.vertices.vertices;
    if (vs.empty()) return;
    Vec3d lo{vs[0].x, vs[0].y, vs[0].z}, hi = lo;
    for (const trs::TrsVertex& v : vs) {
        lo = {std::min<double>(lo.x, v.x), std::min<double>(lo.y, v.y), std::min<double>(lo.z, v.z)};
        hi = {std::max<double>(hi.x, v.x), std::max<double>(hi.y, v.y), std::max<double>(hi.z, v.z)};
    }
    part.centre = (lo + hi) * 0.5;
    double r2 = 0;
    for (const trs::TrsVertex& v : vs) {
        const Vec3d d = Vec3d{v.x, v.y, v.z} - part.centre;
        r2 = std::max(r2, Dot(d, d));
    }
    part.radius = std::sqrt(r2);
}

}  // namespace

std::vector<MeshPart> BuildMeshParts(const ModelMesh& mesh, UpAxis up, const Mat3& stretch, GeometryReport* report) {
    GeometryReport local;
    GeometryReport& rep = report ? *report : local;
    std::vector<MeshPart> parts;
    const std::size_t triangles = mesh.indices.size() / 3;
    if (triangles == 0 || mesh.positions.empty()) return parts;

    std::vector<std::uint32_t> indices(mesh.indices.begin(), mesh.indices.begin() + 3 * triangles);
    std::vector<Corner> made;
    const bool haveNormals = mesh.normals.size() == mesh.positions.size();
    if (!haveNormals) {
        MakeNormals(mesh, made, indices);
        rep.normalsMade = true;
    }
    const std::size_t count = haveNormals ? mesh.positions.size() : made.size();

    // Positions go through C then the stretch; normals through C then the stretch's inverse transpose.
    Mat3 c;
    for (int i = 0; i < 3; ++i) {
        const Vec3d row = FrameChange({i == 0 ? 1.0 : 0, i == 1 ? 1.0 : 0, i == 2 ? 1.0 : 0}, up);
        c.m[i][0] = row.x, c.m[i][1] = row.y, c.m[i][2] = row.z;
    }
    const Mat3 toPosition = c * stretch;
    Mat3 inverse;
    Inverse(stretch, &inverse);
    const Mat3 toNormal = c * Transposed(inverse);
    const bool haveUvs = mesh.uvs.size() == mesh.positions.size();

    std::vector<trs::TrsVertex> vertices(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t src = haveNormals ? static_cast<std::uint32_t>(i) : made[i].source;
        const Vec3 p = mesh.positions[src];
        const Vec3d pos =
            Vec3d{Clean(p.x, rep.nonFinite), Clean(p.y, rep.nonFinite), Clean(p.z, rep.nonFinite)} * toPosition;
        Vec3d nrm = made.empty() ? D(mesh.normals[src]) : made[i].normal;
        if (!Finite(nrm)) ++rep.nonFinite, nrm = {0, 1, 0};
        nrm = Normalised(nrm * toNormal, {0, 1, 0});
        trs::TrsVertex& v = vertices[i];
        v.x = ToFloat(pos.x, rep.nonFinite), v.y = ToFloat(pos.y, rep.nonFinite), v.z = ToFloat(pos.z, rep.nonFinite);
        v.nx = static_cast<float>(nrm.x), v.ny = static_cast<float>(nrm.y), v.nz = static_cast<float>(nrm.z);
        if (haveUvs) {
            // The parser counts v from the bottom of the image, Direct3D from the top.
            v.u = ToFloat(mesh.uvs[src].x, rep.nonFinite);
            v.v = ToFloat(1.0 - static_cast<double>(mesh.uvs[src].y), rep.nonFinite);
        } else {
            v.u = v.v = 0;
        }
    }

    // The frame change reflects; a stretch that reflects as well undoes that.
    const bool reverse = Determinant(stretch) >= 0;
    if (reverse) {
        for (std::size_t t = 0; t < triangles; ++t) std::swap(indices[3 * t + 1], indices[3 * t + 2]);
    }

    // Vertices no triangle uses (the corners split off at creases, or a model's own leftovers) are left out.
    std::vector<std::uint32_t> remap(count, UINT32_MAX);
    for (std::uint32_t i : indices) remap[i] = 0;
    std::uint32_t used = 0;
    for (std::uint32_t& r : remap) {
        if (r == 0) r = used++;  // in their own order
    }
    if (used != count) {
        std::vector<trs::TrsVertex> kept(used);
        for (std::size_t i = 0; i < count; ++i) {
            if (remap[i] != UINT32_MAX) kept[remap[i]] = vertices[i];
        }
        for (std::uint32_t& i : indices) i = remap[i];
        vertices = std::move(kept);
    }
    std::vector<std::uint32_t>().swap(remap);

    if (vertices.size() <= kMaxPartVertices) {
        MeshPart& part = parts.emplace_back();
        part.vertices.vertices = std::move(vertices);
        part.indices.indices.assign(indices.begin(), indices.end());
        Bound(part);
        return parts;
    }

    // Larger meshes: triangles in order, a new part whenever the next one would bring the vertices past the limit.
    std::vector<std::uint32_t> stamp(used, 0);
    remap.assign(used, 0);
    std::uint32_t partId = 0;
    MeshPart* part = nullptr;
    for (std::size_t t = 0; t < triangles; ++t) {
        const std::uint32_t* tri = &indices[3 * t];
        std::size_t fresh = 0;
        if (part) {
            for (int k = 0; k < 3; ++k) fresh += stamp[tri[k]] != partId;
        }
        if (!part || part->vertices.vertices.size() + fresh > kMaxPartVertices) {
            part = &parts.emplace_back();
            ++partId;
            part->vertices.vertices.reserve(kMaxPartVertices);
            part->indices.indices.reserve(std::min<std::size_t>(3 * (triangles - t), 3 * 2 * kMaxPartVertices));
        }
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = tri[k];
            if (stamp[v] != partId) {
                stamp[v] = partId;
                remap[v] = static_cast<std::uint32_t>(part->vertices.vertices.size());
                part->vertices.vertices.push_back(vertices[v]);
            }
            part->indices.indices.push_back(static_cast<std::uint16_t>(remap[v]));
        }
    }
    for (MeshPart& p : parts) Bound(p);
    return parts;
}

void MeshWarnings(const ModelMesh& mesh, const std::string& where, std::vector<std::string>& warnings) {
    auto plural = [](std::uint32_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    if (mesh.points || mesh.lines) {
        std::string what;
        if (mesh.lines) what = plural(mesh.lines, "line", "lines");
        if (mesh.points) what += (what.empty() ? "" : " and ") + plural(mesh.points, "point", "points");
        warnings.push_back(where + ": " + what + " dropped (the format draws triangles)");
    }
    if (mesh.polygons)
        warnings.push_back(where + ": " + plural(mesh.polygons, "face", "faces") +
                           " the parser left untriangulated or broken dropped");
    if (mesh.bones)
        warnings.push_back(where + ": skin of " + plural(mesh.bones, "bone", "bones") +
                           " dropped (drawn in its bind pose)");
    if (mesh.morphTargets)
        warnings.push_back(where + ": " + plural(mesh.morphTargets, "morph target", "morph targets") + " dropped");
    if (mesh.colourSets)
        warnings.push_back(where + ": " + plural(mesh.colourSets, "vertex colour set", "vertex colour sets") +
                           " dropped");
    if (mesh.extraUvSets)
        warnings.push_back(where + ": " +
                           plural(mesh.extraUvSets, "texture-coordinate set", "texture-coordinate sets") +
                           " after the first dropped");
}

}  // namespace tarn::import
