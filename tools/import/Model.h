// The model record: what tarn-import takes from a parsed model file, in the parser's own frame (right-handed,
// column vectors, the model's units), before anything is converted. The parser's child process fills it and sends
// it over a pipe (ModelCodec.h); the conversion reads only this, so the tests and the fuzz target build it by hand
// or from bytes. Nothing in it is trusted: the decoder checks indices and sizes, and the conversion copes with any
// float (NaN and infinities included).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn::import {

struct Vec2 {
    float x = 0, y = 0;
};
struct Vec3 {
    float x = 0, y = 0, z = 0;
};
struct Quat {
    float x = 0, y = 0, z = 0, w = 1;  // w the scalar part
};
struct Colour {
    float r = 0, g = 0, b = 0, a = 1;
};

// A 4 x 4 transform as the parser keeps it: row-major a1 a2 a3 a4 b1 ... d4, column vectors (translation in a4,
// b4, c4).
using ModelMatrix = std::array<float, 16>;
ModelMatrix ModelIdentity();

struct ModelMesh {
    std::string name;
    std::int32_t material = -1;  // into Model::materials; -1 none
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // empty, or one per position
    std::vector<Vec2> uvs;      // the first coordinate set: empty, or one per position (v up, as the parser has it)
    std::vector<std::uint32_t> indices;  // triangles, three per face, each below positions.size()
    // What the parser had and the format cannot hold (counts, for the warnings).
    std::uint32_t points = 0;        // point faces left out
    std::uint32_t lines = 0;         // line faces left out
    std::uint32_t polygons = 0;      // faces of more than three corners left out (the parser triangulates)
    std::uint32_t extraUvSets = 0;   // coordinate sets after the first
    std::uint32_t colourSets = 0;    // vertex colour sets
    std::uint32_t bones = 0;         // skin bones
    std::uint32_t morphTargets = 0;  // morph targets (animation meshes)
};

// Texture kinds the parser may name besides the base colour, for the warnings.
enum class TextureKind : std::uint8_t {
    Diffuse,
    BaseColour,
    Specular,
    Ambient,
    Emissive,
    Height,
    Normals,
    Shininess,
    Opacity,
    Displacement,
    Lightmap,
    Reflection,
    MetalRoughness,
    Metalness,
    Roughness,
    Occlusion,
    Sheen,
    Clearcoat,
    Transmission,
    Other
};
const char* TextureKindName(TextureKind kind);

struct ModelTextureRef {
    TextureKind kind = TextureKind::Diffuse;
    std::string path;            // as the model names it (relative to the model file, or absolute)
    std::int32_t embedded = -1;  // into Model::textures when the image is inside the model file
    std::uint32_t uvSet = 0;     // coordinate set the map reads
};

enum class AlphaMode : std::uint8_t { Unspecified, Opaque, Mask, Blend };

struct ModelMaterial {
    std::string name;
    bool hasDiffuse = false;
    Colour diffuse{1, 1, 1, 1};  // base colour or diffuse colour
    bool hasAmbient = false;
    Colour ambient{0, 0, 0, 1};
    bool hasSpecular = false;
    Colour specular{0, 0, 0, 1};
    float specularStrength = 1;  // scales the specular colour
    float shininess = 0;         // specular exponent
    Colour emissive{0, 0, 0, 1};
    float opacity = 1;  // 1 opaque
    AlphaMode alphaMode = AlphaMode::Unspecified;
    bool additive = false;  // blends by adding
    bool twoSided = false;
    // The maps, the base colour (or diffuse) map first when there is one.
    std::vector<ModelTextureRef> textures;
};

// An image inside the model file: the file's bytes (height 0, as the parser keeps a compressed image), or
// width x height texels of 4 bytes in the order b, g, r, a (D3DFMT_A8R8G8B8 in memory).
struct ModelTexture {
    std::string name;        // the name the model gives it, if any
    std::string formatHint;  // the file type of compressed bytes ("png", "jpg"), or empty
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> bytes;
};

struct ModelNode {
    std::string name;
    std::int32_t parent = -1;                 // below the node's own index; -1 for a root
    ModelMatrix transform = ModelIdentity();  // relative to the parent
    std::vector<std::uint32_t> meshes;        // into Model::meshes
};

struct ModelCamera {
    std::string name;
    std::int32_t node = -1;  // the node that places it; -1: none (at the origin)
    Vec3 position{0, 0, 0};  // in the node's frame
    Vec3 lookAt{0, 0, -1};   // a direction, in the node's frame
    Vec3 up{0, 1, 0};
    float horizontalFov = 0.785398f;  // the whole horizontal angle, radians (as the parser reports it)
    float aspect = 0;                 // width / height; 0 unknown
    float nearPlane = 0.1f, farPlane = 1000;
    float orthographicWidth = 0;  // non-zero: an orthographic camera
};

enum class LightKind : std::uint8_t { Undefined, Directional, Point, Spot, Ambient, Area };

struct ModelLight {
    std::string name;
    std::int32_t node = -1;
    LightKind kind = LightKind::Point;
    Vec3 position{0, 0, 0};  // in the node's frame
    Vec3 direction{0, 0, -1};
    Colour diffuse{1, 1, 1, 1}, specular{1, 1, 1, 1}, ambient{0, 0, 0, 1};
    float attenuation0 = 1, attenuation1 = 0, attenuation2 = 0;
    float innerCone = 0, outerCone = 0;  // whole angles, radians
};

enum class Interpolation : std::uint8_t { Linear, Step, Spherical, CubicSpline };

struct VectorKey {
    double time = 0;  // in ticks
    Vec3 value;
    Interpolation interpolation = Interpolation::Linear;
};
struct QuatKey {
    double time = 0;
    Quat value;
    Interpolation interpolation = Interpolation::Linear;
};

struct ModelChannel {
    std::int32_t node = -1;  // the node whose transform it replaces
    std::vector<VectorKey> positions;
    std::vector<QuatKey> rotations;
    std::vector<VectorKey> scales;
};

struct ModelAnimation {
    std::string name;
    double duration = 0;        // ticks
    double ticksPerSecond = 0;  // 0: not given
    std::vector<ModelChannel> channels;
    std::uint32_t meshChannels = 0;  // vertex or morph animation channels (the format holds none)
};

struct Model {
    std::vector<ModelMesh> meshes;
    std::vector<ModelMaterial> materials;
    std::vector<ModelTexture> textures;
    std::vector<ModelNode> nodes;  // parents before their children; node 0 the root when there is one
    std::vector<ModelCamera> cameras;
    std::vector<ModelLight> lights;
    std::vector<ModelAnimation> animations;
};

}  // namespace tarn::import
