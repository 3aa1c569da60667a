// libFuzzer target for CTRScene::load: each input is written to a scene file and loaded on the null device, then
// drawn and destroyed. The loader must fail cleanly (or succeed) without reading or writing out of bounds and
// without leaking; the device's live-resource count checks the last part.
#include "platform/d3d9/Backend.h"
#include "scene/Scene.h"
#include "tools/trsinfo/NullSceneDevice.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// One file per process, beside the working directory's other files; relative texture names resolve under a
// directory that does not exist, so inputs cannot reach real images.
std::string ScenePath() {
    static const std::string path = "fuzz_scene_" + std::to_string(reinterpret_cast<std::uintptr_t>(&path)) + ".TRS";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NullSceneDevice device;
    if (!device.device()) std::abort();

    std::FILE* f = std::fopen(ScenePath().c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    {
        CTRScene scene;
        scene.load("./", ScenePath().c_str());
        scene.render();
        scene.setCurrentFVF(-1);
        scene.render();
        if (CTRCamera* camera = scene.getCamera(0)) camera->update(1.5f);
        for (CTRMeshNode* node : scene.getMeshNodes()) node->update(0.75f);
        for (CTRLight* light : scene.getLights()) light->update(0.75f);
    }
    // The device keeps a reference to what is bound; once unbound, every buffer and texture the scene created
    // must be gone with it.
    device.device()->SetStreamSource(0, nullptr, 0, 0);
    device.device()->SetIndices(nullptr);
    device.device()->SetTexture(0, nullptr);
    if (tarn::d3d9::LiveResourceCount(device.device()) != 0) {
        std::fprintf(stderr, "%s", tarn::d3d9::DescribeLiveResources(device.device()).c_str());
        std::abort();
    }
    return 0;
}
