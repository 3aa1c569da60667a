#include <gtest/gtest.h>

#include <set>

#include "tests/tools/import/ImportTestSupport.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

ModelMaterial Painted() {
    ModelMaterial m;
    m.name = "paint";
    m.hasDiffuse = true;
    m.diffuse = {0.5f, 0.25f, 1, 0.8f};
    m.hasSpecular = true;
    m.specular = {0.5f, 0.5f, 0.25f, 1};
    m.specularStrength = 2;
    m.shininess = 32;
    m.emissive = {0.1f, 0.2f, 0.3f, 1};
    return m;
}

// D3DBLEND and D3DCULL values.
constexpr int kOne = 2, kZero = 1, kSrcAlpha = 5, kInvSrcAlpha = 6, kCullNone = 1, kCullCcw = 3;

TEST(ImportMaterials, ColoursBecomeAD3DMaterial) {
    ModelMaterial in = Painted();
    in.opacity = 0.5f;
    const auto m = BuildMaterial(in);
    EXPECT_EQ(m.diffuse, (std::array<float, 4>{0.5f, 0.25f, 1, 0.4f}));  // alpha times the opacity
    EXPECT_EQ(m.ambient, (std::array<float, 4>{0.5f, 0.25f, 1, 1}));     // the diffuse colour when none is given
    EXPECT_EQ(m.specular, (std::array<float, 4>{1, 1, 0.5f, 1}));        // times its strength
    EXPECT_EQ(m.emissive, (std::array<float, 4>{0.1f, 0.2f, 0.3f, 0}));
    EXPECT_EQ(m.power, 32);
    in.hasAmbient = true;
    in.ambient = {0.2f, 0.2f, 0.2f, 1};
    EXPECT_EQ(BuildMaterial(in).ambient, (std::array<float, 4>{0.2f, 0.2f, 0.2f, 1}));
}

TEST(ImportMaterials, NonFiniteValuesTakeTheDefaults) {
    ModelMaterial in = Painted();
    in.diffuse.r = std::nanf("");
    in.opacity = INFINITY;
    in.shininess = -5;
    in.emissive.g = INFINITY;
    const auto m = BuildMaterial(in);
    EXPECT_EQ(m.diffuse[0], 1);
    EXPECT_EQ(m.diffuse[3], 0.8f);
    EXPECT_EQ(m.power, 0);
    EXPECT_EQ(m.emissive[1], 0);
}

TEST(ImportMaterials, RenderStatesFollowTheMaterial) {
    struct Case {
        const char* what;
        void (*change)(ModelMaterial&);
        bool imageTranslucent;
        int blend, src, dest, zWrite, cull;
    } const kCases[] = {
        {"opaque", [](ModelMaterial&) {}, false, 0, kOne, kZero, 1, kCullCcw},
        {"faded", [](ModelMaterial& m) { m.opacity = 0.5f; }, false, 1, kSrcAlpha, kInvSrcAlpha, 0, kCullCcw},
        {"glTF blend", [](ModelMaterial& m) { m.alphaMode = AlphaMode::Blend; }, false, 1, kSrcAlpha, kInvSrcAlpha, 0,
         kCullCcw},
        {"glTF mask", [](ModelMaterial& m) { m.alphaMode = AlphaMode::Mask; }, false, 1, kSrcAlpha, kInvSrcAlpha, 0,
         kCullCcw},
        {"translucent image", [](ModelMaterial&) {}, true, 1, kSrcAlpha, kInvSrcAlpha, 0, kCullCcw},
        {"glTF opaque ignores the image's alpha", [](ModelMaterial& m) { m.alphaMode = AlphaMode::Opaque; }, true, 0,
         kOne, kZero, 1, kCullCcw},
        {"additive", [](ModelMaterial& m) { m.additive = true; }, false, 1, kSrcAlpha, kOne, 0, kCullCcw},
        {"double-sided", [](ModelMaterial& m) { m.twoSided = true; }, false, 0, kOne, kZero, 1, kCullNone},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        ModelMaterial m = Painted();
        m.diffuse.a = 1;
        c.change(m);
        tarn::trs::TrsMeshNode node;
        ApplyLook(LookOf(m, c.imageTranslucent), node);
        EXPECT_EQ(node.alphaBlendEnable, c.blend);
        EXPECT_EQ(node.srcBlend, c.src);
        EXPECT_EQ(node.destBlend, c.dest);
        EXPECT_EQ(node.zWriteEnable, c.zWrite);
        EXPECT_EQ(node.zEnable, 1);
        EXPECT_EQ(node.cullMode, c.cull);
    }
}

TEST(ImportMaterials, OneTexturePerMaterialAndAWarningForEachOtherMap) {
    Model model;
    ModelMaterial m = Painted();
    m.textures = {{TextureKind::Normals, "bump.png"},
                  {TextureKind::BaseColour, "maps/wood.png"},
                  {TextureKind::Diffuse, "maps/wood.png"},  // glTF names its base map twice
                  {TextureKind::MetalRoughness, "mr.png"},
                  {TextureKind::Emissive, "*0", 0}};
    model.materials.push_back(m);
    model.textures.push_back({});
    ConvertOptions o;
    o.name = "chair";
    const TexturePlan plan = PlanTextures(model, o);
    ASSERT_GE(plan.imageJob[0], 0);
    const TextureJob& job = plan.jobs[plan.imageJob[0]];
    EXPECT_EQ(job.source, TextureJob::Source::File);
    EXPECT_EQ(job.path, "maps/wood.png");
    EXPECT_EQ(job.output, "chair_wood.dds");
    EXPECT_EQ(plan.warnings, (std::vector<std::string>{
                                 "material 'paint': normal map 'bump.png' dropped (the format holds one texture per "
                                 "material)",
                                 "material 'paint': metal-roughness map 'mr.png' dropped (the format holds one texture "
                                 "per material)",
                                 "material 'paint': emissive map embedded image 0 dropped (the format holds one "
                                 "texture per material)"}));
}

TEST(ImportMaterials, TextureNamesAreUniqueWithoutRegardToCaseAndFitTheField) {
    Model model;
    for (const char* path :
         {"A.png", "sub/a.jpg", "x\\y\\weird name!.tga",
          "an_extremely_long_image_name_that_goes_on_and_on_and_on_and_on_and_on_and_on_and_on_and_"
          "on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_"
          "on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_on_and_on.png"}) {
        ModelMaterial m;
        m.textures = {{TextureKind::Diffuse, path}};
        model.materials.push_back(m);
    }
    ConvertOptions o;
    o.name = "m";
    const TexturePlan plan = PlanTextures(model, o);
    std::vector<std::string> names;
    for (std::int32_t j : plan.imageJob) names.push_back(plan.jobs[j].output);
    EXPECT_EQ(names[0], "m_A.dds");
    EXPECT_EQ(names[1], "m_a-2.dds");
    EXPECT_EQ(names[2], "m_weird_name_.dds");
    EXPECT_LE(names[3].size(), 255u);
    EXPECT_EQ(names[3].substr(names[3].size() - 4), ".dds");
    std::set<std::string> all;
    for (const TextureJob& j : plan.jobs) all.insert(j.output);
    EXPECT_EQ(all.size(), plan.jobs.size());
}

TEST(ImportMaterials, MaterialsSharingAnImageShareItsJobUnlessTheirAlphaDiffers) {
    Model model;
    ModelMaterial a;
    a.textures = {{TextureKind::Diffuse, "wood.png"}};
    ModelMaterial b = a;
    ModelMaterial faded = a;
    faded.opacity = 0.5f;
    model.materials = {a, b, faded};
    const TexturePlan plan = PlanTextures(model, {});
    EXPECT_EQ(plan.imageJob[0], plan.imageJob[1]);
    EXPECT_NE(plan.imageJob[0], plan.imageJob[2]);
    EXPECT_FLOAT_EQ(plan.jobs[plan.imageJob[2]].opacity, 0.5f);
    EXPECT_EQ(plan.jobs[plan.solidJob[2]].solid.a, 128 / 255.0f);
}

TEST(ImportMaterials, EveryMeshGetsATextureAndTranslucentMeshesComeLast) {
    ModelMaterial plain;
    plain.name = "plain";
    ModelMaterial glass;
    glass.name = "glass";
    glass.opacity = 0.25f;
    ModelMaterial wood;
    wood.name = "wood";
    wood.textures = {{TextureKind::Diffuse, "missing.png"}};
    Model m = OneNodeModel({Square("glass", 1), Square("plain", 0), Square("wood", 2), Square("bare", -1)},
                           {plain, glass, wood});
    std::vector<TextureResult> results;
    const Converted c = ConvertWithTextures(m, {}, "/nonexistent", &results);
    ASSERT_EQ(c.scene.meshes.size(), 4u);
    // The glass went last; the others keep their order.
    EXPECT_EQ(c.scene.meshes[3].material, 1);
    EXPECT_EQ(c.scene.meshes[3].alphaBlendEnable, 1);
    EXPECT_EQ(c.scene.meshes[0].material, 0);
    EXPECT_EQ(c.scene.meshes[1].material, 2);
    // Every mesh draws with a texture of its own: the engine would keep the previous one bound otherwise.
    for (const auto& mesh : c.scene.meshes) EXPECT_GE(mesh.texture, 0);
    // The wood's image is missing: one warning, and the plain white stands in.
    EXPECT_EQ(c.scene.textures[c.scene.meshes[1].texture], "model_white.dds");
    EXPECT_EQ(c.scene.textures[c.scene.meshes[0].texture], "model_white.dds");
    EXPECT_EQ(c.scene.textures[c.scene.meshes[3].texture], "model_alpha64.dds");
    EXPECT_NE(std::find(c.warnings.begin(), c.warnings.end(),
                        "texture model_missing.dds not written: 'missing.png': not found; its materials take a plain "
                        "colour"),
              c.warnings.end());
    // The mesh without a material gets a default one.
    EXPECT_EQ(c.scene.meshes[2].material, 3);
    EXPECT_EQ(c.scene.materials.size(), 4u);
    // Only the textures in use are named.
    EXPECT_EQ(c.scene.textures.size(), 2u);
}

}  // namespace
