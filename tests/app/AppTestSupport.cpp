#include "AppTestSupport.h"

#include <cstdio>

namespace tarn::test {

BoxRecorder::BoxRecorder() {
    previous =
        platform::SetMessageBoxHook([this](HWND owner, const char* text, const char* caption, UINT type) {
            boxes.push_back(
                {owner, text != nullptr ? text : "(null)", caption != nullptr ? caption : "(null)", type});
            return IDOK;
        });
}

BoxRecorder::~BoxRecorder() {
    platform::SetMessageBoxHook(previous);
}

std::vector<std::string> BoxRecorder::Texts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : boxes) texts.push_back(box.text);
    return texts;
}

ULONG FrameLogDevice::Release() {
    log.push_back("device.Release");
    return static_cast<ULONG>(--references);
}

HRESULT FrameLogDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    char line[128];
    std::snprintf(line, sizeof(line), "Clear(%u,%s,%u,0x%08X,%g,%u)", count,
                  rects != nullptr ? "rects" : "null", flags, color, static_cast<double>(z), stencil);
    log.push_back(line);
    return S_OK;
}

HRESULT FrameLogDevice::BeginScene() {
    log.push_back("BeginScene");
    return beginSceneResult;
}

HRESULT FrameLogDevice::EndScene() {
    log.push_back("EndScene");
    return S_OK;
}

HRESULT FrameLogDevice::Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty) {
    const bool allNull = source == nullptr && dest == nullptr && window == nullptr && dirty == nullptr;
    log.push_back(allNull ? "Present(null,null,null,null)" : "Present(non-null)");
    return S_OK;
}

ULONG ScriptedDirect3D::Release() {
    log.push_back("d3d.Release");
    return static_cast<ULONG>(--references);
}

HRESULT ScriptedDirect3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    log.push_back("GetDeviceCaps(" + std::to_string(adapter) + "," + std::to_string(type) + ")");
    if (FAILED(capsResult)) return capsResult;
    *caps = D3DCAPS9{};
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->VertexShaderVersion = vertexShaderVersion;
    return S_OK;
}

HRESULT ScriptedDirect3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    log.push_back("GetAdapterDisplayMode(" + std::to_string(adapter) + ")");
    if (FAILED(displayModeResult)) return displayModeResult;
    *mode = displayMode;
    return S_OK;
}

HRESULT ScriptedDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** returned) {
    log.push_back("CreateDevice");
    createAdapter = adapter;
    createType = type;
    createFocus = focus;
    createFlags = flags;
    createParams = *params;
    if (FAILED(createDeviceResult)) return createDeviceResult;
    *returned = &device;
    return S_OK;
}

namespace {

ScriptedDirect3D* g_direct3D = nullptr;

IDirect3D9* CreateRecordingDirect3D(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION || g_direct3D == nullptr) return nullptr;
    return g_direct3D;
}

}  // namespace

Direct3DOverride::Direct3DOverride(ScriptedDirect3D* direct3D) : previousDirect3D(g_direct3D) {
    g_direct3D = direct3D;
    previous = render::SetDirect3DCreateFunction(CreateRecordingDirect3D);
}

Direct3DOverride::~Direct3DOverride() {
    render::SetDirect3DCreateFunction(previous);
    g_direct3D = previousDirect3D;
}

}  // namespace tarn::test
