// The model record to bytes and back (the pipe between the parser's child process and the conversion). Arrays of
// plain values (positions, indices, texels) go as one block each, so a large mesh costs one copy each way.
#include "tools/import/ModelCodec.h"

#include <bit>
#include <cstring>
#include <type_traits>

namespace tarn::import {

static_assert(std::endian::native == std::endian::little, "the model record is little-endian, as this host");
static_assert(sizeof(Vec2) == 8 && sizeof(Vec3) == 12 && sizeof(Quat) == 16 && sizeof(Colour) == 16);

namespace {

constexpr char kMagic[4] = {'T', 'I', 'M', 'R'};
constexpr std::uint32_t kMaxString = 1u << 16;  // longer names are not names

class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    void raw(const void* data, std::size_t size) {
        if (size == 0) return;
        const std::size_t at = out_.size();
        out_.resize(at + size);
        std::memcpy(out_.data() + at, data, size);
    }
    template <typename T>
    void value(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        raw(&v, sizeof v);
    }
    void u8(std::uint8_t v) { value(v); }
    void u32(std::uint32_t v) { value(v); }
    void i32(std::int32_t v) { value(v); }
    void f32(float v) { value(v); }
    void f64(double v) { value(v); }
    void text(const std::string& s) {
        const std::size_t n = s.size() < kMaxString ? s.size() : kMaxString;
        u32(static_cast<std::uint32_t>(n));
        raw(s.data(), n);
    }
    template <typename T>
    void block(const std::vector<T>& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        u32(static_cast<std::uint32_t>(v.size()));
        raw(v.data(), v.size() * sizeof(T));
    }

private:
    std::vector<std::uint8_t>& out_;
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
    bool failed() const { return failed_; }
    const std::string& why() const { return why_; }
    bool fail(const std::string& why) {
        if (!failed_) failed_ = true, why_ = why;
        return false;
    }
    bool raw(void* out, std::size_t size) {
        if (failed_) return false;
        if (size > left()) return fail("the record ends early");
        if (size != 0) std::memcpy(out, p_, size);
        p_ += size;
        return true;
    }
    template <typename T>
    T value() {
        T v{};
        raw(&v, sizeof v);
        return v;
    }
    std::uint8_t u8() { return value<std::uint8_t>(); }
    std::uint32_t u32() { return value<std::uint32_t>(); }
    std::int32_t i32() { return value<std::int32_t>(); }
    float f32() { return value<float>(); }
    double f64() { return value<double>(); }
    bool flag() {
        const std::uint8_t v = u8();
        if (v > 1) fail("a flag of " + std::to_string(v));
        return v == 1;
    }
    template <typename E>
    E enumeration(E last, const char* what) {
        const std::uint8_t v = u8();
        if (v > static_cast<std::uint8_t>(last)) fail(std::string("unknown ") + what + " " + std::to_string(v));
        return static_cast<E>(v);
    }
    void text(std::string& s) {
        const std::uint32_t n = u32();
        if (failed_) return;
        if (n > kMaxString || n > left()) {
            fail("a name is longer than the record");
            return;
        }
        s.assign(reinterpret_cast<const char*>(p_), n);
        p_ += n;
    }
    // A count of records of at least `minSize` bytes each: never more than the bytes left could hold.
    std::uint32_t count(std::size_t minSize, const char* what) {
        const std::uint32_t n = u32();
        if (failed_) return 0;
        if (static_cast<std::uint64_t>(n) * minSize > left()) {
            fail(std::string("more ") + what + " than the record holds");
            return 0;
        }
        return n;
    }
    template <typename T>
    void block(std::vector<T>& v, const char* what) {
        const std::uint32_t n = count(sizeof(T), what);
        if (failed_) return;
        v.resize(n);
        raw(v.data(), static_cast<std::size_t>(n) * sizeof(T));
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    bool failed_ = false;
    std::string why_;
};

void WriteVectorKeys(Writer& w, const std::vector<VectorKey>& keys) {
    w.u32(static_cast<std::uint32_t>(keys.size()));
    for (const VectorKey& k : keys) {
        w.f64(k.time);
        w.value(k.value);
        w.u8(static_cast<std::uint8_t>(k.interpolation));
    }
}

void ReadVectorKeys(Reader& r, std::vector<VectorKey>& keys) {
    const std::uint32_t n = r.count(8 + 12 + 1, "keys");
    keys.resize(n);
    for (VectorKey& k : keys) {
        k.time = r.f64();
        k.value = r.value<Vec3>();
        k.interpolation = r.enumeration(Interpolation::CubicSpline, "interpolation");
    }
}

void WriteQuatKeys(Writer& w, const std::vector<QuatKey>& keys) {
    w.u32(static_cast<std::uint32_t>(keys.size()));
    for (const QuatKey& k : keys) {
        w.f64(k.time);
        w.value(k.value);
        w.u8(static_cast<std::uint8_t>(k.interpolation));
    }
}

void ReadQuatKeys(Reader& r, std::vector<QuatKey>& keys) {
    const std::uint32_t n = r.count(8 + 16 + 1, "keys");
    keys.resize(n);
    for (QuatKey& k : keys) {
        k.time = r.f64();
        k.value = r.value<Quat>();
        k.interpolation = r.enumeration(Interpolation::CubicSpline, "interpolation");
    }
}

std::string Named(const char* what, std::size_t index) { return std::string(what) + " " + std::to_string(index); }

}  // namespace

void EncodeModel(const Model& model, std::vector<std::uint8_t>& out) {
    std::size_t estimate = 64;
    for (const ModelMesh& m : model.meshes) {
        estimate += 64 + m.positions.size() * 12 + m.normals.size() * 12 + m.uvs.size() * 8 + m.indices.size() * 4;
    }
    for (const ModelTexture& t : model.textures) estimate += 64 + t.bytes.size();
    out.reserve(out.size() + estimate);

    Writer w(out);
    w.raw(kMagic, 4);
    w.u32(kModelCodecVersion);

    w.u32(static_cast<std::uint32_t>(model.meshes.size()));
    for (const ModelMesh& m : model.meshes) {
        w.text(m.name);
        w.i32(m.material);
        w.block(m.positions);
        w.block(m.normals);
        w.block(m.uvs);
        w.block(m.indices);
        for (std::uint32_t n : {m.points, m.lines, m.polygons, m.extraUvSets, m.colourSets, m.bones, m.morphTargets})
            w.u32(n);
    }

    w.u32(static_cast<std::uint32_t>(model.materials.size()));
    for (const ModelMaterial& m : model.materials) {
        w.text(m.name);
        w.u8(m.hasDiffuse);
        w.value(m.diffuse);
        w.u8(m.hasAmbient);
        w.value(m.ambient);
        w.u8(m.hasSpecular);
        w.value(m.specular);
        w.f32(m.specularStrength);
        w.f32(m.shininess);
        w.value(m.emissive);
        w.f32(m.opacity);
        w.u8(static_cast<std::uint8_t>(m.alphaMode));
        w.u8(m.additive);
        w.u8(m.twoSided);
        w.u32(static_cast<std::uint32_t>(m.textures.size()));
        for (const ModelTextureRef& t : m.textures) {
            w.u8(static_cast<std::uint8_t>(t.kind));
            w.text(t.path);
            w.i32(t.embedded);
            w.u32(t.uvSet);
        }
    }

    w.u32(static_cast<std::uint32_t>(model.textures.size()));
    for (const ModelTexture& t : model.textures) {
        w.text(t.name);
        w.text(t.formatHint);
        w.u32(t.width);
        w.u32(t.height);
        w.block(t.bytes);
    }

    w.u32(static_cast<std::uint32_t>(model.nodes.size()));
    for (const ModelNode& n : model.nodes) {
        w.text(n.name);
        w.i32(n.parent);
        w.value(n.transform);
        w.block(n.meshes);
    }

    w.u32(static_cast<std::uint32_t>(model.cameras.size()));
    for (const ModelCamera& c : model.cameras) {
        w.text(c.name);
        w.i32(c.node);
        w.value(c.position);
        w.value(c.lookAt);
        w.value(c.up);
        for (float f : {c.horizontalFov, c.aspect, c.nearPlane, c.farPlane, c.orthographicWidth}) w.f32(f);
    }

    w.u32(static_cast<std::uint32_t>(model.lights.size()));
    for (const ModelLight& l : model.lights) {
        w.text(l.name);
        w.i32(l.node);
        w.u8(static_cast<std::uint8_t>(l.kind));
        w.value(l.position);
        w.value(l.direction);
        w.value(l.diffuse);
        w.value(l.specular);
        w.value(l.ambient);
        for (float f : {l.attenuation0, l.attenuation1, l.attenuation2, l.innerCone, l.outerCone}) w.f32(f);
    }

    w.u32(static_cast<std::uint32_t>(model.animations.size()));
    for (const ModelAnimation& a : model.animations) {
        w.text(a.name);
        w.f64(a.duration);
        w.f64(a.ticksPerSecond);
        w.u32(a.meshChannels);
        w.u32(static_cast<std::uint32_t>(a.channels.size()));
        for (const ModelChannel& c : a.channels) {
            w.i32(c.node);
            WriteVectorKeys(w, c.positions);
            WriteQuatKeys(w, c.rotations);
            WriteVectorKeys(w, c.scales);
        }
    }
}

bool DecodeModel(const std::uint8_t* data, std::size_t size, Model& model, std::string* error) {
    model = Model{};
    Reader r(data, size);
    char magic[4] = {};
    r.raw(magic, 4);
    if (!r.failed() && std::memcmp(magic, kMagic, 4) != 0) r.fail("not a model record");
    const std::uint32_t version = r.u32();
    if (!r.failed() && version != kModelCodecVersion) r.fail("model record version " + std::to_string(version));

    // The smallest record of each kind, for the count checks.
    model.meshes.resize(r.count(4 + 4 + 16 + 28, "meshes"));
    for (ModelMesh& m : model.meshes) {
        if (r.failed()) break;
        r.text(m.name);
        m.material = r.i32();
        r.block(m.positions, "positions");
        r.block(m.normals, "normals");
        r.block(m.uvs, "texture coordinates");
        r.block(m.indices, "indices");
        for (std::uint32_t* n :
             {&m.points, &m.lines, &m.polygons, &m.extraUvSets, &m.colourSets, &m.bones, &m.morphTargets})
            *n = r.u32();
    }

    model.materials.resize(r.count(4 + 3 + 48 + 8 + 16 + 4 + 3 + 4, "materials"));
    for (ModelMaterial& m : model.materials) {
        if (r.failed()) break;
        r.text(m.name);
        m.hasDiffuse = r.flag();
        m.diffuse = r.value<Colour>();
        m.hasAmbient = r.flag();
        m.ambient = r.value<Colour>();
        m.hasSpecular = r.flag();
        m.specular = r.value<Colour>();
        m.specularStrength = r.f32();
        m.shininess = r.f32();
        m.emissive = r.value<Colour>();
        m.opacity = r.f32();
        m.alphaMode = r.enumeration(AlphaMode::Blend, "alpha mode");
        m.additive = r.flag();
        m.twoSided = r.flag();
        m.textures.resize(r.count(1 + 4 + 4 + 4, "texture maps"));
        for (ModelTextureRef& t : m.textures) {
            t.kind = r.enumeration(TextureKind::Other, "texture kind");
            r.text(t.path);
            t.embedded = r.i32();
            t.uvSet = r.u32();
        }
    }

    model.textures.resize(r.count(4 + 4 + 8 + 4, "embedded images"));
    for (ModelTexture& t : model.textures) {
        if (r.failed()) break;
        r.text(t.name);
        r.text(t.formatHint);
        t.width = r.u32();
        t.height = r.u32();
        r.block(t.bytes, "image bytes");
    }

    model.nodes.resize(r.count(4 + 4 + 64 + 4, "nodes"));
    for (ModelNode& n : model.nodes) {
        if (r.failed()) break;
        r.text(n.name);
        n.parent = r.i32();
        n.transform = r.value<ModelMatrix>();
        r.block(n.meshes, "node meshes");
    }

    model.cameras.resize(r.count(4 + 4 + 36 + 20, "cameras"));
    for (ModelCamera& c : model.cameras) {
        if (r.failed()) break;
        r.text(c.name);
        c.node = r.i32();
        c.position = r.value<Vec3>();
        c.lookAt = r.value<Vec3>();
        c.up = r.value<Vec3>();
        for (float* f : {&c.horizontalFov, &c.aspect, &c.nearPlane, &c.farPlane, &c.orthographicWidth}) *f = r.f32();
    }

    model.lights.resize(r.count(4 + 4 + 1 + 24 + 48 + 20, "lights"));
    for (ModelLight& l : model.lights) {
        if (r.failed()) break;
        r.text(l.name);
        l.node = r.i32();
        l.kind = r.enumeration(LightKind::Area, "light kind");
        l.position = r.value<Vec3>();
        l.direction = r.value<Vec3>();
        l.diffuse = r.value<Colour>();
        l.specular = r.value<Colour>();
        l.ambient = r.value<Colour>();
        for (float* f : {&l.attenuation0, &l.attenuation1, &l.attenuation2, &l.innerCone, &l.outerCone}) *f = r.f32();
    }

    model.animations.resize(r.count(4 + 16 + 8, "animations"));
    for (ModelAnimation& a : model.animations) {
        if (r.failed()) break;
        r.text(a.name);
        a.duration = r.f64();
        a.ticksPerSecond = r.f64();
        a.meshChannels = r.u32();
        a.channels.resize(r.count(4 + 12, "channels"));
        for (ModelChannel& c : a.channels) {
            if (r.failed()) break;
            c.node = r.i32();
            ReadVectorKeys(r, c.positions);
            ReadQuatKeys(r, c.rotations);
            ReadVectorKeys(r, c.scales);
        }
    }

    if (!r.failed() && r.left() != 0) r.fail(std::to_string(r.left()) + " bytes after the record");
    if (r.failed()) {
        if (error) *error = "model record: " + r.why();
        return false;
    }
    return CheckModel(model, error);
}

bool CheckModel(const Model& model, std::string* error) {
    auto refuse = [&](const std::string& why) {
        if (error) *error = "model record: " + why;
        return false;
    };
    const std::size_t meshes = model.meshes.size(), materials = model.materials.size();
    const std::size_t textures = model.textures.size(), nodes = model.nodes.size();
    for (std::size_t i = 0; i < meshes; ++i) {
        const ModelMesh& m = model.meshes[i];
        const std::size_t n = m.positions.size();
        if (m.material < -1 || (m.material >= 0 && static_cast<std::size_t>(m.material) >= materials))
            return refuse(Named("mesh", i) + " names material " + std::to_string(m.material));
        if (!m.normals.empty() && m.normals.size() != n) return refuse(Named("mesh", i) + ": normals do not match");
        if (!m.uvs.empty() && m.uvs.size() != n) return refuse(Named("mesh", i) + ": texture coordinates do not match");
        if (m.indices.size() % 3 != 0) return refuse(Named("mesh", i) + ": indices are not whole triangles");
        for (std::uint32_t index : m.indices) {
            if (index >= n) return refuse(Named("mesh", i) + ": index " + std::to_string(index) + " past its vertices");
        }
    }
    for (std::size_t i = 0; i < materials; ++i) {
        for (const ModelTextureRef& t : model.materials[i].textures) {
            if (t.embedded < -1 || (t.embedded >= 0 && static_cast<std::size_t>(t.embedded) >= textures))
                return refuse(Named("material", i) + " names embedded image " + std::to_string(t.embedded));
        }
    }
    for (std::size_t i = 0; i < textures; ++i) {
        const ModelTexture& t = model.textures[i];
        if (t.height != 0 && static_cast<std::uint64_t>(t.width) * t.height * 4 != t.bytes.size())
            return refuse(Named("embedded image", i) + ": texels do not match its size");
    }
    for (std::size_t i = 0; i < nodes; ++i) {
        const ModelNode& n = model.nodes[i];
        if (n.parent < -1 || n.parent >= static_cast<std::int64_t>(i))
            return refuse(Named("node", i) + " has parent " + std::to_string(n.parent));
        for (std::uint32_t mesh : n.meshes) {
            if (mesh >= meshes) return refuse(Named("node", i) + " names mesh " + std::to_string(mesh));
        }
    }
    auto nodeOk = [&](std::int32_t node) { return node >= -1 && (node < 0 || static_cast<std::size_t>(node) < nodes); };
    for (std::size_t i = 0; i < model.cameras.size(); ++i) {
        if (!nodeOk(model.cameras[i].node)) return refuse(Named("camera", i) + " names a node past the list");
    }
    for (std::size_t i = 0; i < model.lights.size(); ++i) {
        if (!nodeOk(model.lights[i].node)) return refuse(Named("light", i) + " names a node past the list");
    }
    for (std::size_t i = 0; i < model.animations.size(); ++i) {
        for (const ModelChannel& c : model.animations[i].channels) {
            if (c.node < 0 || static_cast<std::size_t>(c.node) >= nodes)
                return refuse(Named("animation", i) + " moves node " + std::to_string(c.node));
        }
    }
    return true;
}

}  // namespace tarn::import
