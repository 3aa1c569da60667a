// The Direct3D object and the device: the layer's IDirect3D9 and IDirect3DDevice9. The device keeps its state
// (DeviceState.h), tracks the resources it made (ResourceObjects.h) and hands drawing to its backend (Renderer.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "DeviceLock.h"
#include "DeviceState.h"
#include "Profiles.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {

class Renderer;
class SwapChain;
struct PatchCache;

// The adapter's display modes in a format (empty for formats that are not display formats), by width, height and
// refresh rate; the display format a back buffer format is shown in full screen (its alpha variant's base).
std::vector<D3DDISPLAYMODE> DisplayModes(D3DFORMAT format);
D3DFORMAT DisplayFormatOf(D3DFORMAT backBufferFormat);

// The display mode a swap chain with these parameters shows in: the desktop's when windowed; full screen, its
// back buffer's size and refresh rate in the display format of its back buffer format.
D3DDISPLAYMODE DisplayModeOf(const D3DPRESENT_PARAMETERS& parameters);

// A device child that does not hold its device (the device holds it while it is set, so that the two would
// otherwise keep each other alive): told when the device goes, after which it must no longer reach it.
class Orphanable {
public:
    virtual void Orphan() = 0;

protected:
    ~Orphanable() = default;
};

// Its calls may come from any thread: the reference count is atomic, and everything else it answers is either
// fixed at creation (the profile) or read under the layer's own locks (backend choice, driver limits, contexts).
class Direct3D9 final : public IDirect3D9 {
public:
    explicit Direct3D9(const Profile& profile);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void*) override { return E_NOTIMPL; }
    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id) override;
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode,
                                               D3DDISPLAYMODE* displayMode) override;
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                              D3DFORMAT backBufferFormat, BOOL windowed) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                                D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat,
                                                         BOOL windowed, D3DMULTISAMPLE_TYPE multiSample,
                                                         DWORD* qualityLevels) override;
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                                     D3DFORMAT renderTargetFormat,
                                                     D3DFORMAT depthStencilFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE type, D3DFORMAT sourceFormat,
                                                          D3DFORMAT targetFormat) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT adapter) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                           D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;

    const Profile& profile() const { return profile_; }
    // Caps and format answers for this object's profile.
    void FillCaps(D3DCAPS9* caps) const;
    HRESULT CheckFormat(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const;
    static D3DDISPLAYMODE DesktopMode();
    // Checks present parameters as CreateDevice and Reset take them and fills in what the runtime chooses (a
    // windowed zero size from the window's client area, the desktop format, one back buffer): D3D_OK, or
    // CreateDevice's answer (D3DERR_INVALIDCALL for misuse, D3DERR_NOTAVAILABLE for what the adapter lacks).
    HRESULT CompletePresentParameters(HWND focusWindow, D3DPRESENT_PARAMETERS* parameters) const;
    // D3D_OK when surfaces of `format` can have `type` samples at `quality`; D3DERR_NOTAVAILABLE for a type the
    // backend lacks for the format, D3DERR_INVALIDCALL for a quality beyond the type's levels.
    HRESULT CheckMultisample(D3DFORMAT format, D3DMULTISAMPLE_TYPE type, DWORD quality) const;

private:
    ~Direct3D9() = default;
    Profile profile_;
    std::atomic<ULONG> refs_ = 1;
};

// Made with D3DCREATE_MULTITHREADED, the device has a lock (DeviceLock.h) that each of its calls, and each call of
// an object made from it, holds from the first line (`const DeviceGuard guard(lock_);`); the calls that answer a
// constant and touch nothing take none. Without the flag it has no lock and the guards do nothing.
class Device final : public IDirect3DDevice9 {
public:
    Device(Direct3D9* d3d, const D3DPRESENT_PARAMETERS& parameters, HWND focusWindow, DWORD behaviorFlags,
           D3DDEVTYPE type, BackendKind backend);
    // Makes the back buffer, depth buffer and (for the GL backend) the context; false with a message when not.
    bool Initialize(std::string* error);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override {
        const DeviceGuard guard(lock_);
        return ++refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override;
    // The lost-device protocol (Device.cpp): D3DERR_DEVICELOST while the device cannot draw, then
    // D3DERR_DEVICENOTRESET until Reset succeeds.
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override { return 512u << 20; }
    HRESULT STDMETHODCALLTYPE EvictManagedResources() override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** d3d) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    // The device cursor (Cursor.cpp): the window system's cursor made from an A8R8G8B8 bitmap, shown over the
    // device window while ShowCursor has it shown. That cursor follows the mouse itself: positions have nothing
    // to move.
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT xHotSpot, UINT yHotSpot, IDirect3DSurface9* bitmap) override;
    void STDMETHODCALLTYPE SetCursorPosition(int, int, DWORD) override {}
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL show) override;
    // Swap chains (SwapChains.cpp): index 0 is the implicit chain, the additional ones follow in creation order.
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* parameters,
                                                        IDirect3DSwapChain9** swapChain) override;
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) override;
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() override;
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* parameters) override;
    HRESULT STDMETHODCALLTYPE Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                                      const RGNDATA* dirtyRegion) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                            IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT, D3DRASTER_STATUS* status) override;
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(BOOL) override { return D3D_OK; }
    void STDMETHODCALLTYPE SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override;
    void STDMETHODCALLTYPE GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                                  IDirect3DVolumeTexture9** texture, HANDLE*) override;
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9** texture,
                                                HANDLE*) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                                 IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                                 D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                                 IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                        D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                                        IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                                            IDirect3DSurface9* destination, const POINT* destPoint) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* renderTarget,
                                                  IDirect3DSurface9* destination) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destination) override;
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                          IDirect3DSurface9* destination, const RECT* destRect,
                                          D3DTEXTUREFILTERTYPE filter) override;
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                          IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD index, IDirect3DSurface9* target) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD index, IDirect3DSurface9** target) override;
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* material) override;
    HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT STDMETHODCALLTYPE GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD index, BOOL enable) override;
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD index, const float* plane) override;
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD index, float* plane) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    // State blocks (StateBlocks.cpp): while recording, the state setters store into the recording instead.
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** block) override;
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override;
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9** block) override;
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS9* status) override;
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9* status) override;
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* passes) override;
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT number, const PALETTEENTRY* entries) override;
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT number, PALETTEENTRY* entries) override;
    // The device has one palette, number 0 (SetPaletteEntries).
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT number) override {
        return number == 0 ? D3D_OK : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT* number) override;
    HRESULT STDMETHODCALLTYPE SetScissorRect(const RECT* rect) override;
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT* rect) override;
    // Software and hardware vertex processing draw alike here; the mode is what the device was created with, and
    // only a mixed-mode device switches it.
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(BOOL software) override {
        const DeviceGuard guard(lock_);
        if ((behaviorFlags_ & D3DCREATE_MIXED_VERTEXPROCESSING) == 0)
            return (software != FALSE) == softwareVertexProcessing_ ? D3D_OK : D3DERR_INVALIDCALL;
        softwareVertexProcessing_ = software != FALSE;
        return D3D_OK;
    }
    BOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() override {
        const DeviceGuard guard(lock_);
        return softwareVertexProcessing_ ? TRUE : FALSE;
    }
    // Stored and answered; the capabilities offer no N-patches, so drawing does not tessellate.
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float segments) override {
        const DeviceGuard guard(lock_);
        nPatchSegments_ = segments;
        return D3D_OK;
    }
    float STDMETHODCALLTYPE GetNPatchMode() override {
        const DeviceGuard guard(lock_);
        return nPatchSegments_;
    }
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                                                   UINT numVertices, UINT startIndex, UINT count) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data,
                                              UINT stride) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                                     const void* indexData, D3DFORMAT indexFormat,
                                                     const void* vertexData, UINT stride) override;
    // The fixed-function vertex pipeline run on the processor into a buffer (ProcessVertices.cpp).
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT sourceStart, UINT destinationIndex, UINT vertexCount,
                                              IDirect3DVertexBuffer9* destination,
                                              IDirect3DVertexDeclaration9* declaration, DWORD flags) override;
    // The vertex input and the streams (VertexDeclarations.cpp).
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                      IDirect3DVertexDeclaration9** declaration) override;
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) override;
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override;
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD* fvf) override;
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD*, IDirect3DVertexShader9**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override {
        return shader ? E_NOTIMPL : D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9** shader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                              UINT stride) override;
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                                              UINT* stride) override;
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT stream, UINT setting) override;
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT stream, UINT* setting) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* buffer) override;
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** buffer) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD*, IDirect3DPixelShader9**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override {
        return shader ? E_NOTIMPL : D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9** shader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
    // Rectangle and triangle patches (Patches.cpp), tessellated on the processor and drawn as triangles through
    // the backend. A non-zero handle with a description caches it; with none, it redraws what it cached.
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT handle, const float* numSegs, const D3DRECTPATCH_INFO* info) override;
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT handle, const float* numSegs, const D3DTRIPATCH_INFO* info) override;
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT handle) override;
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE, IDirect3DQuery9** query) override;

    // Leak tracking: resources, and the state blocks and queries made on the device (`kind` names them).
    void Track(ResourceCore* resource);
    void Untrack(ResourceCore* resource);
    void TrackObject(const IUnknown* object, const char* kind);
    void UntrackObject(const IUnknown* object);
    void TrackOrphanable(Orphanable* child) { orphanables_.push_back(child); }
    void UntrackOrphanable(Orphanable* child);
    std::size_t LiveCount() const;
    std::string DescribeLive() const;

    // The lock of a multithreaded device, null otherwise; what the device makes keeps it (DeviceGuard).
    const DeviceLockRef& lock() const { return lock_; }
    // The drawing backend: never null (the null backend when the device does not draw).
    Renderer* renderer() const { return renderer_.get(); }
    const DeviceState& state() const { return state_; }
    const D3DPRESENT_PARAMETERS& presentParameters() const { return parameters_; }
    Surface* backBuffer() const { return backBuffer_; }
    bool pure() const { return (behaviorFlags_ & D3DCREATE_PUREDEVICE) != 0; }
    // What a swap chain's Present and GetFrontBufferData do (Device.cpp).
    HRESULT PresentChain(SwapChain* chain, const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride);
    HRESULT FrontBufferData(SwapChain* chain, IDirect3DSurface9* destination);
    // An additional swap chain is going away.
    void AdditionalChainGone(SwapChain* chain);
    // Called by a resource's destructor so that the renderer drops its GL objects.
    void ResourceDying(ResourceCore* resource);
    // Refreshes memory of a GPU-newer surface (render-target reads).
    void ReadBack(Surface* surface);

private:
    ~Device();
    // Makes the implicit back buffer and depth buffer for parameters_ and sets them as the targets.
    void MakeImplicitSurfaces();
    // Drops the references the state holds (textures, streams, indices, targets), leaving them null.
    void DropStateReferences();
    // References the device's state holds on `resource` (as a binding, a stream, indices or a target).
    ULONG StateReferencesTo(const ResourceCore* resource) const;
    // True while a default-pool resource of the caller's is alive (Reset refuses then).
    bool CallerHoldsDefaultPool() const;
    // Updates lost_ from the window and says where the protocol stands (TestCooperativeLevel's answer).
    HRESULT CooperativeLevel();
    HWND DeviceWindow() const { return parameters_.hDeviceWindow ? parameters_.hDeviceWindow : focusWindow_; }
    // Records the client size the device window has now; a windowed device is lost when it changes.
    void NoteWindowSize();
    // Places a full-screen device's window over the whole display, or gives a window that was made full screen
    // its earlier place back.
    void PlaceWindow();
    void SetDefaultState();
    // False when the depth buffer's multisample type is not the render target's (drawing is refused then).
    bool TargetsMatch() const;
    // The swap chain of an index (0: implicit), or null.
    SwapChain* Chain(UINT index) const;
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT count, bool indexed, INT baseVertex, UINT minIndex, UINT numVertices,
                 UINT startIndex, const void* upVertices, UINT upStride, const void* upIndices, D3DFORMAT upIndexFormat,
                 UINT startVertex);
    void ResetViewportToTarget();
    // What DrawRectPatch (`triangle` false, `rect` or null) and DrawTriPatch (`tri` or null) share.
    HRESULT DrawPatch(UINT handle, const float* numSegs, bool triangle, const D3DRECTPATCH_INFO* rect,
                      const D3DTRIPATCH_INFO* tri);
    bool HeldOnlyByDevice(const ResourceCore* resource) const;
    // The state groups changed since the backend last drew or cleared; they start again from none.
    std::uint32_t TakeChanged() {
        const std::uint32_t changed = state_.dirty;
        state_.dirty = 0;
        return changed;
    }

    Direct3D9* d3d_;
    DeviceLockRef lock_;
    D3DPRESENT_PARAMETERS parameters_;
    HWND focusWindow_;
    DWORD behaviorFlags_;
    bool softwareVertexProcessing_ = (behaviorFlags_ & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
    BOOL cursorShown_ = FALSE;
    HCURSOR cursorImage_ = nullptr;   // the device cursor, once SetCursorProperties made it
    HCURSOR windowCursor_ = nullptr;  // the window's cursor before the device's first showed
    bool cursorTaken_ = false;        // the device's cursor has been shown (or hidden) over the window
    // Shows the device cursor over the window, keeping the window's own cursor the first time.
    void PutCursorOnWindow();
    // Gives the window its own cursor back and frees the device cursor.
    void ReleaseCursor();
    float nPatchSegments_ = 0.0f;
    D3DDEVTYPE type_;
    BackendKind backend_;
    ULONG refs_ = 1;
    bool inScene_ = false;
    // Lost: drawing does nothing and Present answers D3DERR_DEVICELOST until Reset succeeds.
    bool lost_ = false;
    bool resetting_ = false;
    RECT windowClient_{};  // the device window's client area when the device was made or last reset
    // Where a window made full screen was before (restored when the device goes windowed), if it was moved.
    bool windowMoved_ = false;
    RECT windowedRect_{};
    DeviceState state_;
    Surface* backBuffer_ = nullptr;
    Surface* autoDepth_ = nullptr;
    SwapChain* implicitChain_ = nullptr;
    std::vector<SwapChain*> additionalChains_;
    std::vector<ResourceCore*> live_;
    struct LiveObject {
        const IUnknown* object;
        const char* kind;
    };
    std::vector<LiveObject> liveObjects_;
    std::vector<Orphanable*> orphanables_;
    // The patches cached by handle (Patches.cpp), made at the first patch drawn.
    struct PatchCacheDeleter {
        void operator()(PatchCache* cache) const;
    };
    std::unique_ptr<PatchCache, PatchCacheDeleter> patches_;
    // The state block being recorded (BeginStateBlock to EndStateBlock), else null.
    std::unique_ptr<StateRecord> recording_;
    std::unique_ptr<Renderer> renderer_;
};

// What the device's other children (state blocks, queries) share: the COM calls of `Interface` (known as itself
// and IUnknown), a reference on the device and a place in its live-object report for as long as the object lives.
// Every call holds the device's lock (a multithreaded device's; none otherwise).
// `Derived` is deleted through its own destructor, whose members go before the device is released.
template <typename Derived, typename Interface, const GUID& kInterfaceId>
class DeviceChild : public Interface {
public:
    DeviceChild(Device* device, const char* kind) : device_(device) {
        device_->AddRef();
        device_->TrackObject(this, kind);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        const DeviceGuard guard(device_->lock());
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kInterfaceId)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        const DeviceGuard guard(device_->lock());
        return ++refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const DeviceGuard guard(device_->lock());  // its own reference: the release below may end the device
        if (refs_ == 0) return 0;
        const ULONG left = --refs_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
        const DeviceGuard guard(device_->lock());
        if (!device) return D3DERR_INVALIDCALL;
        device_->AddRef();
        *device = device_;
        return D3D_OK;
    }

protected:
    ~DeviceChild() {
        device_->UntrackObject(this);
        device_->Release();
    }

    Device* device_;

private:
    ULONG refs_ = 1;
};

// Vertex size in bytes for a flexible vertex format; 0 for formats the layer cannot draw.
UINT FvfStride(DWORD fvf);
// Vertices that `count` primitives of `type` use; 0 for an unknown type.
UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT count);

// Address of the caller's caller, recorded as the creation site of resources.
#define TARN_D3D9_CALLER() __builtin_return_address(0)

}  // namespace tarn::d3d9
