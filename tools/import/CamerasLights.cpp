// Cameras and lights: the model's perspective cameras as camera records (eye, look-at point, up, vertical field
// of view, far and near planes), its directional, point and spot lights as D3DLIGHT9 records, and the camera and
// light a model without them gets. The engine builds its view from the stored eye and look-at point, and on update
// places a point light at its node's translation and aims a directional one against its node's third row; the
// node frames made here agree with the stored fields, so an update changes nothing until keys move them.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "tools/import/Conversion.h"

namespace tarn::import {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEngineAspect = 4.0 / 3.0;           // the engine's 800 x 600 back buffer
const double kMaxRange = std::sqrt(double{FLT_MAX});  // Direct3D's largest light range

Vec3d Row(const Mat3& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2]}; }

std::array<float, 3> F3(Vec3d v) {
    auto f = [](double x) { return std::isfinite(x) ? static_cast<float>(std::clamp(x, -3.4e38, 3.4e38)) : 0.0f; };
    return {f(v.x), f(v.y), f(v.z)};
}

// The uniform scale of a transform (the cube root of its volume change), 1 where there is none to speak of.
double ScaleOf(const Mat3& m) {
    const double s = std::cbrt(std::fabs(Determinant(m)));
    return std::isfinite(s) && s > 1e-30 ? s : 1;
}

float Positive(float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1e30f) : 0.0f; }

std::string Describe(const std::string& kind, const std::string& name) {
    return name.empty() ? "an unnamed " + kind : kind + " '" + name + "'";
}

}  // namespace

Sphere Merge(const Sphere& a, const Sphere& b) {
    if (a.radius < 0) return b;
    if (b.radius < 0) return a;
    const Vec3d d = b.centre - a.centre;
    const double dist = Length(d);
    if (dist + b.radius <= a.radius) return a;
    if (dist + a.radius <= b.radius) return b;
    const double radius = (dist + a.radius + b.radius) / 2;
    Sphere s;
    s.centre = dist > 0 ? a.centre + d * ((radius - a.radius) / dist) : a.centre;
    s.radius = radius;
    return s;
}

trs::TrsCamera BuildCamera(const ModelCamera& camera, const Affine& world, UpAxis up, Affine* frame,
                           std::vector<std::string>& warnings) {
    const std::string where = Describe("camera", camera.name);
    *frame = LookFrame(FromModel(camera.position, up), FromModel(camera.lookAt, up), FromModel(camera.up, up));
    const Affine placed = *frame * world;
    trs::TrsCamera out;
    const Vec3d eye = placed.translation;
    const Vec3d forward = Normalised(Row(placed.linear, 2), {0, 0, 1});
    out.eye = F3(eye);
    out.lookAt = F3(eye + forward);
    out.up = F3(Normalised(Row(placed.linear, 1), {0, 1, 0}));

    double fov = kPi / 4;
    const double h = camera.horizontalFov;
    if (std::isfinite(camera.orthographicWidth) && camera.orthographicWidth > 0) {
        warnings.push_back(where + ": orthographic projection written as a perspective one of 45 degrees");
    } else if (std::isfinite(h) && h > 0 && h < kPi) {
        const double aspect = std::isfinite(camera.aspect) && camera.aspect > 0 ? camera.aspect : kEngineAspect;
        fov = 2 * std::atan(std::tan(h / 2) / aspect);
    } else {
        warnings.push_back(where + ": no usable field of view; 45 degrees written");
    }
    out.fieldOfView = static_cast<float>(std::clamp(fov, 0.001, kPi - 0.001));

    const double scale = ScaleOf(world.linear);
    double farPlane = std::isfinite(camera.farPlane) ? camera.farPlane * scale : 0;
    double nearPlane = std::isfinite(camera.nearPlane) ? camera.nearPlane * scale : 0;
    if (!(farPlane > 0) || farPlane > 1e30) farPlane = std::min(1000 * scale, 1e30);
    if (!(nearPlane > 0) || nearPlane >= farPlane) nearPlane = farPlane / 1000;
    // Both stay floats apart from each other and from zero.
    farPlane = std::clamp(farPlane, 1e-20, 1e30);
    nearPlane = std::clamp(nearPlane, farPlane * 1e-7, farPlane / 1.001);
    out.farPlane = static_cast<float>(farPlane);
    out.nearPlane = static_cast<float>(nearPlane);
    return out;
}

trs::TrsCamera FramingCamera(const Sphere& scene) {
    trs::TrsCamera out;
    out.name = "Camera";
    // An empty scene, or one past what floats hold, gets the engine's own default camera fields.
    const double far = std::max({std::fabs(scene.centre.x), std::fabs(scene.centre.y), std::fabs(scene.centre.z)});
    if (scene.radius < 0 || !Finite(scene.centre) || !(scene.radius < 1e30) || !(far < 1e30)) return out;
    const double r = std::max(scene.radius, 1e-3);
    const double fov = kPi / 4;
    const double distance = r / std::sin(fov / 2) * 1.05;
    // In front of the model (it faces the viewer along the model's +z, the engine's -z), above and to the right.
    const Vec3d towards = Normalised({0.45, 0.35, -1}, {0, 0, -1});
    const Vec3d eye = scene.centre + towards * distance;
    out.eye = F3(eye);
    out.lookAt = F3(scene.centre);
    out.up = {0, 1, 0};
    out.fieldOfView = static_cast<float>(fov);
    out.nearPlane = static_cast<float>(std::max((distance - r) * 0.5, distance * 1e-3));
    out.farPlane = static_cast<float>((distance + r) * 2);
    out.matrix = ToTrsMatrix(LookFrame(eye, scene.centre - eye, {0, 1, 0}));
    return out;
}

bool BuildLight(const ModelLight& light, const Affine& world, UpAxis up, trs::TrsLight* out, Affine* frame,
                std::vector<std::string>& warnings) {
    const std::string where = Describe("light", light.name);
    switch (light.kind) {
    case LightKind::Directional:
        out->type = 3;
        break;
    case LightKind::Point:
        out->type = 1;
        break;
    case LightKind::Spot:
        out->type = 2;
        break;
    case LightKind::Area:
        out->type = 1;
        warnings.push_back(where + ": area light written as a point light");
        break;
    default:
        warnings.push_back(where + ": " + (light.kind == LightKind::Ambient ? "ambient" : "untyped") +
                           " light dropped (the format has directional, point and spot lights)");
        return false;
    }
    const Vec3d direction = Normalised(FromModel(light.direction, up), {0, 0, 1});
    *frame = LookFrame(FromModel(light.position, up), direction * -1, {0, 1, 0});
    const Affine placed = *frame * world;
    out->position = F3(placed.translation);
    out->direction = F3(Normalised(Row(placed.linear, 2) * -1, {0, 0, 1}));
    out->diffuse = {Positive(light.diffuse.r), Positive(light.diffuse.g), Positive(light.diffuse.b), 1};
    out->specular = {Positive(light.specular.r), Positive(light.specular.g), Positive(light.specular.b), 1};
    out->ambient = {Positive(light.ambient.r), Positive(light.ambient.g), Positive(light.ambient.b), 1};

    // Attenuation is per distance: a scaled scene stretches the distances.
    const double scale = ScaleOf(world.linear);
    double a0 = Positive(light.attenuation0), a1 = Positive(light.attenuation1) / scale,
           a2 = Positive(light.attenuation2) / (scale * scale);
    if (a0 == 0 && a1 == 0 && a2 == 0) a0 = 1;
    // The range: where the light has fallen to 1/256, or Direct3D's largest where it never does.
    double range = kMaxRange;
    if (out->type != 3 && (a1 > 0 || a2 > 0) && a0 < 256) {
        range = a2 > 0 ? (-a1 + std::sqrt(a1 * a1 + 4 * a2 * (256 - a0))) / (2 * a2) : (256 - a0) / a1;
    }
    if (!std::isfinite(range) || range > kMaxRange) range = kMaxRange;
    out->range = static_cast<float>(std::max(range, 1e-6));
    out->attenuation0 = static_cast<float>(a0);
    out->attenuation1 = static_cast<float>(std::min(a1, 1e30));
    out->attenuation2 = static_cast<float>(std::min(a2, 1e30));
    out->falloff = 0;
    out->theta = out->phi = 0;
    if (out->type == 2) {
        double phi = std::isfinite(light.outerCone) ? light.outerCone : 0;
        if (!(phi > 0)) phi = kPi / 4;
        phi = std::min(phi, kPi);
        double theta = std::isfinite(light.innerCone) ? std::clamp<double>(light.innerCone, 0, phi) : 0;
        out->phi = static_cast<float>(phi);
        out->theta = static_cast<float>(theta);
        out->falloff = 1;
    }
    return true;
}

trs::TrsLight DefaultLight() {
    trs::TrsLight l;
    l.name = "Light";
    l.type = 3;
    const Vec3d direction = Normalised({-0.3, -0.7, 0.65}, {0, -1, 0});
    l.direction = F3(direction);
    l.diffuse = {1, 1, 1, 1};
    l.specular = {1, 1, 1, 1};
    l.ambient = {0.3f, 0.3f, 0.3f, 1};
    l.range = static_cast<float>(kMaxRange);
    l.matrix = ToTrsMatrix(LookFrame({}, direction * -1, {0, 1, 0}));
    return l;
}

}  // namespace tarn::import
