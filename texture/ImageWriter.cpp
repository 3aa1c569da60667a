// The table of image writers and what they share: the source's traits and the conversion of its top image.
#include "ImageWriter.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "BlitImage.h"
#include "FormatTable.h"
#include "PixelCodec.h"

namespace tarn::texture {

namespace {

struct WriterEntry {
    D3DXIMAGE_FILEFORMAT format;
    ImageWriterFn write;
};

// Indexed by D3DXIMAGE_FILEFORMAT.
const WriterEntry kWriters[] = {
    {D3DXIFF_BMP, WriteBmp}, {D3DXIFF_JPG, WriteJpeg}, {D3DXIFF_TGA, WriteTga},
    {D3DXIFF_PNG, WritePng}, {D3DXIFF_DDS, WriteDds},  {D3DXIFF_PPM, WritePpm},
    {D3DXIFF_DIB, WriteDib}, {D3DXIFF_HDR, WriteHdr},  {D3DXIFF_PFM, WritePfm},
};
static_assert(std::size(kWriters) == D3DXIFF_PFM + 1, "one writer for every file format");

}  // namespace

ImageWriterFn FindImageWriter(D3DXIMAGE_FILEFORMAT format) {
    const auto index = static_cast<std::uint32_t>(format);
    if (index >= std::size(kWriters)) return nullptr;
    return kWriters[index].write;
}

SourceTraits TraitsOf(D3DFORMAT format) {
    const FormatDesc& desc = LookUpFormatDesc(format);
    SourceTraits t{};
    t.palettised = format == D3DFMT_P8;
    t.grey = desc.family == FormatFamily::Luminance;
    t.alpha = desc.widths[1] > 0;
    t.wide = *std::max_element(desc.widths + 1, desc.widths + 5) > 8;
    return t;
}

HRESULT ConvertTopImage(const SavedImage& image, D3DFORMAT format, std::vector<BYTE>& pixels, UINT& rowPitch) {
    const SavedLevel& top = image.Top();
    if (!HasPixelCodec(image.format) || !HasPixelCodec(format)) return D3DERR_INVALIDCALL;
    rowPitch = top.width * (LookUpFormatDesc(format).bits / 8);
    pixels.assign(static_cast<std::size_t>(rowPitch) * top.height, 0);

    ImageDesc source;
    source.memory = const_cast<BYTE*>(top.bytes.data());
    source.format = image.format;
    source.rowPitch = top.rowPitch;
    source.slicePitch = top.slicePitch;
    source.box = {0, 0, top.width, top.height, 0, 1};
    source.palette = image.palette;
    ImageDesc dest;
    dest.memory = pixels.data();
    dest.format = format;
    dest.rowPitch = rowPitch;
    dest.slicePitch = rowPitch * top.height;
    dest.box = source.box;
    dest.palette = format == D3DFMT_P8 ? image.palette : nullptr;
    const HRESULT hr = BlitImage(dest, source, D3DX_FILTER_NONE);
    if (hr == E_OUTOFMEMORY) return hr;
    return FAILED(hr) ? D3DERR_INVALIDCALL : S_OK;
}

void PutLe16(std::vector<BYTE>& out, std::uint32_t value) {
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

void PutLe32(std::vector<BYTE>& out, std::uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

void PutText(std::vector<BYTE>& out, const char* text) { out.insert(out.end(), text, text + std::strlen(text)); }

}  // namespace tarn::texture
