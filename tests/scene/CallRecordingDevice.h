// A recording test double of IDirect3DDevice9: every call is logged as one line "Name(arg,arg,...)" and, when an
// inner device is given, forwarded to it. Without one, vertex and index buffers are plain memory owned by the
// double, other creations fail and every other call succeeds. Pointers print as the names tests give them.
#pragma once

#include "platform/d3d9/D3D9.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace tarn::test {

// A lockable buffer in plain memory, enough for the loader's create-lock-copy-unlock sequence.
template <typename Interface, typename Desc>
class FakeBuffer final : public Interface {
public:
    // The memory starts undefined, as a new Direct3D buffer's does.
    explicit FakeBuffer(UINT length, int* live, const bool* failLock = nullptr)
        : data_(std::make_unique_for_overwrite<std::uint8_t[]>(length)),
          size_(length),
          live_(live),
          failLock_(failLock) {
        ++*live_;
    }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            --*live_;
            delete this;
        }
        return left;
    }
    HRESULT GetDevice(IDirect3DDevice9**) override { return D3DERR_INVALIDCALL; }
    HRESULT SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT FreePrivateData(REFGUID) override { return D3DERR_INVALIDCALL; }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override {
        return std::is_same_v<Interface, IDirect3DVertexBuffer9> ? D3DRTYPE_VERTEXBUFFER : D3DRTYPE_INDEXBUFFER;
    }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD) override {
        if (!data || offset > size_ || size > size_ - offset || (failLock_ && *failLock_)) return D3DERR_INVALIDCALL;
        *data = data_.get() + offset;
        return D3D_OK;
    }
    HRESULT Unlock() override { return D3D_OK; }
    HRESULT GetDesc(Desc*) override { return D3DERR_INVALIDCALL; }

    const std::uint8_t* bytes() const { return data_.get(); }

private:
    ~FakeBuffer() = default;
    std::unique_ptr<std::uint8_t[]> data_;
    UINT size_;
    ULONG refs_ = 1;
    int* live_;
    const bool* failLock_;
};

using FakeVertexBuffer = FakeBuffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using FakeIndexBuffer = FakeBuffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

class CallRecordingDevice final : public IDirect3DDevice9 {
public:
    explicit CallRecordingDevice(IDirect3DDevice9* inner = nullptr) : inner_(inner) {}
    ~CallRecordingDevice() = default;

    std::vector<std::string> calls;         // every call, in order
    std::vector<D3DMATRIX> transforms;      // the matrix of every SetTransform, in order
    int liveBuffers = 0;                    // fake buffers not yet released
    bool failVertexBufferCreation = false;  // makes CreateVertexBuffer fail, for error paths
    bool failIndexBufferCreation = false;   // likewise CreateIndexBuffer
    bool failBufferLock = false;            // makes Lock of the fake buffers fail
    bool failRenderTargetTextures = false;  // makes CreateTexture with D3DUSAGE_RENDERTARGET fail
    bool recording = true;                  // off: calls are forwarded and counted but not logged
    std::size_t callCount = 0;              // every call, logged or not

    // Names a pointer in the log ("vb0", "tex1"); unnamed pointers print as "ptr", null as "null".
    void name(const void* pointer, const std::string& text) { names_[pointer] = text; }
    void clear() {
        calls.clear();
        transforms.clear();
    }
    // Calls whose line starts with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& c : calls)
            if (c.compare(0, prefix.size(), prefix) == 0) found.push_back(c);
        return found;
    }

    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }  // owned by the test, never deleted through Release
    ULONG Release() override { return 1; }

    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                               HANDLE* shared) override {
        Log("CreateVertexBuffer(" + std::to_string(length) + "," + std::to_string(usage) + "," + std::to_string(fvf) +
            "," + std::to_string(pool) + ")");
        if (failVertexBufferCreation) return E_OUTOFMEMORY;
        if (inner_) return inner_->CreateVertexBuffer(length, usage, fvf, pool, out, shared);
        if (!out || length == 0) return D3DERR_INVALIDCALL;
        *out = new FakeVertexBuffer(length, &liveBuffers, &failBufferLock);
        return D3D_OK;
    }
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** out,
                              HANDLE* shared) override {
        Log("CreateIndexBuffer(" + std::to_string(length) + "," + std::to_string(usage) + "," + std::to_string(format) +
            "," + std::to_string(pool) + ")");
        if (failIndexBufferCreation) return E_OUTOFMEMORY;
        if (inner_) return inner_->CreateIndexBuffer(length, usage, format, pool, out, shared);
        if (!out || length == 0) return D3DERR_INVALIDCALL;
        *out = new FakeIndexBuffer(length, &liveBuffers, &failBufferLock);
        return D3D_OK;
    }

    // ---- Everything else: logged, then forwarded or answered with a default. ----
    HRESULT TestCooperativeLevel() override {
        return Call("TestCooperativeLevel", &IDirect3DDevice9::TestCooperativeLevel);
    }
    UINT GetAvailableTextureMem() override {
        return Call("GetAvailableTextureMem", &IDirect3DDevice9::GetAvailableTextureMem);
    }
    HRESULT EvictManagedResources() override {
        return Call("EvictManagedResources", &IDirect3DDevice9::EvictManagedResources);
    }
    HRESULT GetDirect3D(IDirect3D9** d3d) override { return Call("GetDirect3D", &IDirect3DDevice9::GetDirect3D, d3d); }
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override {
        return Call("GetDeviceCaps", &IDirect3DDevice9::GetDeviceCaps, caps);
    }
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override {
        return Call("GetDisplayMode", &IDirect3DDevice9::GetDisplayMode, swapChain, mode);
    }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override {
        return Call("GetCreationParameters", &IDirect3DDevice9::GetCreationParameters, parameters);
    }
    HRESULT SetCursorProperties(UINT xHotSpot, UINT yHotSpot, IDirect3DSurface9* cursorBitmap) override {
        return Call("SetCursorProperties", &IDirect3DDevice9::SetCursorProperties, xHotSpot, yHotSpot, cursorBitmap);
    }
    void SetCursorPosition(int x, int y, DWORD flags) override {
        return Call("SetCursorPosition", &IDirect3DDevice9::SetCursorPosition, x, y, flags);
    }
    BOOL ShowCursor(BOOL show) override { return Call("ShowCursor", &IDirect3DDevice9::ShowCursor, show); }
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentationParameters,
                                      IDirect3DSwapChain9** swapChain) override {
        return Call("CreateAdditionalSwapChain", &IDirect3DDevice9::CreateAdditionalSwapChain, presentationParameters,
                    swapChain);
    }
    HRESULT GetSwapChain(UINT swapChainIndex, IDirect3DSwapChain9** swapChain) override {
        return Call("GetSwapChain", &IDirect3DDevice9::GetSwapChain, swapChainIndex, swapChain);
    }
    UINT GetNumberOfSwapChains() override {
        return Call("GetNumberOfSwapChains", &IDirect3DDevice9::GetNumberOfSwapChains);
    }
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentationParameters) override {
        return Call("Reset", &IDirect3DDevice9::Reset, presentationParameters);
    }
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override {
        return Call("Present", &IDirect3DDevice9::Present, sourceRect, destRect, destWindowOverride, dirtyRegion);
    }
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override {
        return Call("GetBackBuffer", &IDirect3DDevice9::GetBackBuffer, swapChain, backBuffer, type, surface);
    }
    HRESULT GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* rasterStatus) override {
        return Call("GetRasterStatus", &IDirect3DDevice9::GetRasterStatus, swapChain, rasterStatus);
    }
    HRESULT SetDialogBoxMode(BOOL enableDialogs) override {
        return Call("SetDialogBoxMode", &IDirect3DDevice9::SetDialogBoxMode, enableDialogs);
    }
    void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override {
        return Call("SetGammaRamp", &IDirect3DDevice9::SetGammaRamp, swapChain, flags, ramp);
    }
    void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override {
        return Call("GetGammaRamp", &IDirect3DDevice9::GetGammaRamp, swapChain, ramp);
    }
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* sharedHandle) override {
        if (failRenderTargetTextures && (usage & D3DUSAGE_RENDERTARGET) != 0) {
            Log("CreateTexture(render target refused)");
            return D3DERR_OUTOFVIDEOMEMORY;
        }
        return Call("CreateTexture", &IDirect3DDevice9::CreateTexture, width, height, levels, usage, format, pool,
                    texture, sharedHandle);
    }
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DVolumeTexture9** volumeTexture, HANDLE* sharedHandle) override {
        return Call("CreateVolumeTexture", &IDirect3DDevice9::CreateVolumeTexture, width, height, depth, levels, usage,
                    format, pool, volumeTexture, sharedHandle);
    }
    HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** cubeTexture, HANDLE* sharedHandle) override {
        return Call("CreateCubeTexture", &IDirect3DDevice9::CreateCubeTexture, edgeLength, levels, usage, format, pool,
                    cubeTexture, sharedHandle);
    }
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* sharedHandle) override {
        return Call("CreateRenderTarget", &IDirect3DDevice9::CreateRenderTarget, width, height, format, multiSample,
                    multisampleQuality, lockable, surface, sharedHandle);
    }
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD multisampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* sharedHandle) override {
        return Call("CreateDepthStencilSurface", &IDirect3DDevice9::CreateDepthStencilSurface, width, height, format,
                    multiSample, multisampleQuality, discard, surface, sharedHandle);
    }
    HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                          IDirect3DSurface9* destinationSurface, const POINT* destPoint) override {
        return Call("UpdateSurface", &IDirect3DDevice9::UpdateSurface, sourceSurface, sourceRect, destinationSurface,
                    destPoint);
    }
    HRESULT UpdateTexture(IDirect3DBaseTexture9* sourceTexture, IDirect3DBaseTexture9* destinationTexture) override {
        return Call("UpdateTexture", &IDirect3DDevice9::UpdateTexture, sourceTexture, destinationTexture);
    }
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface) override {
        return Call("GetRenderTargetData", &IDirect3DDevice9::GetRenderTargetData, renderTarget, destSurface);
    }
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) override {
        return Call("GetFrontBufferData", &IDirect3DDevice9::GetFrontBufferData, swapChain, destSurface);
    }
    HRESULT StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect, IDirect3DSurface9* destSurface,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override {
        return Call("StretchRect", &IDirect3DDevice9::StretchRect, sourceSurface, sourceRect, destSurface, destRect,
                    filter);
    }
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override {
        return Call("ColorFill", &IDirect3DDevice9::ColorFill, surface, rect, color);
    }
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override {
        return Call("CreateOffscreenPlainSurface", &IDirect3DDevice9::CreateOffscreenPlainSurface, width, height,
                    format, pool, surface, sharedHandle);
    }
    HRESULT SetRenderTarget(DWORD renderTargetIndex, IDirect3DSurface9* renderTarget) override {
        return Call("SetRenderTarget", &IDirect3DDevice9::SetRenderTarget, renderTargetIndex, renderTarget);
    }
    HRESULT GetRenderTarget(DWORD renderTargetIndex, IDirect3DSurface9** renderTarget) override {
        return Call("GetRenderTarget", &IDirect3DDevice9::GetRenderTarget, renderTargetIndex, renderTarget);
    }
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* newZStencil) override {
        return Call("SetDepthStencilSurface", &IDirect3DDevice9::SetDepthStencilSurface, newZStencil);
    }
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** zStencilSurface) override {
        return Call("GetDepthStencilSurface", &IDirect3DDevice9::GetDepthStencilSurface, zStencilSurface);
    }
    HRESULT BeginScene() override { return Call("BeginScene", &IDirect3DDevice9::BeginScene); }
    HRESULT EndScene() override { return Call("EndScene", &IDirect3DDevice9::EndScene); }
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override {
        return Call("Clear", &IDirect3DDevice9::Clear, count, rects, flags, color, z, stencil);
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return Call("SetTransform", &IDirect3DDevice9::SetTransform, state, matrix);
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
        return Call("GetTransform", &IDirect3DDevice9::GetTransform, state, matrix);
    }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return Call("MultiplyTransform", &IDirect3DDevice9::MultiplyTransform, state, matrix);
    }
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override {
        return Call("SetViewport", &IDirect3DDevice9::SetViewport, viewport);
    }
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override {
        return Call("GetViewport", &IDirect3DDevice9::GetViewport, viewport);
    }
    HRESULT SetMaterial(const D3DMATERIAL9* material) override {
        return Call("SetMaterial", &IDirect3DDevice9::SetMaterial, material);
    }
    HRESULT GetMaterial(D3DMATERIAL9* material) override {
        return Call("GetMaterial", &IDirect3DDevice9::GetMaterial, material);
    }
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override {
        return Call("SetLight", &IDirect3DDevice9::SetLight, index, light);
    }
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override {
        return Call("GetLight", &IDirect3DDevice9::GetLight, index, light);
    }
    HRESULT LightEnable(DWORD index, BOOL enable) override {
        return Call("LightEnable", &IDirect3DDevice9::LightEnable, index, enable);
    }
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override {
        return Call("GetLightEnable", &IDirect3DDevice9::GetLightEnable, index, enable);
    }
    HRESULT SetClipPlane(DWORD index, const float* plane) override {
        return Call("SetClipPlane", &IDirect3DDevice9::SetClipPlane, index, plane);
    }
    HRESULT GetClipPlane(DWORD index, float* plane) override {
        return Call("GetClipPlane", &IDirect3DDevice9::GetClipPlane, index, plane);
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        return Call("SetRenderState", &IDirect3DDevice9::SetRenderState, state, value);
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
        return Call("GetRenderState", &IDirect3DDevice9::GetRenderState, state, value);
    }
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** stateBlock) override {
        return Call("CreateStateBlock", &IDirect3DDevice9::CreateStateBlock, type, stateBlock);
    }
    HRESULT BeginStateBlock() override { return Call("BeginStateBlock", &IDirect3DDevice9::BeginStateBlock); }
    HRESULT EndStateBlock(IDirect3DStateBlock9** stateBlock) override {
        return Call("EndStateBlock", &IDirect3DDevice9::EndStateBlock, stateBlock);
    }
    HRESULT SetClipStatus(const D3DCLIPSTATUS9* clipStatus) override {
        return Call("SetClipStatus", &IDirect3DDevice9::SetClipStatus, clipStatus);
    }
    HRESULT GetClipStatus(D3DCLIPSTATUS9* clipStatus) override {
        return Call("GetClipStatus", &IDirect3DDevice9::GetClipStatus, clipStatus);
    }
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override {
        return Call("GetTexture", &IDirect3DDevice9::GetTexture, stage, texture);
    }
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
        return Call("SetTexture", &IDirect3DDevice9::SetTexture, stage, texture);
    }
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override {
        return Call("GetTextureStageState", &IDirect3DDevice9::GetTextureStageState, stage, type, value);
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        return Call("SetTextureStageState", &IDirect3DDevice9::SetTextureStageState, stage, type, value);
    }
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override {
        return Call("GetSamplerState", &IDirect3DDevice9::GetSamplerState, sampler, type, value);
    }
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        return Call("SetSamplerState", &IDirect3DDevice9::SetSamplerState, sampler, type, value);
    }
    HRESULT ValidateDevice(DWORD* numPasses) override {
        return Call("ValidateDevice", &IDirect3DDevice9::ValidateDevice, numPasses);
    }
    HRESULT SetPaletteEntries(UINT paletteNumber, const PALETTEENTRY* entries) override {
        return Call("SetPaletteEntries", &IDirect3DDevice9::SetPaletteEntries, paletteNumber, entries);
    }
    HRESULT GetPaletteEntries(UINT paletteNumber, PALETTEENTRY* entries) override {
        return Call("GetPaletteEntries", &IDirect3DDevice9::GetPaletteEntries, paletteNumber, entries);
    }
    HRESULT SetCurrentTexturePalette(UINT paletteNumber) override {
        return Call("SetCurrentTexturePalette", &IDirect3DDevice9::SetCurrentTexturePalette, paletteNumber);
    }
    HRESULT GetCurrentTexturePalette(UINT* paletteNumber) override {
        return Call("GetCurrentTexturePalette", &IDirect3DDevice9::GetCurrentTexturePalette, paletteNumber);
    }
    HRESULT SetScissorRect(const RECT* rect) override {
        return Call("SetScissorRect", &IDirect3DDevice9::SetScissorRect, rect);
    }
    HRESULT GetScissorRect(RECT* rect) override {
        return Call("GetScissorRect", &IDirect3DDevice9::GetScissorRect, rect);
    }
    HRESULT SetSoftwareVertexProcessing(BOOL software) override {
        return Call("SetSoftwareVertexProcessing", &IDirect3DDevice9::SetSoftwareVertexProcessing, software);
    }
    BOOL GetSoftwareVertexProcessing() override {
        return Call("GetSoftwareVertexProcessing", &IDirect3DDevice9::GetSoftwareVertexProcessing);
    }
    HRESULT SetNPatchMode(float segments) override {
        return Call("SetNPatchMode", &IDirect3DDevice9::SetNPatchMode, segments);
    }
    float GetNPatchMode() override { return Call("GetNPatchMode", &IDirect3DDevice9::GetNPatchMode); }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) override {
        return Call("DrawPrimitive", &IDirect3DDevice9::DrawPrimitive, primitiveType, startVertex, primitiveCount);
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, INT baseVertexIndex, UINT minVertexIndex,
                                 UINT numVertices, UINT startIndex, UINT primitiveCount) override {
        return Call("DrawIndexedPrimitive", &IDirect3DDevice9::DrawIndexedPrimitive, primitiveType, baseVertexIndex,
                    minVertexIndex, numVertices, startIndex, primitiveCount);
    }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount, const void* vertexStreamZeroData,
                            UINT vertexStreamZeroStride) override {
        return Call("DrawPrimitiveUP", &IDirect3DDevice9::DrawPrimitiveUP, primitiveType, primitiveCount,
                    vertexStreamZeroData, vertexStreamZeroStride);
    }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex, UINT numVertices,
                                   UINT primitiveCount, const void* indexData, D3DFORMAT indexDataFormat,
                                   const void* vertexStreamZeroData, UINT vertexStreamZeroStride) override {
        return Call("DrawIndexedPrimitiveUP", &IDirect3DDevice9::DrawIndexedPrimitiveUP, primitiveType, minVertexIndex,
                    numVertices, primitiveCount, indexData, indexDataFormat, vertexStreamZeroData,
                    vertexStreamZeroStride);
    }
    HRESULT ProcessVertices(UINT srcStartIndex, UINT destIndex, UINT vertexCount, IDirect3DVertexBuffer9* destBuffer,
                            IDirect3DVertexDeclaration9* vertexDecl, DWORD flags) override {
        return Call("ProcessVertices", &IDirect3DDevice9::ProcessVertices, srcStartIndex, destIndex, vertexCount,
                    destBuffer, vertexDecl, flags);
    }
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* vertexElements,
                                    IDirect3DVertexDeclaration9** decl) override {
        return Call("CreateVertexDeclaration", &IDirect3DDevice9::CreateVertexDeclaration, vertexElements, decl);
    }
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) override {
        return Call("SetVertexDeclaration", &IDirect3DDevice9::SetVertexDeclaration, decl);
    }
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) override {
        return Call("GetVertexDeclaration", &IDirect3DDevice9::GetVertexDeclaration, decl);
    }
    HRESULT SetFVF(DWORD fvf) override { return Call("SetFVF", &IDirect3DDevice9::SetFVF, fvf); }
    HRESULT GetFVF(DWORD* fvf) override { return Call("GetFVF", &IDirect3DDevice9::GetFVF, fvf); }
    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override {
        return Call("CreateVertexShader", &IDirect3DDevice9::CreateVertexShader, function, shader);
    }
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override {
        return Call("SetVertexShader", &IDirect3DDevice9::SetVertexShader, shader);
    }
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override {
        return Call("GetVertexShader", &IDirect3DDevice9::GetVertexShader, shader);
    }
    HRESULT SetVertexShaderConstantF(UINT startRegister, const float* constantData, UINT vector4fCount) override {
        return Call("SetVertexShaderConstantF", &IDirect3DDevice9::SetVertexShaderConstantF, startRegister,
                    constantData, vector4fCount);
    }
    HRESULT GetVertexShaderConstantF(UINT startRegister, float* constantData, UINT vector4fCount) override {
        return Call("GetVertexShaderConstantF", &IDirect3DDevice9::GetVertexShaderConstantF, startRegister,
                    constantData, vector4fCount);
    }
    HRESULT SetVertexShaderConstantI(UINT startRegister, const int* constantData, UINT vector4iCount) override {
        return Call("SetVertexShaderConstantI", &IDirect3DDevice9::SetVertexShaderConstantI, startRegister,
                    constantData, vector4iCount);
    }
    HRESULT GetVertexShaderConstantI(UINT startRegister, int* constantData, UINT vector4iCount) override {
        return Call("GetVertexShaderConstantI", &IDirect3DDevice9::GetVertexShaderConstantI, startRegister,
                    constantData, vector4iCount);
    }
    HRESULT SetVertexShaderConstantB(UINT startRegister, const BOOL* constantData, UINT boolCount) override {
        return Call("SetVertexShaderConstantB", &IDirect3DDevice9::SetVertexShaderConstantB, startRegister,
                    constantData, boolCount);
    }
    HRESULT GetVertexShaderConstantB(UINT startRegister, BOOL* constantData, UINT boolCount) override {
        return Call("GetVertexShaderConstantB", &IDirect3DDevice9::GetVertexShaderConstantB, startRegister,
                    constantData, boolCount);
    }
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData, UINT offsetInBytes,
                            UINT stride) override {
        return Call("SetStreamSource", &IDirect3DDevice9::SetStreamSource, streamNumber, streamData, offsetInBytes,
                    stride);
    }
    HRESULT GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9** streamData, UINT* offsetInBytes,
                            UINT* stride) override {
        return Call("GetStreamSource", &IDirect3DDevice9::GetStreamSource, streamNumber, streamData, offsetInBytes,
                    stride);
    }
    HRESULT SetStreamSourceFreq(UINT streamNumber, UINT setting) override {
        return Call("SetStreamSourceFreq", &IDirect3DDevice9::SetStreamSourceFreq, streamNumber, setting);
    }
    HRESULT GetStreamSourceFreq(UINT streamNumber, UINT* setting) override {
        return Call("GetStreamSourceFreq", &IDirect3DDevice9::GetStreamSourceFreq, streamNumber, setting);
    }
    HRESULT SetIndices(IDirect3DIndexBuffer9* indexData) override {
        return Call("SetIndices", &IDirect3DDevice9::SetIndices, indexData);
    }
    HRESULT GetIndices(IDirect3DIndexBuffer9** indexData) override {
        return Call("GetIndices", &IDirect3DDevice9::GetIndices, indexData);
    }
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override {
        return Call("CreatePixelShader", &IDirect3DDevice9::CreatePixelShader, function, shader);
    }
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override {
        return Call("SetPixelShader", &IDirect3DDevice9::SetPixelShader, shader);
    }
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override {
        return Call("GetPixelShader", &IDirect3DDevice9::GetPixelShader, shader);
    }
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* constantData, UINT vector4fCount) override {
        return Call("SetPixelShaderConstantF", &IDirect3DDevice9::SetPixelShaderConstantF, startRegister, constantData,
                    vector4fCount);
    }
    HRESULT GetPixelShaderConstantF(UINT startRegister, float* constantData, UINT vector4fCount) override {
        return Call("GetPixelShaderConstantF", &IDirect3DDevice9::GetPixelShaderConstantF, startRegister, constantData,
                    vector4fCount);
    }
    HRESULT SetPixelShaderConstantI(UINT startRegister, const int* constantData, UINT vector4iCount) override {
        return Call("SetPixelShaderConstantI", &IDirect3DDevice9::SetPixelShaderConstantI, startRegister, constantData,
                    vector4iCount);
    }
    HRESULT GetPixelShaderConstantI(UINT startRegister, int* constantData, UINT vector4iCount) override {
        return Call("GetPixelShaderConstantI", &IDirect3DDevice9::GetPixelShaderConstantI, startRegister, constantData,
                    vector4iCount);
    }
    HRESULT SetPixelShaderConstantB(UINT startRegister, const BOOL* constantData, UINT boolCount) override {
        return Call("SetPixelShaderConstantB", &IDirect3DDevice9::SetPixelShaderConstantB, startRegister, constantData,
                    boolCount);
    }
    HRESULT GetPixelShaderConstantB(UINT startRegister, BOOL* constantData, UINT boolCount) override {
        return Call("GetPixelShaderConstantB", &IDirect3DDevice9::GetPixelShaderConstantB, startRegister, constantData,
                    boolCount);
    }
    HRESULT DrawRectPatch(UINT handle, const float* numSegs, const D3DRECTPATCH_INFO* rectPatchInfo) override {
        return Call("DrawRectPatch", &IDirect3DDevice9::DrawRectPatch, handle, numSegs, rectPatchInfo);
    }
    HRESULT DrawTriPatch(UINT handle, const float* numSegs, const D3DTRIPATCH_INFO* triPatchInfo) override {
        return Call("DrawTriPatch", &IDirect3DDevice9::DrawTriPatch, handle, numSegs, triPatchInfo);
    }
    HRESULT DeletePatch(UINT handle) override { return Call("DeletePatch", &IDirect3DDevice9::DeletePatch, handle); }
    HRESULT CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** query) override {
        return Call("CreateQuery", &IDirect3DDevice9::CreateQuery, type, query);
    }

private:
    void Log(const std::string& line) {
        ++callCount;
        if (recording) calls.push_back(line);
    }

    template <typename T>
    void Arg(std::string& line, T value) {
        if (line.back() != '(') line += ',';
        if constexpr (std::is_pointer_v<T>) {
            if constexpr (std::is_same_v<T, const D3DMATRIX*>) {
                if (value && recording) transforms.push_back(*value);
            }
            if (!value) {
                line += "null";
            } else {
                const auto found = names_.find(static_cast<const void*>(value));
                line += found != names_.end() ? found->second : std::string("ptr");
            }
        } else if constexpr (std::is_floating_point_v<T>) {
            line += std::to_string(value);
        } else if constexpr (std::is_enum_v<T>) {
            line += std::to_string(static_cast<long long>(value));
        } else if constexpr (std::is_integral_v<T>) {
            line += std::to_string(value);
        } else {
            line += "?";  // structures passed by value
        }
    }

    // Logs the call, then forwards it to the inner device or answers it: creations and queries fail without an
    // inner device (their outputs stay unwritten), everything else succeeds.
    template <typename R, typename... P, typename... A>
    R Call(const char* name, R (IDirect3DDevice9::*method)(P...), A... args) {
        if (recording) {
            std::string line = name;
            line += '(';
            (Arg(line, args), ...);
            line += ')';
            Log(line);
        } else {
            ++callCount;
        }
        if (inner_) return (inner_->*method)(args...);
        if constexpr (std::is_same_v<R, void>) {
            return;
        } else if constexpr (std::is_same_v<R, HRESULT>) {
            const bool query = std::strncmp(name, "Create", 6) == 0 || std::strncmp(name, "Get", 3) == 0;
            return query ? D3DERR_INVALIDCALL : D3D_OK;
        } else {
            return R{};
        }
    }

    IDirect3DDevice9* inner_;
    std::map<const void*, std::string> names_;
};

}  // namespace tarn::test
