// libFuzzer target for CTRScene::load: each input is written to a scene file and loaded on the null device, then
// drawn and destroyed. The loader must fail cleanly (or succeed) without reading or writing out of bounds and
// without leaking; the device's live-resource count checks the last part.
#include "platform/d3d9/Backend.h"
#include "scene/Scene.h"
#include "tools/trsinfo/NullSceneDevice.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <stdlib.h>  // mkdtemp

namespace {

// A private directory made once per process under the temporary directory. Each input is written there,
// loaded with that directory as the scene's, and deleted again, so relative texture names resolve where
// nothing but the input itself lies and no run leaves files behind; the directory goes when the process
// exits.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "tarn_scene_fuzz_XXXXXX").string();
        if (error || !mkdtemp(pattern.data())) {
            std::perror("scene fuzz: cannot make a scratch directory");
            std::abort();
        }
        directory_ = pattern + "/";
    }
    ~ScratchDirectory() {
        std::error_code error;
        std::filesystem::remove_all(directory_, error);
    }
    const std::string& directory() const { return directory_; }
    const char* fileName() const { return "input.TRS"; }
    std::string path() const { return directory_ + fileName(); }

private:
    std::string directory_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NullSceneDevice device;
    static const ScratchDirectory scratch;
    if (!device.device()) std::abort();

    const std::string path = scratch.path();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    {
        CTRScene scene;
        scene.load(scratch.directory().c_str(), scratch.fileName());
        std::remove(path.c_str());
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
