// ProcessVertices: the fixed-function vertex pipeline on the processor.
#include "DeviceObject.h"

namespace tarn::d3d9 {

HRESULT Device::ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9* destination, IDirect3DVertexDeclaration9*,
                                DWORD) {
    return destination ? E_NOTIMPL : D3DERR_INVALIDCALL;
}

}  // namespace tarn::d3d9
