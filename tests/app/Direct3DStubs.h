// Do-nothing implementations of the Direct3D 9 interfaces for test doubles: every method answers E_NOTIMPL,
// zero or nothing. A double derives from these and overrides only the calls it records or answers.
#pragma once

#include "platform/d3d9/D3D9.h"

namespace tarn::test {

class StubDirect3D : public IDirect3D9 {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 0; }
    HRESULT RegisterSoftwareDevice(void*) override { return E_NOTIMPL; }
    UINT GetAdapterCount() override { return {}; }
    HRESULT GetAdapterIdentifier(UINT, DWORD, D3DADAPTER_IDENTIFIER9*) override { return E_NOTIMPL; }
    UINT GetAdapterModeCount(UINT, D3DFORMAT) override { return {}; }
    HRESULT EnumAdapterModes(UINT, D3DFORMAT, UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT CheckDeviceType(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, BOOL) override { return E_NOTIMPL; }
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override {
        return E_NOTIMPL;
    }
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE,
                                       DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT CheckDepthStencilMatch(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) override {
        return E_NOTIMPL;
    }
    HRESULT CheckDeviceFormatConversion(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT) override { return E_NOTIMPL; }
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9*) override { return E_NOTIMPL; }
    HMONITOR GetAdapterMonitor(UINT) override { return {}; }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9**) override {
        return E_NOTIMPL;
    }
};

class StubDevice : public IDirect3DDevice9 {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 0; }
    HRESULT TestCooperativeLevel() override { return E_NOTIMPL; }
    UINT GetAvailableTextureMem() override { return {}; }
    HRESULT EvictManagedResources() override { return E_NOTIMPL; }
    HRESULT GetDirect3D(IDirect3D9**) override { return E_NOTIMPL; }
    HRESULT GetDeviceCaps(D3DCAPS9*) override { return E_NOTIMPL; }
    HRESULT GetDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS*) override { return E_NOTIMPL; }
    HRESULT SetCursorProperties(UINT, UINT, IDirect3DSurface9*) override { return E_NOTIMPL; }
    void SetCursorPosition(int, int, DWORD) override {}
    BOOL ShowCursor(BOOL) override { return {}; }
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain9**) override {
        return E_NOTIMPL;
    }
    HRESULT GetSwapChain(UINT, IDirect3DSwapChain9**) override { return E_NOTIMPL; }
    UINT GetNumberOfSwapChains() override { return {}; }
    HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return E_NOTIMPL; }
    HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override { return E_NOTIMPL; }
    HRESULT GetBackBuffer(UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9**) override { return E_NOTIMPL; }
    HRESULT GetRasterStatus(UINT, D3DRASTER_STATUS*) override { return E_NOTIMPL; }
    HRESULT SetDialogBoxMode(BOOL) override { return E_NOTIMPL; }
    void SetGammaRamp(UINT, DWORD, const D3DGAMMARAMP*) override {}
    void GetGammaRamp(UINT, D3DGAMMARAMP*) override {}
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**,
                          HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DVolumeTexture9**,
                                HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9**,
                              HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9**, HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT CreateIndexBuffer(UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer9**, HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**,
                               HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL,
                                      IDirect3DSurface9**, HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT UpdateSurface(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const POINT*) override {
        return E_NOTIMPL;
    }
    HRESULT UpdateTexture(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
    HRESULT GetRenderTargetData(IDirect3DSurface9*, IDirect3DSurface9*) override { return E_NOTIMPL; }
    HRESULT GetFrontBufferData(UINT, IDirect3DSurface9*) override { return E_NOTIMPL; }
    HRESULT StretchRect(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*,
                        D3DTEXTUREFILTERTYPE) override {
        return E_NOTIMPL;
    }
    HRESULT ColorFill(IDirect3DSurface9*, const RECT*, D3DCOLOR) override { return E_NOTIMPL; }
    HRESULT CreateOffscreenPlainSurface(UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**,
                                        HANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT SetRenderTarget(DWORD, IDirect3DSurface9*) override { return E_NOTIMPL; }
    HRESULT GetRenderTarget(DWORD, IDirect3DSurface9**) override { return E_NOTIMPL; }
    HRESULT SetDepthStencilSurface(IDirect3DSurface9*) override { return E_NOTIMPL; }
    HRESULT GetDepthStencilSurface(IDirect3DSurface9**) override { return E_NOTIMPL; }
    HRESULT BeginScene() override { return E_NOTIMPL; }
    HRESULT EndScene() override { return E_NOTIMPL; }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return E_NOTIMPL; }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT SetViewport(const D3DVIEWPORT9*) override { return E_NOTIMPL; }
    HRESULT GetViewport(D3DVIEWPORT9*) override { return E_NOTIMPL; }
    HRESULT SetMaterial(const D3DMATERIAL9*) override { return E_NOTIMPL; }
    HRESULT GetMaterial(D3DMATERIAL9*) override { return E_NOTIMPL; }
    HRESULT SetLight(DWORD, const D3DLIGHT9*) override { return E_NOTIMPL; }
    HRESULT GetLight(DWORD, D3DLIGHT9*) override { return E_NOTIMPL; }
    HRESULT LightEnable(DWORD, BOOL) override { return E_NOTIMPL; }
    HRESULT GetLightEnable(DWORD, BOOL*) override { return E_NOTIMPL; }
    HRESULT SetClipPlane(DWORD, const float*) override { return E_NOTIMPL; }
    HRESULT GetClipPlane(DWORD, float*) override { return E_NOTIMPL; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE, IDirect3DStateBlock9**) override { return E_NOTIMPL; }
    HRESULT BeginStateBlock() override { return E_NOTIMPL; }
    HRESULT EndStateBlock(IDirect3DStateBlock9**) override { return E_NOTIMPL; }
    HRESULT SetClipStatus(const D3DCLIPSTATUS9*) override { return E_NOTIMPL; }
    HRESULT GetClipStatus(D3DCLIPSTATUS9*) override { return E_NOTIMPL; }
    HRESULT GetTexture(DWORD, IDirect3DBaseTexture9**) override { return E_NOTIMPL; }
    HRESULT SetTexture(DWORD, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT ValidateDevice(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetPaletteEntries(UINT, const PALETTEENTRY*) override { return E_NOTIMPL; }
    HRESULT GetPaletteEntries(UINT, PALETTEENTRY*) override { return E_NOTIMPL; }
    HRESULT SetCurrentTexturePalette(UINT) override { return E_NOTIMPL; }
    HRESULT GetCurrentTexturePalette(UINT*) override { return E_NOTIMPL; }
    HRESULT SetScissorRect(const RECT*) override { return E_NOTIMPL; }
    HRESULT GetScissorRect(RECT*) override { return E_NOTIMPL; }
    HRESULT SetSoftwareVertexProcessing(BOOL) override { return E_NOTIMPL; }
    BOOL GetSoftwareVertexProcessing() override { return {}; }
    HRESULT SetNPatchMode(float) override { return E_NOTIMPL; }
    float GetNPatchMode() override { return 0.0f; }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, INT, UINT, UINT, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return E_NOTIMPL; }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT, const void*,
                                   UINT) override {
        return E_NOTIMPL;
    }
    HRESULT ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*, IDirect3DVertexDeclaration9*,
                            DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9*, IDirect3DVertexDeclaration9**) override {
        return E_NOTIMPL;
    }
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9*) override { return E_NOTIMPL; }
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9**) override { return E_NOTIMPL; }
    HRESULT SetFVF(DWORD) override { return E_NOTIMPL; }
    HRESULT GetFVF(DWORD*) override { return E_NOTIMPL; }
    HRESULT CreateVertexShader(const DWORD*, IDirect3DVertexShader9**) override { return E_NOTIMPL; }
    HRESULT SetVertexShader(IDirect3DVertexShader9*) override { return E_NOTIMPL; }
    HRESULT GetVertexShader(IDirect3DVertexShader9**) override { return E_NOTIMPL; }
    HRESULT SetVertexShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
    HRESULT GetVertexShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
    HRESULT SetVertexShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
    HRESULT GetVertexShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
    HRESULT SetVertexShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT GetVertexShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT SetStreamSource(UINT, IDirect3DVertexBuffer9*, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT GetStreamSource(UINT, IDirect3DVertexBuffer9**, UINT*, UINT*) override { return E_NOTIMPL; }
    HRESULT SetStreamSourceFreq(UINT, UINT) override { return E_NOTIMPL; }
    HRESULT GetStreamSourceFreq(UINT, UINT*) override { return E_NOTIMPL; }
    HRESULT SetIndices(IDirect3DIndexBuffer9*) override { return E_NOTIMPL; }
    HRESULT GetIndices(IDirect3DIndexBuffer9**) override { return E_NOTIMPL; }
    HRESULT CreatePixelShader(const DWORD*, IDirect3DPixelShader9**) override { return E_NOTIMPL; }
    HRESULT SetPixelShader(IDirect3DPixelShader9*) override { return E_NOTIMPL; }
    HRESULT GetPixelShader(IDirect3DPixelShader9**) override { return E_NOTIMPL; }
    HRESULT SetPixelShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
    HRESULT GetPixelShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
    HRESULT SetPixelShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
    HRESULT GetPixelShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
    HRESULT SetPixelShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT GetPixelShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) override { return E_NOTIMPL; }
    HRESULT DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) override { return E_NOTIMPL; }
    HRESULT DeletePatch(UINT) override { return E_NOTIMPL; }
    HRESULT CreateQuery(D3DQUERYTYPE, IDirect3DQuery9**) override { return E_NOTIMPL; }
};

}  // namespace tarn::test
