#include "tools/trs/TrsWriter.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarn::trs {

// The format is little-endian; this host is too, so values are copied byte for byte.
static_assert(std::endian::native == std::endian::little, "the .TRS writer assumes a little-endian host");

void TrsByteSink::bytes(const void* data, std::size_t size) {
    if (size == 0) return;
    const auto* p = static_cast<const std::uint8_t*>(data);
    data_.insert(data_.end(), p, p + size);
}

void TrsByteSink::i32(std::int32_t value) { bytes(&value, sizeof value); }
void TrsByteSink::u16(std::uint16_t value) { bytes(&value, sizeof value); }
void TrsByteSink::u8(std::uint8_t value) { data_.push_back(value); }
void TrsByteSink::f32(float value) { bytes(&value, sizeof value); }
void TrsByteSink::floats(const float* values, std::size_t count) { bytes(values, count * sizeof(float)); }

void TrsByteSink::fixedString(const std::string& text, std::size_t fieldSize, bool terminate) {
    std::size_t n = text.size();
    const std::size_t limit = terminate && fieldSize > 0 ? fieldSize - 1 : fieldSize;
    if (n > limit) n = limit;
    bytes(text.data(), n);
    data_.insert(data_.end(), fieldSize - n, 0);
}

TrsMatrix TrsIdentity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

TrsMatrix TrsTranslation(float x, float y, float z) {
    TrsMatrix m = TrsIdentity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

std::size_t TrsNodeHeaderSize(const TrsNode& node) {
    return 108 + node.userData.size() + 16 * node.positionKeys.size() + 20 * node.rotationKeys.size() +
           16 * node.scaleKeys.size();
}

void WriteTrsNodeHeader(TrsByteSink& sink, const TrsNode& node) {
    sink.fixedString(node.name, 20);
    sink.i32(node.link1);
    sink.i32(node.link2);
    sink.floats(node.matrix.data(), 16);
    sink.i32(static_cast<std::int32_t>(node.userData.size()));
    sink.bytes(node.userData.data(), node.userData.size());
    sink.i32(static_cast<std::int32_t>(node.positionKeys.size()));
    sink.i32(static_cast<std::int32_t>(node.rotationKeys.size()));
    sink.i32(static_cast<std::int32_t>(node.scaleKeys.size()));
    for (const TrsPositionKey& k : node.positionKeys) sink.floats(&k.time, 4);
    for (const TrsRotationKey& k : node.rotationKeys) sink.floats(&k.time, 5);
    for (const TrsScaleKey& k : node.scaleKeys) sink.floats(&k.time, 4);
}

void WriteTrsMaterial(TrsByteSink& sink, const TrsMaterial& material) {
    sink.floats(material.diffuse.data(), 4);
    sink.floats(material.ambient.data(), 4);
    sink.floats(material.specular.data(), 4);
    sink.floats(material.emissive.data(), 4);
    sink.f32(material.power);
}

void WriteTrsVertexBuffer(TrsByteSink& sink, const TrsVertexBuffer& buffer) {
    static_assert(sizeof(TrsVertex) == kTrsVertexSize);
    sink.i32(static_cast<std::int32_t>(buffer.vertices.size()));
    sink.bytes(buffer.vertices.data(), buffer.vertices.size() * sizeof(TrsVertex));
}

void WriteTrsIndexBuffer(TrsByteSink& sink, const TrsIndexBuffer& buffer) {
    const std::size_t triangles = buffer.indices.size() / 3;
    sink.i32(static_cast<std::int32_t>(triangles));
    sink.bytes(buffer.indices.data(), triangles * 3 * sizeof(std::uint16_t));
}

void WriteTrsMeshNode(TrsByteSink& sink, const TrsMeshNode& mesh, std::int32_t version) {
    WriteTrsNodeHeader(sink, mesh);
    sink.i32(mesh.vertexBuffer);
    sink.i32(mesh.indexBuffer);
    sink.i32(mesh.material);
    sink.i32(mesh.texture);
    if (version > 10) {
        const std::uint8_t states[7] = {mesh.zEnable,   mesh.zWriteEnable, mesh.alphaBlendEnable, mesh.srcBlend,
                                        mesh.destBlend, mesh.billboard,    mesh.cullMode};
        sink.bytes(states, sizeof states);
    }
    sink.floats(mesh.boundCentre.data(), 3);
    sink.f32(mesh.boundRadius);
}

void WriteTrsLight(TrsByteSink& sink, const TrsLight& light) {
    WriteTrsNodeHeader(sink, light);
    sink.i32(light.type);
    sink.floats(light.diffuse.data(), 4);
    sink.floats(light.specular.data(), 4);
    sink.floats(light.ambient.data(), 4);
    sink.floats(light.position.data(), 3);
    sink.floats(light.direction.data(), 3);
    const float tail[7] = {light.range,        light.falloff, light.attenuation0, light.attenuation1,
                           light.attenuation2, light.theta,   light.phi};
    sink.floats(tail, 7);
}

void WriteTrsCamera(TrsByteSink& sink, const TrsCamera& camera) {
    WriteTrsNodeHeader(sink, camera);
    sink.floats(camera.eye.data(), 3);
    sink.floats(camera.lookAt.data(), 3);
    sink.floats(camera.up.data(), 3);
    sink.f32(camera.fieldOfView);
    sink.f32(camera.farPlane);
    sink.f32(camera.nearPlane);
}

std::vector<std::uint8_t> WriteTrs(const TrsScene& scene) {
    TrsByteSink sink;
    auto count = [&](std::size_t n) { sink.i32(static_cast<std::int32_t>(n)); };
    sink.i32(scene.version);
    count(scene.textures.size());
    for (const std::string& name : scene.textures) sink.fixedString(name, kTrsTextureNameSize);
    count(scene.materials.size());
    for (const TrsMaterial& m : scene.materials) WriteTrsMaterial(sink, m);
    count(scene.vertexBuffers.size());
    for (const TrsVertexBuffer& b : scene.vertexBuffers) WriteTrsVertexBuffer(sink, b);
    count(scene.indexBuffers.size());
    for (const TrsIndexBuffer& b : scene.indexBuffers) WriteTrsIndexBuffer(sink, b);
    count(scene.meshes.size());
    for (const TrsMeshNode& m : scene.meshes) WriteTrsMeshNode(sink, m, scene.version);
    count(scene.lights.size());
    for (const TrsLight& l : scene.lights) WriteTrsLight(sink, l);
    count(scene.cameras.size());
    for (const TrsCamera& c : scene.cameras) WriteTrsCamera(sink, c);
    count(scene.dummies.size());
    for (const TrsNode& d : scene.dummies) WriteTrsNodeHeader(sink, d);
    return std::move(sink.data());
}

bool WriteTrsFile(const TrsScene& scene, const std::string& path, std::string* error) {
    const std::vector<std::uint8_t> bytes = WriteTrs(scene);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace tarn::trs
