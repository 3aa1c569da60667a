// trsinfo: prints what a .TRS scene file holds, as the engine reads it (through CTRScene::load on the null
// device): version and sections, every node with its kind, translation, keys and animation length, the mesh
// nodes' indices and render states, and which indices are out of range. Exits 1 on a damaged file, 2 on misuse.
#include "scene/Scene.h"
#include "tools/trsinfo/NullSceneDevice.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void PrintNode(const char* kind, std::size_t index, const CTRNode& node) {
    char name[sizeof node.name + 1] = {};
    std::memcpy(name, node.name, sizeof node.name);
    std::printf("  %s %zu \"%s\": at (%g, %g, %g)", kind, index, name, node.matrix._41, node.matrix._42,
                node.matrix._43);
    if (node.animation) {
        const CTRAnimation& a = *node.animation;
        std::printf(", keys %d/%d/%d (pos/rot/scale), length %g", a.positionKeyCount, a.rotationKeyCount,
                    a.scaleKeyCount, a.length);
    } else {
        std::printf(", no animation");
    }
    if (node.userData) std::printf(", user data");
    std::printf("\n");
}

// Prints "name N", adding " (out of range)" and counting it when the draw would stop at this index: below
// `lowest` or not below the list's `size`. Values from `lowest` to -1 mean "none" (texture below -1 binds nothing).
void PrintIndex(const char* name, std::int32_t value, std::size_t size, std::int64_t lowest, int* outOfRange) {
    std::printf("%s %d", name, value);
    if (value < lowest || (value >= 0 && static_cast<std::size_t>(value) >= size)) {
        std::printf(" (out of range)");
        ++*outOfRange;
    }
}

}  // namespace

int main(int argc, char** argv) {
    static const char kUsage[] =
        "usage: trsinfo FILE.TRS\n"
        "Loads a scene file with the engine's own reader on the null device and prints its sections, its nodes and\n"
        "every index that would stop drawing (exit status 1 when the file cannot be loaded, 2 on a usage error).\n"
        "  --help   show this text\n";
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The loader takes a directory prefix (also used for relative texture names) and a file name.
    const std::string path = argv[1];
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);

    NullSceneDevice device;
    if (!device.device()) {
        std::fprintf(stderr, "trsinfo: cannot create the null Direct3D device\n");
        return 2;
    }
    CTRScene scene;
    if (!scene.load(directory.c_str(), file.c_str())) {
        std::fprintf(stderr, "trsinfo: %s: cannot load: %s\n", path.c_str(), scene.getLoadError());
        return 1;
    }

    const auto& textures = scene.getTextureList()->entries;
    std::size_t vertices = 0, triangles = 0;
    for (const CTRVertexBuffer* b : scene.getVertexBuffers()) vertices += static_cast<std::size_t>(b->vertexCount);
    for (const CTRIndexBuffer* b : scene.getIndexBuffers()) triangles += static_cast<std::size_t>(b->triangleCount);
    std::printf("%s: version %d (%s render states)\n", path.c_str(), g_TRSFileVersion,
                g_TRSFileVersion > 10 ? "with" : "default");
    std::printf("sections: %zu textures, %zu materials, %zu vertex buffers (%zu vertices), %zu index buffers (%zu "
                "triangles), %zu mesh nodes, %zu lights, %zu cameras, %zu dummy nodes\n",
                textures.size(), scene.getMaterials().size(), scene.getVertexBuffers().size(), vertices,
                scene.getIndexBuffers().size(), triangles, scene.getMeshNodes().size(), scene.getLights().size(),
                scene.getCameras().size(), scene.getDummyNodes().size());

    for (std::size_t i = 0; i < textures.size(); ++i)
        std::printf("  texture %zu: %s%s\n", i, textures[i]->path, textures[i]->texture ? "" : " (not loaded)");

    int outOfRange = 0;
    const auto& meshes = scene.getMeshNodes();
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        const CTRMeshNode& m = *meshes[i];
        PrintNode("mesh", i, m);
        std::printf("   ");
        PrintIndex(" vertex buffer", m.vertexBufferIndex, scene.getVertexBuffers().size(), 0, &outOfRange);
        PrintIndex(", index buffer", m.indexBufferIndex, scene.getIndexBuffers().size(), 0, &outOfRange);
        PrintIndex(", material", m.materialIndex, scene.getMaterials().size(), -1, &outOfRange);
        PrintIndex(", texture", m.textureIndex, textures.size(), INT32_MIN, &outOfRange);
        std::printf("\n    states: z %u, z write %u, alpha blend %u, src blend %u, dest blend %u, billboard %u, "
                    "cull %u; bound (%g, %g, %g) radius %g\n",
                    m.zEnable, m.zWriteEnable, m.alphaBlendEnable, m.srcBlend, m.destBlend, m.billboard, m.cullMode,
                    m.boundCentre[0], m.boundCentre[1], m.boundCentre[2], m.boundRadius);
    }
    for (std::size_t i = 0; i < scene.getLights().size(); ++i) {
        const CTRLight& l = *scene.getLights()[i];
        PrintNode("light", i, l);
        std::printf("    type %d, direction (%g, %g, %g)\n", static_cast<int>(l.light.Type), l.light.Direction.x,
                    l.light.Direction.y, l.light.Direction.z);
    }
    for (std::size_t i = 0; i < scene.getCameras().size(); ++i) {
        const CTRCamera& c = *scene.getCameras()[i];
        PrintNode("camera", i, c);
        std::printf("    eye (%g, %g, %g), look at (%g, %g, %g), fov %g, near %g, far %g\n", c.eye.x, c.eye.y, c.eye.z,
                    c.lookAt.x, c.lookAt.y, c.lookAt.z, c.fieldOfView, c.nearPlane, c.farPlane);
    }
    for (std::size_t i = 0; i < scene.getDummyNodes().size(); ++i) PrintNode("dummy", i, *scene.getDummyNodes()[i]);

    if (outOfRange)
        std::printf("%d out-of-range indices (those mesh nodes stop drawing at that index)\n", outOfRange);
    else
        std::printf("all indices in range\n");
    return 0;
}
