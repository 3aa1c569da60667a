#include "scene/Light.h"

#include "scene/SceneDevice.h"
#include "SceneReader.h"

#include <cstring>

static_assert(sizeof(D3DLIGHT9) == 104, "lights are read byte for byte from the file");

CTRLight::CTRLight() { std::memset(&light, 0, sizeof light); }

bool CTRLight::read(CTRSceneReader& reader) {
    // Every field, the type included, goes to Direct3D as stored; the light-type enumeration is int-sized, so
    // any stored type is a value it can hold.
    return readHeader(reader) && reader.read(&light, sizeof light);
}

void CTRLight::update(float time) {
    if (animation) animation->evaluate(time, &matrix);
    // The node matrix places point lights and aims directional ones; spot lights keep what the file stored.
    if (light.Type == D3DLIGHT_POINT) {
        light.Position.x = matrix._41;
        light.Position.y = matrix._42;
        light.Position.z = matrix._43;
    } else if (light.Type == D3DLIGHT_DIRECTIONAL) {
        light.Direction.x = -matrix._31;
        light.Direction.y = -matrix._32;
        light.Direction.z = -matrix._33;
    }
    if (enabled) {
        if (IDirect3DDevice9* device = SceneDevice()) device->SetLight(lightIndex, &light);
    }
}
