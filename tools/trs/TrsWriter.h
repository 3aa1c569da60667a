// Builds .TRS scene files from plain descriptions: TrsScene -> bytes or file. Either version, any section, any
// node kind, user data and keys. Strings longer than their field are cut to fit (a terminator always stays).
// TrsByteSink is the low-level writer for hand-made (also deliberately damaged) files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn::trs {

// Appends little-endian fields to a byte vector.
class TrsByteSink {
public:
    void i32(std::int32_t value);
    void u16(std::uint16_t value);
    void u8(std::uint8_t value);
    void f32(float value);
    void floats(const float* values, std::size_t count);
    void bytes(const void* data, std::size_t size);
    // Writes exactly `fieldSize` bytes: the text, then zeros. With `terminate` the text is cut to fieldSize - 1 so
    // the field keeps its zero; without it a text of fieldSize or more fills the field with no terminator.
    void fixedString(const std::string& text, std::size_t fieldSize, bool terminate = true);

    std::vector<std::uint8_t>& data() { return data_; }
    const std::vector<std::uint8_t>& data() const { return data_; }
    std::size_t size() const { return data_.size(); }

private:
    std::vector<std::uint8_t> data_;
};

using TrsMatrix = std::array<float, 16>;  // row-major _11 ... _44, translation in elements 12, 13, 14
TrsMatrix TrsIdentity();
TrsMatrix TrsTranslation(float x, float y, float z);

struct TrsPositionKey {
    float time, x, y, z;
};
struct TrsRotationKey {
    float time, x, y, z, w;  // unit quaternion, w the scalar part
};
struct TrsScaleKey {
    float time, x, y, z;
};

// The header shared by every node kind.
struct TrsNode {
    std::string name;  // at most 19 characters are stored
    std::int32_t link1 = -1;
    std::int32_t link2 = -1;
    TrsMatrix matrix = TrsIdentity();
    std::vector<std::uint8_t> userData;
    std::vector<TrsPositionKey> positionKeys;
    std::vector<TrsRotationKey> rotationKeys;
    std::vector<TrsScaleKey> scaleKeys;
};

struct TrsMaterial {
    std::array<float, 4> diffuse{1, 1, 1, 1};
    std::array<float, 4> ambient{1, 1, 1, 1};
    std::array<float, 4> specular{0, 0, 0, 0};
    std::array<float, 4> emissive{0, 0, 0, 0};
    float power = 0;
};

// Vertex format XYZ | NORMAL | TEX1: 32 bytes.
struct TrsVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

struct TrsVertexBuffer {
    std::vector<TrsVertex> vertices;
};

struct TrsIndexBuffer {
    std::vector<std::uint16_t> indices;  // three per triangle; a trailing partial triangle is not written
};

struct TrsMeshNode : TrsNode {
    std::int32_t vertexBuffer = 0;
    std::int32_t indexBuffer = 0;
    std::int32_t material = -1;  // -1 = none
    std::int32_t texture = -1;   // -1 = none
    // Render states, written only when the file's version is above 10.
    std::uint8_t zEnable = 1;
    std::uint8_t zWriteEnable = 1;
    std::uint8_t alphaBlendEnable = 0;
    std::uint8_t srcBlend = 2;   // D3DBLEND_ONE
    std::uint8_t destBlend = 1;  // D3DBLEND_ZERO
    std::uint8_t billboard = 0;  // 0 none, 1 yaw, 2 roll, 3 facing
    std::uint8_t cullMode = 3;   // D3DCULL_CCW
    std::array<float, 3> boundCentre{0, 0, 0};
    float boundRadius = 0;
};

// A light node; the fields after the header are a D3DLIGHT9 in its own order.
struct TrsLight : TrsNode {
    std::int32_t type = 3;  // 1 point, 2 spot, 3 directional
    std::array<float, 4> diffuse{1, 1, 1, 1};
    std::array<float, 4> specular{0, 0, 0, 0};
    std::array<float, 4> ambient{0, 0, 0, 0};
    std::array<float, 3> position{0, 0, 0};
    std::array<float, 3> direction{0, 0, 1};
    float range = 1000;
    float falloff = 0;
    float attenuation0 = 1;
    float attenuation1 = 0;
    float attenuation2 = 0;
    float theta = 0;
    float phi = 0;
};

struct TrsCamera : TrsNode {
    std::array<float, 3> eye{1, 0, 0};
    std::array<float, 3> lookAt{0, 0, 0};
    std::array<float, 3> up{0, 1, 0};
    float fieldOfView = 0.785398185f;  // vertical, radians
    float farPlane = 1000;             // stored before the near plane
    float nearPlane = 1;
};

struct TrsScene {
    std::int32_t version = 11;          // above 10: mesh nodes carry their seven render-state bytes
    std::vector<std::string> textures;  // image file names, at most 255 characters stored
    std::vector<TrsMaterial> materials;
    std::vector<TrsVertexBuffer> vertexBuffers;
    std::vector<TrsIndexBuffer> indexBuffers;
    std::vector<TrsMeshNode> meshes;
    std::vector<TrsLight> lights;
    std::vector<TrsCamera> cameras;
    std::vector<TrsNode> dummies;
};

// Record writers, for callers that assemble a file section by section.
void WriteTrsNodeHeader(TrsByteSink& sink, const TrsNode& node);
void WriteTrsMaterial(TrsByteSink& sink, const TrsMaterial& material);
void WriteTrsVertexBuffer(TrsByteSink& sink, const TrsVertexBuffer& buffer);
void WriteTrsIndexBuffer(TrsByteSink& sink, const TrsIndexBuffer& buffer);
void WriteTrsMeshNode(TrsByteSink& sink, const TrsMeshNode& mesh, std::int32_t version);
void WriteTrsLight(TrsByteSink& sink, const TrsLight& light);
void WriteTrsCamera(TrsByteSink& sink, const TrsCamera& camera);

// The whole file.
std::vector<std::uint8_t> WriteTrs(const TrsScene& scene);

// Writes the file; false with a reason in *error (when given) if it cannot be created or written.
bool WriteTrsFile(const TrsScene& scene, const std::string& path, std::string* error = nullptr);

// Byte sizes of the records, for tests and tools that compute offsets.
inline constexpr std::size_t kTrsTextureNameSize = 256;
inline constexpr std::size_t kTrsMaterialSize = 68;
inline constexpr std::size_t kTrsVertexSize = 32;
inline constexpr std::size_t kTrsLightSize = 104;   // after the node header
inline constexpr std::size_t kTrsCameraSize = 48;   // after the node header
std::size_t TrsNodeHeaderSize(const TrsNode& node);  // 108 + user data + keys

}  // namespace tarn::trs
