#include "scene/Scene.h"

#include "scene/SceneDevice.h"
#include "texture/D3DXTexture.h"
#include "SceneReader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {

constexpr DWORD kSceneFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;  // 274
constexpr std::size_t kVertexSize = 32;
constexpr std::size_t kTriangleSize = 6;
constexpr std::size_t kNodeHeaderMin = 108;  // a node header without user data or keys
constexpr std::size_t kTextureNameSize = 256;
constexpr std::size_t kCameraSize = 48;
constexpr std::size_t kMaxScenePath = 255;
constexpr std::size_t kMaxTexturePath = 259;

// Joins two strings into `out` (room for `limit` characters and a terminator); false when they do not fit.
bool JoinPath(char* out, std::size_t limit, const char* a, const char* b) {
    const std::size_t la = std::strlen(a);
    const std::size_t lb = std::strlen(b);
    if (la + lb > limit) return false;
    std::memcpy(out, a, la);
    std::memcpy(out + la, b, lb);
    out[la + lb] = '\0';
    return true;
}

// Allocates a record, lets `read` fill it and appends it to `list`; false (freeing the record) when either fails.
template <typename T, typename Read>
bool ReadRecord(std::vector<T*>& list, Read read) {
    std::unique_ptr<T> record(new (std::nothrow) T);
    if (!record || !read(*record)) return false;
    list.push_back(record.get());
    record.release();
    return true;
}

}  // namespace

bool CTRScene::fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(loadError, sizeof loadError, format, args);
    va_end(args);
    return false;
}

bool CTRScene::load(const char* directory, const char* fileName) {
    loadError[0] = '\0';
    if (!directory || !fileName) return fail("no directory or file name");
    // A scene is loaded once; refusing up front leaves a filled scene exactly as it was. A scene that kept
    // what a failed load read is refused too, and says so.
    if (!isEmpty())
        return fail(loaded ? "the scene is already loaded"
                           : "the scene holds what an earlier failed load read");

    auto* list = new (std::nothrow) CTRTextureList;
    if (!list) return fail("out of memory");
    delete textureList;
    textureList = list;

    char path[kMaxScenePath + 1];
    if (!JoinPath(path, kMaxScenePath, directory, fileName))
        return fail("path longer than %zu characters", kMaxScenePath);
    CTRSceneReader reader;
    if (!reader.open(path)) return fail("cannot open %s", path);

    try {
        loaded = readFile(reader, directory);
        return loaded;
    } catch (const std::bad_alloc&) {
        return fail("out of memory");  // a list could not grow; what was appended stays owned by the scene
    } catch (const std::length_error&) {
        return fail("a list grew past its maximum size");
    }
}

bool CTRScene::readFile(CTRSceneReader& reader, const char* directory) {
    std::int32_t count = 0;
    std::int32_t storedCount = 0;  // the count as the file holds it, before a negative one becomes 0
    // Reads a section's count; the records of a count that cannot fit in the bytes left are not even tried.
    auto section = [&](const char* what, std::size_t minRecordSize) {
        const std::uint64_t at = reader.position();
        if (reader.readCount(&count, minRecordSize, true, &storedCount)) return true;
        return fail("%s section at byte %llu: count missing or larger than the rest of the file", what,
                    static_cast<unsigned long long>(at));
    };
    // A record that failed to read: the reader knows whether it was cut short or a count in it could not fit;
    // when the reader refused nothing, an allocation failed.
    auto damaged = [&](const char* what, std::int32_t index, std::uint64_t at, const char* why = nullptr) {
        return fail("%s %d at byte %llu: %s", what, index, static_cast<unsigned long long>(at),
                    why ? why : reader.describeProblem());
    };

    std::int32_t version = 0;
    if (!reader.readInt(&version)) return fail("file too short for its version");
    g_TRSFileVersion = version;

    if (!section("texture", kTextureNameSize)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        char name[kTextureNameSize];
        if (!reader.read(name, sizeof name)) return damaged("texture", i, reader.position());
        // A name with no terminator inside its field is longer than the field allows.
        const std::size_t length = strnlen(name, sizeof name);
        if (length == sizeof name) return fail("texture %d: name longer than its field", i);
        char texturePath[kMaxTexturePath + 1];
        if (length >= 2 && name[1] == ':') {
            std::memcpy(texturePath, name, length + 1);  // a drive letter: already a full path
        } else if (!JoinPath(texturePath, kMaxTexturePath, directory, name)) {
            return fail("texture %d: path longer than %zu characters", i, kMaxTexturePath);
        }
        if (textureList->acquire(texturePath, D3DX_DEFAULT) < 0) return fail("out of memory");
    }

    if (!section("material", sizeof(D3DMATERIAL9))) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t at = reader.position();
        if (!ReadRecord(materials, [&](CTRMaterial& m) { return reader.read(&m.material, sizeof m.material); }))
            return damaged("material", i, at);
    }

    if (!section("vertex-buffer", 4)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t at = reader.position();
        if (const char* why = readVertexBuffer(reader)) return damaged("vertex buffer", i, at, why);
    }

    if (!section("index-buffer", 4)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t at = reader.position();
        if (const char* why = readIndexBuffer(reader)) return damaged("index buffer", i, at, why);
    }

    if (!section("mesh-node", kNodeHeaderMin + (g_TRSFileVersion > 10 ? 39 : 32))) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t at = reader.position();
        if (!ReadRecord(meshNodes, [&](CTRMeshNode& n) { return n.read(reader); }))
            return damaged("mesh node", i, at);
    }

    if (!section("light", kNodeHeaderMin + sizeof(D3DLIGHT9))) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t at = reader.position();
        if (!ReadRecord(lights, [&](CTRLight& n) { return n.read(reader); })) return damaged("light", i, at);
    }
    // Any count but zero turns lighting on, a negative one (an empty list) included.
    if (storedCount != 0) enableLights(true);

    if (!section("camera", kNodeHeaderMin + kCameraSize)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t at = reader.position();
        if (!ReadRecord(cameras, [&](CTRCamera& n) { return n.read(reader); })) return damaged("camera", i, at);
    }
    if (cameras.empty() && !ReadRecord(cameras, [](CTRCamera& c) {
            c.setDefault();
            return true;
        }))
        return fail("out of memory");
    cameras[0]->apply();

    if (!section("dummy", kNodeHeaderMin)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t at = reader.position();
        if (!ReadRecord(dummyNodes, [&](CTRNode& n) { return n.read(reader); })) return damaged("dummy node", i, at);
    }
    return true;
}

const char* CTRScene::readVertexBuffer(CTRSceneReader& reader) {
    std::int32_t vertices = 0;
    if (!reader.readInt(&vertices) || !reader.checkCount(vertices, kVertexSize))
        return reader.describeProblem();
    const std::uint64_t size = std::uint64_t{kVertexSize} * static_cast<std::uint64_t>(vertices);
    if (size > std::numeric_limits<UINT>::max()) return "larger than a vertex buffer can be";
    IDirect3DDevice9* device = SceneDevice();
    if (!device) return "no device";

    const char* why = nullptr;
    const bool appended = ReadRecord(vertexBuffers, [&](CTRVertexBuffer& record) {
        record.vertexCount = vertices;
        if (FAILED(device->CreateVertexBuffer(static_cast<UINT>(size), 0, kSceneFVF, D3DPOOL_MANAGED,
                                              &record.buffer, nullptr)) ||
            !record.buffer) {
            why = "the device could not create the vertex buffer";
            return false;
        }
        void* data = nullptr;
        if (FAILED(record.buffer->Lock(0, static_cast<UINT>(size), &data, 0)) || !data) {
            why = "the device could not lock the vertex buffer";
            return false;
        }
        // The vertices go straight from the file into the buffer: no intermediate copy.
        const bool read = reader.read(data, static_cast<std::size_t>(size));
        record.buffer->Unlock();
        record.vertexFormat = static_cast<std::int32_t>(kSceneFVF);
        return read;
    });
    return appended ? nullptr : why ? why : reader.describeProblem();
}

const char* CTRScene::readIndexBuffer(CTRSceneReader& reader) {
    std::int32_t triangles = 0;
    if (!reader.readInt(&triangles) || !reader.checkCount(triangles, kTriangleSize))
        return reader.describeProblem();
    const std::uint64_t size = std::uint64_t{kTriangleSize} * static_cast<std::uint64_t>(triangles);
    if (size > std::numeric_limits<UINT>::max()) return "larger than an index buffer can be";
    IDirect3DDevice9* device = SceneDevice();
    if (!device) return "no device";

    const char* why = nullptr;
    const bool appended = ReadRecord(indexBuffers, [&](CTRIndexBuffer& record) {
        record.triangleCount = triangles;
        if (FAILED(device->CreateIndexBuffer(static_cast<UINT>(size), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                             &record.buffer, nullptr)) ||
            !record.buffer) {
            why = "the device could not create the index buffer";
            return false;
        }
        void* data = nullptr;
        if (FAILED(record.buffer->Lock(0, static_cast<UINT>(size), &data, 0)) || !data) {
            why = "the device could not lock the index buffer";
            return false;
        }
        const bool read = reader.read(data, static_cast<std::size_t>(size));
        record.buffer->Unlock();
        return read;
    });
    return appended ? nullptr : why ? why : reader.describeProblem();
}
