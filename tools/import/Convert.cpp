// The conversion of a model record into a scene: each model node becomes its records (a mesh node per mesh and
// part, a light, a camera, or else a dummy), each with its world transform; the geometry units, materials,
// cameras and lights and the keys come from the files beside this one. Link 1 of every record is the file
// index of its parent's first record (records counted in file order across the mesh, light, camera and dummy
// sections), link 2 the first record of its own node when a node has several.
#include <algorithm>
#include <cmath>
#include <map>

#include "tools/import/Conversion.h"

namespace tarn::import {
namespace {

struct MeshRecord {
    trs::TrsMeshNode node;
    bool blend = false;
    std::int32_t modelNode = -1;
};

struct Record {
    std::int32_t modelNode = -1;  // -1: made by the conversion (the framing camera, the default light)
};

// A stretch close to the identity is the identity, so that the instances of a mesh share its buffers.
Mat3 Snap(const Mat3& m) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (std::fabs(m.m[r][c] - (r == c ? 1.0 : 0.0)) > 1e-9) return m;
        }
    }
    return Mat3{};
}

// World transform W = P Q (+ t): the stretch P and the rigid rest (Q, t).
void Split(const Affine& world, Mat3* stretch, Affine* rigid) {
    Mat3 rotation;
    if (!PolarDecompose(world.linear, stretch, &rotation)) {
        // Singular: all of it goes into the vertices.
        *stretch = world.linear;
        rotation = Mat3{};
    }
    *stretch = Snap(*stretch);
    rigid->linear = rotation;
    rigid->translation = world.translation;
}

float ToFloat(double v) { return std::isfinite(v) ? static_cast<float>(std::clamp(v, -3.4e38, 3.4e38)) : 0.0f; }

Mat3 Unstretch(const Mat3& stretch) {
    Mat3 inverse;
    return Inverse(stretch, &inverse) ? inverse : Mat3{};
}

std::string NodeWhere(const ModelNode& node, std::size_t index) {
    return node.name.empty() ? "node " + std::to_string(index) : "node '" + node.name + "'";
}

std::string MeshWhere(const ModelMesh& mesh, std::size_t index) {
    return mesh.name.empty() ? "mesh " + std::to_string(index) : "mesh '" + mesh.name + "'";
}

}  // namespace

Converted ConvertModel(const Model& model, const ConvertOptions& options, const TexturePlan& plan,
                       const std::vector<TextureResult>& results) {
    Converted out;
    trs::TrsScene& scene = out.scene;
    std::vector<std::string>& warnings = out.warnings;
    warnings = plan.warnings;
    scene.version = 11;

    // A model without nodes still shows its meshes, at the origin.
    std::vector<ModelNode> standIn;
    if (model.nodes.empty() && !model.meshes.empty()) {
        ModelNode root;
        root.name = "Root";
        for (std::size_t i = 0; i < model.meshes.size(); ++i) root.meshes.push_back(static_cast<std::uint32_t>(i));
        standIn.push_back(std::move(root));
    }
    const std::vector<ModelNode>& nodes = standIn.empty() ? model.nodes : standIn;
    const Poses poses = ComputePoses(model, nodes, options, warnings);
    const double scale = std::isfinite(options.scale) && options.scale != 0 ? options.scale : 1;
    const Affine root{Scaling(scale), {}};
    auto restOf = [&](std::int32_t node) {
        if (node < 0) return root;
        const NodePose& p = poses.nodes[node];
        return p.animated ? p.samples[0] : p.rest;
    };
    auto animated = [&](std::int32_t node) { return node >= 0 && poses.nodes[node].animated; };
    NameTable names;

    // Materials, and the texture each draws with: its image when that converted, else its plain colour.
    for (const ModelMaterial& m : model.materials) scene.materials.push_back(BuildMaterial(m));
    std::int32_t defaultMaterial = -1;
    std::vector<std::int32_t> textureOfJob(plan.jobs.size(), -1);
    std::vector<bool> reported(plan.jobs.size(), false);
    auto textureFor = [&](std::int32_t job) {
        if (textureOfJob[job] < 0) {
            textureOfJob[job] = static_cast<std::int32_t>(scene.textures.size());
            scene.textures.push_back(plan.jobs[job].output);
            out.textureJobs.push_back(job);
        }
        return textureOfJob[job];
    };
    auto usable = [&](std::int32_t job) {
        return job >= 0 && static_cast<std::size_t>(job) < results.size() && results[job].ok;
    };
    struct Look {
        std::int32_t material, job;  // job -1: no texture could be made at all
        MaterialLook look;
    };
    std::vector<Look> looks(model.materials.size());
    for (std::size_t i = 0; i < model.materials.size(); ++i) {
        const std::int32_t image = plan.imageJob[i];
        std::int32_t job = plan.solidJob[i];
        if (usable(image)) {
            job = image;
        } else if (image >= 0 && !reported[image]) {
            reported[image] = true;
            const std::string why = static_cast<std::size_t>(image) < results.size() ? results[image].failure : "";
            warnings.push_back("texture " + plan.jobs[image].output + " not written: " +
                               (why.empty() ? "not converted" : why) + "; its materials take a plain colour");
        }
        const bool translucent = usable(job) && results[job].translucent;
        looks[i] = {static_cast<std::int32_t>(i), usable(job) ? job : -1,
                    LookOf(model.materials[i], job == image && translucent)};
    }

    // Mesh records. The stretch of each node's world transform goes into the vertices (the node keeps the
    // rotation and translation), so that the engine's lighting sees unit normals; instances with the same
    // stretch share their buffers.
    std::vector<MeshRecord> meshes;
    std::map<std::pair<std::uint32_t, std::vector<double>>, std::vector<std::pair<std::int32_t, std::size_t>>> built;
    std::vector<bool> meshWarned(model.meshes.size(), false);
    std::vector<bool> hasRecord(nodes.size(), false);
    std::vector<Sphere> bufferBounds;  // one per vertex buffer
    Sphere bounds;
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const ModelNode& node = nodes[n];
        if (node.meshes.empty()) continue;
        const auto self = static_cast<std::int32_t>(n);
        Mat3 stretch;
        Affine rigid;
        Split(restOf(self), &stretch, &rigid);
        bool scaleWarned = false;
        for (std::uint32_t m : node.meshes) {
            const ModelMesh& mesh = model.meshes[m];
            std::vector<double> key(&stretch.m[0][0], &stretch.m[0][0] + 9);
            auto found = built.find({m, key});
            if (found == built.end()) {
                GeometryReport report;
                std::vector<MeshPart> parts = BuildMeshParts(mesh, options.up, stretch, &report);
                if (!meshWarned[m]) {
                    meshWarned[m] = true;
                    const std::string where = MeshWhere(mesh, m) + " (" + NodeWhere(node, n) + ")";
                    MeshWarnings(mesh, where, warnings);
                    if (report.nonFinite)
                        warnings.push_back(where + ": " + std::to_string(report.nonFinite) +
                                           " values that were not finite numbers written as 0");
                }
                std::vector<std::pair<std::int32_t, std::size_t>> refs;
                for (MeshPart& part : parts) {
                    refs.push_back(
                        {static_cast<std::int32_t>(scene.vertexBuffers.size()), part.indices.indices.size() / 3});
                    bufferBounds.push_back({part.centre, part.radius});
                    scene.vertexBuffers.push_back(std::move(part.vertices));
                    scene.indexBuffers.push_back(std::move(part.indices));
                }
                found = built.emplace(std::make_pair(m, std::move(key)), std::move(refs)).first;
            }
            for (const auto& [buffer, triangles] : found->second) {
                MeshRecord rec;
                rec.modelNode = self;
                rec.node.name = names.Fit(node.name.empty() ? mesh.name : node.name, "mesh");
                rec.node.vertexBuffer = buffer;
                rec.node.indexBuffer = buffer;
                const std::int32_t mat = mesh.material;
                if (mat >= 0) {
                    rec.node.material = looks[mat].material;
                    if (looks[mat].job >= 0) rec.node.texture = textureFor(looks[mat].job);
                    ApplyLook(looks[mat].look, rec.node);
                    rec.blend = looks[mat].look.blend;
                } else {
                    if (defaultMaterial < 0) {
                        defaultMaterial = static_cast<std::int32_t>(scene.materials.size());
                        scene.materials.push_back(DefaultMaterial());
                    }
                    rec.node.material = defaultMaterial;
                    if (usable(plan.defaultSolidJob)) rec.node.texture = textureFor(plan.defaultSolidJob);
                }
                rec.node.matrix = ToTrsMatrix(rigid);
                if (animated(self)) {
                    const bool approx =
                        MakeKeys(poses.times, poses.nodes[n].samples, Affine{}, Unstretch(stretch), rec.node);
                    if (approx && !scaleWarned) {
                        scaleWarned = true;
                        warnings.push_back(NodeWhere(node, n) +
                                           ": scale keys with rotation are approximate (the engine scales the "
                                           "diagonal of the rotated matrix)");
                    }
                }
                out.triangles += triangles;
                meshes.push_back(std::move(rec));
            }
        }
    }
    // Bounding spheres, in each record's frame; together (at rest) they are what the framing camera frames.
    for (MeshRecord& rec : meshes) {
        const Sphere& s = bufferBounds[rec.node.vertexBuffer];
        rec.node.boundCentre = {ToFloat(s.centre.x), ToFloat(s.centre.y), ToFloat(s.centre.z)};
        rec.node.boundRadius = ToFloat(s.radius);
        Affine placed;
        const auto& m = rec.node.matrix;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) placed.linear.m[r][c] = m[r * 4 + c];
        }
        placed.translation = {m[12], m[13], m[14]};
        bounds = Merge(bounds, {TransformPoint(s.centre, placed), s.radius});
    }
    // Opaque meshes first: the engine draws in file order, and what is seen through a translucent surface must
    // be there before it.
    std::stable_partition(meshes.begin(), meshes.end(), [](const MeshRecord& r) { return !r.blend; });

    std::vector<Record> records;  // file order, for the links
    for (const MeshRecord& rec : meshes) {
        records.push_back({rec.modelNode});
        hasRecord[rec.modelNode] = true;
        scene.meshes.push_back(rec.node);
    }

    // Lights.
    for (const ModelLight& light : model.lights) {
        trs::TrsLight rec;
        Affine frame;
        const Affine world = restOf(light.node);
        if (!BuildLight(light, world, options.up, &rec, &frame, warnings)) continue;
        rec.name = names.Fit(light.name, "light");
        Mat3 stretch;
        Affine rigid;
        Split(frame * world, &stretch, &rigid);
        rec.matrix = ToTrsMatrix(rigid);
        if (animated(light.node))
            MakeKeys(poses.times, poses.nodes[light.node].samples, frame, Unstretch(stretch), rec);
        records.push_back({light.node});
        if (light.node >= 0) hasRecord[light.node] = true;
        scene.lights.push_back(std::move(rec));
    }
    const bool madeLight = scene.lights.empty();
    if (madeLight) {
        scene.lights.push_back(DefaultLight());
        records.push_back({-1});
    }

    // Cameras.
    for (const ModelCamera& camera : model.cameras) {
        Affine frame;
        const Affine world = restOf(camera.node);
        trs::TrsCamera rec = BuildCamera(camera, world, options.up, &frame, warnings);
        rec.name = names.Fit(camera.name, "camera");
        Mat3 stretch;
        Affine rigid;
        Split(frame * world, &stretch, &rigid);
        rec.matrix = ToTrsMatrix(rigid);
        if (animated(camera.node))
            MakeKeys(poses.times, poses.nodes[camera.node].samples, frame, Unstretch(stretch), rec);
        records.push_back({camera.node});
        if (camera.node >= 0) hasRecord[camera.node] = true;
        scene.cameras.push_back(std::move(rec));
    }
    const bool madeCamera = scene.cameras.empty();
    if (madeCamera) {
        scene.cameras.push_back(FramingCamera(bounds));
        records.push_back({-1});
    }

    // Dummies: every node with nothing else to show for it, with its whole world transform.
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        if (hasRecord[n]) continue;
        trs::TrsNode rec;
        rec.name = names.Fit(nodes[n].name, "node");
        rec.matrix = ToTrsMatrix(restOf(static_cast<std::int32_t>(n)));
        if (animated(static_cast<std::int32_t>(n)))
            MakeKeys(poses.times, poses.nodes[n].samples, Affine{}, Mat3{}, rec);
        records.push_back({static_cast<std::int32_t>(n)});
        scene.dummies.push_back(std::move(rec));
    }

    // The light and camera made here are named last, so that the model's own names stay as they are.
    if (madeLight) scene.lights.back().name = names.Fit("Light", "light");
    if (madeCamera) scene.cameras.back().name = names.Fit("Camera", "camera");

    // Links, now that the file order is known.
    std::vector<std::int32_t> first(nodes.size(), -1);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::int32_t n = records[r].modelNode;
        if (n >= 0 && first[n] < 0) first[n] = static_cast<std::int32_t>(r);
    }
    std::size_t r = 0;
    auto link = [&](trs::TrsNode& rec) {
        const std::int32_t n = records[r].modelNode;
        if (n >= 0) {
            const std::int32_t parent = nodes[n].parent;
            rec.link1 = parent >= 0 ? first[parent] : -1;
            rec.link2 = first[n] != static_cast<std::int32_t>(r) ? first[n] : -1;
        }
        ++r;
    };
    for (auto& rec : scene.meshes) link(rec);
    for (auto& rec : scene.lights) link(rec);
    for (auto& rec : scene.cameras) link(rec);
    for (auto& rec : scene.dummies) link(rec);

    if (out.triangles == 0) warnings.push_back("the model has no triangles to draw");
    return out;
}

}  // namespace tarn::import
