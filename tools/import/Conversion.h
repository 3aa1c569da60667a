// The units of the conversion behind ConvertModel (Import.h), each in a file of its own, for Convert.cpp and the
// tests: geometry (Geometry.cpp), materials and render states (Materials.cpp), nodes, names and keys (Nodes.cpp),
// cameras and lights (CamerasLights.cpp). All work in the engine's frame (Transform.h).
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "tools/import/Import.h"
#include "tools/import/Model.h"
#include "tools/import/Transform.h"
#include "tools/trs/TrsWriter.h"

namespace tarn::import {

// ---- Geometry (Geometry.cpp)

inline constexpr std::size_t kMaxPartVertices = 65535;  // 16-bit indices
// A corner whose face leans more than this (cosine) from its vertex's averaged normal gets the face's own normal.
inline constexpr double kCreaseCosine = 0.7071;

struct MeshPart {
    trs::TrsVertexBuffer vertices;
    trs::TrsIndexBuffer indices;
    Vec3d centre;  // bounding sphere, in the part's own frame
    double radius = 0;
};

struct GeometryReport {
    std::size_t nonFinite = 0;  // components that were NaN or infinite, written as 0
    bool normalsMade = false;
};

// The mesh in the engine's frame with `stretch` applied (positions times it, normals times its inverse
// transpose), v counted from the top, triangles wound clockwise for the engine (the frame change reflects; a
// stretch that reflects again keeps the order), normals made where the mesh has none (averaged by area, split at
// creases), split into parts of at most kMaxPartVertices vertices. An empty result: no triangles.
std::vector<MeshPart> BuildMeshParts(const ModelMesh& mesh, UpAxis up, const Mat3& stretch, GeometryReport* report);

// One line for each thing of the mesh the format cannot hold (points, lines, skins, morph targets, vertex
// colours, more coordinate sets), naming the mesh as `where`.
void MeshWarnings(const ModelMesh& mesh, const std::string& where, std::vector<std::string>& warnings);

// ---- Materials (Materials.cpp)

struct MaterialLook {
    bool blend = false;     // alpha blending, no depth writes
    bool additive = false;  // blending adds
    bool twoSided = false;  // no culling
};

// The D3DMATERIAL9 of a model material: diffuse (alpha times the opacity), ambient (the diffuse colour when the
// model gives none), specular times its strength, emissive and power; non-finite values take the defaults.
trs::TrsMaterial BuildMaterial(const ModelMaterial& material);
trs::TrsMaterial DefaultMaterial();
// What a material asks of the render states, given whether its image turned out translucent.
MaterialLook LookOf(const ModelMaterial& material, bool imageTranslucent);
void ApplyLook(const MaterialLook& look, trs::TrsMeshNode& node);

// ---- Nodes and animation (Nodes.cpp)

// Every node's world transform in the engine's frame, at rest and, for nodes that move (a channel on them or on
// a parent), at each sample time of the chosen animation.
struct NodePose {
    Affine rest;
    bool animated = false;
    std::vector<Affine> samples;  // one per Poses::times
};
struct Poses {
    std::vector<double> times;    // seconds, ascending, from 0
    std::vector<NodePose> nodes;  // one per Model::nodes
};
// `nodes` is the model's node list (or a stand-in root when it has none); the scale option applies at the root.
// Warns about animations left out and channels that cannot be used. At most kMaxNodeSamples node-samples are
// kept: a long animation over many nodes is sampled more sparsely.
inline constexpr std::size_t kMaxNodeSamples = 1u << 20;
Poses ComputePoses(const Model& model, const std::vector<ModelNode>& nodes, const ConvertOptions& options,
                   std::vector<std::string>& warnings);

// Position, rotation and scale keys (in seconds) of a record whose world transform at each sample is
// `local * samples[i]` with the constant `unstretch` applied first (row vectors: unstretch * that): the stretch
// baked into a mesh's vertices, or the identity.
// Returns true when the keys scale while they rotate, which the engine's key evaluation only approximates (it
// scales the diagonal alone).
bool MakeKeys(const std::vector<double>& times, const std::vector<Affine>& samples, const Affine& local,
              const Mat3& unstretch, trs::TrsNode& node);

// Names fitted to the 20-byte field (19 bytes and a terminator, cut between characters) and unique among all
// the names given out: a clash gets "~2", "~3", ... Control characters become '_'; an empty name the fallback.
class NameTable {
public:
    std::string Fit(const std::string& name, const std::string& fallback);

private:
    std::unordered_set<std::string> used_;
};

// ---- Cameras and lights (CamerasLights.cpp)

struct Sphere {
    Vec3d centre;
    double radius = -1;  // negative: empty
};
// The sphere holding both.
Sphere Merge(const Sphere& a, const Sphere& b);

// A model camera placed by `world`: eye, look-at point and up in the engine's frame, the vertical field of view
// from the horizontal one and the aspect (4:3, the engine's back buffer, when the model gives none), the planes
// scaled with the world. `*frame` is the camera's own frame relative to its node (for keys).
trs::TrsCamera BuildCamera(const ModelCamera& camera, const Affine& world, UpAxis up, Affine* frame,
                           std::vector<std::string>& warnings);
// A camera that looks at the whole of `scene` from the front, above and to the right.
trs::TrsCamera FramingCamera(const Sphere& scene);

// A model light as a D3DLIGHT9; false (with a warning) for the kinds the format has none of. `*frame` as for
// cameras: the light's frame relative to its node, whose third row points against the light (the engine takes a
// directional light's direction from its node matrix that way).
bool BuildLight(const ModelLight& light, const Affine& world, UpAxis up, trs::TrsLight* out, Affine* frame,
                std::vector<std::string>& warnings);
// A white directional light from above and behind the framing camera's right shoulder.
trs::TrsLight DefaultLight();

}  // namespace tarn::import
