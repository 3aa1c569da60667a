#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "tests/tools/import/ImportTestSupport.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

constexpr double kPi = 3.14159265358979323846;

Affine At(double x, double y, double z) {
    Affine a;
    a.translation = {x, y, z};
    return a;
}

TEST(ImportCameras, PerspectiveCameraIsPlacedAndItsFieldOfViewMadeVertical) {
    ModelCamera cam;
    cam.name = "cam";
    cam.position = {0, 0, 2};
    cam.lookAt = {0, 0, -1};
    cam.horizontalFov = 1.0f;
    cam.aspect = 2;
    cam.nearPlane = 0.5f;
    cam.farPlane = 200;
    Affine frame;
    std::vector<std::string> warnings;
    // The node is at (1, 0, -5) in the engine's frame.
    const auto out = BuildCamera(cam, At(1, 0, -5), UpAxis::Y, &frame, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_FLOAT_EQ(out.eye[0], 1);
    EXPECT_FLOAT_EQ(out.eye[2], -7);     // (0, 0, 2) mirrored, plus the node
    EXPECT_FLOAT_EQ(out.lookAt[2], -6);  // one unit along the view, which is +z now
    EXPECT_FLOAT_EQ(out.up[1], 1);
    EXPECT_NEAR(out.fieldOfView, 2 * std::atan(std::tan(0.5) / 2), 1e-6);
    EXPECT_FLOAT_EQ(out.nearPlane, 0.5f);
    EXPECT_FLOAT_EQ(out.farPlane, 200);
}

TEST(ImportCameras, UnknownAspectIsTheEnginesFourByThree) {
    ModelCamera cam;
    cam.horizontalFov = 1.2f;
    Affine frame;
    std::vector<std::string> warnings;
    const auto out = BuildCamera(cam, Affine{}, UpAxis::Y, &frame, warnings);
    EXPECT_NEAR(out.fieldOfView, 2 * std::atan(std::tan(0.6) * 0.75), 1e-6);
}

TEST(ImportCameras, PlanesScaleWithTheSceneAndAZeroNearPlaneIsMade) {
    ModelCamera cam;
    cam.nearPlane = 0;
    cam.farPlane = 100;
    Affine world;
    world.linear = Scaling(0.01);
    Affine frame;
    std::vector<std::string> warnings;
    const auto out = BuildCamera(cam, world, UpAxis::Y, &frame, warnings);
    EXPECT_FLOAT_EQ(out.farPlane, 1);
    EXPECT_FLOAT_EQ(out.nearPlane, 0.001f);
    // Planes that scaling would round together stay apart.
    cam.farPlane = 100;
    cam.nearPlane = std::nextafter(100.0f, 0.0f);
    world.linear = Scaling(3);
    const auto close = BuildCamera(cam, world, UpAxis::Y, &frame, warnings);
    EXPECT_GT(close.nearPlane, 0);
    EXPECT_LT(close.nearPlane, close.farPlane);
}

TEST(ImportCameras, OrthographicAndBrokenCamerasWarn) {
    ModelCamera ortho;
    ortho.name = "top";
    ortho.orthographicWidth = 10;
    ModelCamera broken;
    broken.horizontalFov = std::nanf("");
    Affine frame;
    std::vector<std::string> warnings;
    EXPECT_FLOAT_EQ(BuildCamera(ortho, Affine{}, UpAxis::Y, &frame, warnings).fieldOfView, kPi / 4);
    EXPECT_FLOAT_EQ(BuildCamera(broken, Affine{}, UpAxis::Y, &frame, warnings).fieldOfView, kPi / 4);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "camera 'top': orthographic projection written as a perspective one of 45 degrees");
    EXPECT_EQ(warnings[1], "an unnamed camera: no usable field of view; 45 degrees written");
}

TEST(ImportCameras, FramingCameraSeesTheWholeSphereFromTheFront) {
    Sphere s;
    s.centre = {1, 2, 3};
    s.radius = 2;
    const auto cam = FramingCamera(s);
    EXPECT_EQ(cam.lookAt, (std::array<float, 3>{1, 2, 3}));
    const Vec3d eye{cam.eye[0], cam.eye[1], cam.eye[2]};
    const double distance = Length(eye - s.centre);
    // The sphere fits the vertical field of view: radius / distance <= sin(fov / 2).
    EXPECT_NEAR(distance, 2 / std::sin(kPi / 8) * 1.05, 1e-4);
    EXPECT_FLOAT_EQ(cam.fieldOfView, kPi / 4);
    EXPECT_LT(eye.z, s.centre.z);  // in front: the model's +z is the engine's -z
    EXPECT_GT(eye.y, s.centre.y);
    EXPECT_LT(cam.nearPlane, distance - 2);
    EXPECT_GT(cam.farPlane, distance + 2);
    // An empty scene gets the engine's default camera fields.
    const auto none = FramingCamera(Sphere{});
    EXPECT_EQ(none.eye, (std::array<float, 3>{1, 0, 0}));
}

TEST(ImportLights, DirectionalLightIsAimedSoThatTheEnginesUpdateAgrees) {
    ModelLight sun;
    sun.name = "sun";
    sun.kind = LightKind::Directional;
    sun.direction = {0, -1, -1};
    Affine frame;
    std::vector<std::string> warnings;
    tarn::trs::TrsLight out;
    ASSERT_TRUE(BuildLight(sun, Affine{}, UpAxis::Y, &out, &frame, warnings));
    EXPECT_EQ(out.type, 3);
    EXPECT_NEAR(out.direction[1], -std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(out.direction[2], std::sqrt(0.5), 1e-6);  // z mirrored
    // The engine sets a directional light's direction to minus the third row of its node matrix.
    const std::array<float, 16> m = ToTrsMatrix(frame);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(-m[8 + i], out.direction[i], 1e-6);
}

TEST(ImportLights, PointLightRangeIsWhereItFallsToOneIn256) {
    ModelLight lamp;
    lamp.kind = LightKind::Point;
    lamp.position = {0, 1, 1};
    lamp.attenuation0 = 1;
    lamp.attenuation2 = 1.0f / 255;
    Affine frame;
    std::vector<std::string> warnings;
    tarn::trs::TrsLight out;
    ASSERT_TRUE(BuildLight(lamp, At(2, 0, 0), UpAxis::Y, &out, &frame, warnings));
    EXPECT_EQ(out.type, 1);
    EXPECT_EQ(out.position, (std::array<float, 3>{2, 1, -1}));
    EXPECT_NEAR(out.range, 255, 1e-3);  // 1 + d^2 / 255 = 256
    EXPECT_FLOAT_EQ(out.attenuation2, 1.0f / 255);
    // No fall-off at all: Direct3D's largest range.
    lamp.attenuation2 = 0;
    ASSERT_TRUE(BuildLight(lamp, Affine{}, UpAxis::Y, &out, &frame, warnings));
    EXPECT_FLOAT_EQ(out.range, std::sqrt(FLT_MAX));
}

TEST(ImportLights, AttenuationFollowsTheScale) {
    ModelLight lamp;
    lamp.kind = LightKind::Point;
    lamp.attenuation1 = 1;
    lamp.attenuation2 = 1;
    Affine world;
    world.linear = Scaling(10);
    Affine frame;
    std::vector<std::string> warnings;
    tarn::trs::TrsLight out;
    ASSERT_TRUE(BuildLight(lamp, world, UpAxis::Y, &out, &frame, warnings));
    EXPECT_FLOAT_EQ(out.attenuation1, 0.1f);
    EXPECT_FLOAT_EQ(out.attenuation2, 0.01f);
}

TEST(ImportLights, SpotConesAreClampedToWhatDirect3DTakes) {
    ModelLight spot;
    spot.kind = LightKind::Spot;
    spot.innerCone = 0.5f;
    spot.outerCone = 1.0f;
    Affine frame;
    std::vector<std::string> warnings;
    tarn::trs::TrsLight out;
    ASSERT_TRUE(BuildLight(spot, Affine{}, UpAxis::Y, &out, &frame, warnings));
    EXPECT_EQ(out.type, 2);
    EXPECT_FLOAT_EQ(out.theta, 0.5f);
    EXPECT_FLOAT_EQ(out.phi, 1.0f);
    EXPECT_FLOAT_EQ(out.falloff, 1);
    spot.innerCone = 9, spot.outerCone = 7;  // past pi and the wrong way round
    ASSERT_TRUE(BuildLight(spot, Affine{}, UpAxis::Y, &out, &frame, warnings));
    EXPECT_FLOAT_EQ(out.phi, kPi);
    EXPECT_FLOAT_EQ(out.theta, kPi);
}

TEST(ImportLights, KindsTheFormatLacksAreDroppedOrStoodInFor) {
    ModelLight ambient;
    ambient.name = "fill";
    ambient.kind = LightKind::Ambient;
    ModelLight area;
    area.name = "panel";
    area.kind = LightKind::Area;
    Affine frame;
    std::vector<std::string> warnings;
    tarn::trs::TrsLight out;
    EXPECT_FALSE(BuildLight(ambient, Affine{}, UpAxis::Y, &out, &frame, warnings));
    EXPECT_TRUE(BuildLight(area, Affine{}, UpAxis::Y, &out, &frame, warnings));
    EXPECT_EQ(out.type, 1);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "light 'fill': ambient light dropped (the format has directional, point and spot lights)");
    EXPECT_EQ(warnings[1], "light 'panel': area light written as a point light");
}

TEST(ImportLights, AModelWithoutLightsGetsOneDirectionalLight) {
    const Converted c = ConvertOnly(OneNodeModel({Square()}));
    ASSERT_EQ(c.scene.lights.size(), 1u);
    EXPECT_EQ(c.scene.lights[0].type, 3);
    EXPECT_LT(c.scene.lights[0].direction[1], 0);  // from above
    EXPECT_EQ(c.scene.lights[0].name, "Light");
    ASSERT_EQ(c.scene.cameras.size(), 1u);
    EXPECT_EQ(c.scene.cameras[0].name, "Camera");
    // It looks at the square's centre (0.5, 0.5, 0).
    EXPECT_NEAR(c.scene.cameras[0].lookAt[0], 0.5, 1e-6);
    EXPECT_NEAR(c.scene.cameras[0].lookAt[1], 0.5, 1e-6);
}

}  // namespace
