// One conversion job of tarn-texconv: naming the outputs, reading the inputs, building the texture in the scratch
// pool and saving it. Scratch textures take every format and size the library knows without asking the device,
// so a format the null device would not sample (P8, the bump formats, DXT at odd sizes) converts all the same.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>

#include "tools/texconv/TexConv.h"

namespace tarn::texconv {
namespace {

namespace fs = std::filesystem;

struct NamedResult {
    HRESULT hr;
    const char* words;
};

const NamedResult kResults[] = {
    {D3DXERR_INVALIDDATA, "the file is not an image the library reads, or is damaged (D3DXERR_INVALIDDATA)"},
    {D3DERR_INVALIDCALL, "the library refuses the request: format, size or options (D3DERR_INVALIDCALL)"},
    {D3DERR_NOTAVAILABLE, "the format is not available (D3DERR_NOTAVAILABLE)"},
    {E_OUTOFMEMORY, "out of memory, or the image is larger than allowed (E_OUTOFMEMORY)"},
    {D3DERR_OUTOFVIDEOMEMORY, "out of texture memory (D3DERR_OUTOFVIDEOMEMORY)"},
    {E_NOTIMPL, "not implemented (E_NOTIMPL)"},
    {E_FAIL, "the call failed (E_FAIL)"},
};

HRESULT Refuse(Failure* failure, const std::string& file, HRESULT hr, const std::string& what) {
    if (failure != nullptr) *failure = {file, what.empty() ? DescribeResult(hr) : what + ": " + DescribeResult(hr)};
    return hr;
}

bool IsPalettised(D3DFORMAT format) { return format == D3DFMT_P8 || format == D3DFMT_A8P8; }

std::string FormatText(D3DFORMAT format) {
    const char* name = FormatName(format);
    return name != nullptr ? name : "format " + std::to_string(static_cast<unsigned>(format));
}

// The size of level 0: -w and -h as given, one alone scaling the other by the image's aspect (at least 1).
void FitSize(const Options& o, UINT imageWidth, UINT imageHeight, UINT* width, UINT* height) {
    *width = imageWidth;
    *height = imageHeight;
    if (o.width != 0 && o.height != 0) {
        *width = o.width, *height = o.height;
    } else if (o.width != 0) {
        *width = o.width;
        *height = static_cast<UINT>(std::max<unsigned long long>(
            1, (static_cast<unsigned long long>(imageHeight) * o.width + imageWidth / 2) / std::max(imageWidth, 1u)));
    } else if (o.height != 0) {
        *height = o.height;
        *width = static_cast<UINT>(std::max<unsigned long long>(
            1, (static_cast<unsigned long long>(imageWidth) * o.height + imageHeight / 2) / std::max(imageHeight, 1u)));
    }
}

// Resampling an image to its own size changes nothing, so it converts without a filter unless one is asked for.
DWORD FilterFor(const Options& o, bool ownSize) {
    const DWORD filter = o.filterGiven ? o.filter : (ownSize ? D3DX_FILTER_NONE : D3DX_FILTER_TRIANGLE);
    return filter | (o.dither ? D3DX_FILTER_DITHER : 0);
}

DWORD MipFilterFor(const Options& o) { return o.mipFilter | (o.dither ? D3DX_FILTER_DITHER : 0); }

UINT LevelsFor(const Options& o, D3DXIMAGE_FILEFORMAT outFormat) {
    if (!o.levelsGiven) return outFormat == D3DXIFF_DDS ? D3DX_DEFAULT : 1;
    return o.levels == 0 ? D3DX_DEFAULT : o.levels;
}

D3DFORMAT FormatOf(IDirect3DBaseTexture9* texture) {
    switch (texture->GetType()) {
    case D3DRTYPE_TEXTURE: {
        D3DSURFACE_DESC desc = {};
        static_cast<IDirect3DTexture9*>(texture)->GetLevelDesc(0, &desc);
        return desc.Format;
    }
    case D3DRTYPE_CUBETEXTURE: {
        D3DSURFACE_DESC desc = {};
        static_cast<IDirect3DCubeTexture9*>(texture)->GetLevelDesc(0, &desc);
        return desc.Format;
    }
    case D3DRTYPE_VOLUMETEXTURE: {
        D3DVOLUME_DESC desc = {};
        static_cast<IDirect3DVolumeTexture9*>(texture)->GetLevelDesc(0, &desc);
        return desc.Format;
    }
    default:
        return D3DFMT_UNKNOWN;
    }
}

HRESULT CheckPixels(const Options& o, const std::string& file, UINT width, UINT height, UINT depth, UINT faces,
                    Failure* failure) {
    const unsigned long long pixels = static_cast<unsigned long long>(width) * height * depth * faces;
    if (pixels <= o.maxPixels) return S_OK;
    return Refuse(failure, file, E_OUTOFMEMORY,
                  "the output would be " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                      std::to_string(depth) + (faces > 1 ? " x 6 faces" : "") + ", more than " +
                      std::to_string(o.maxPixels) + " pixels");
}

HRESULT InfoOf(const Image& image, D3DXIMAGE_INFO* info, Failure* failure) {
    if (image.bytes.empty()) return Refuse(failure, image.name, D3DXERR_INVALIDDATA, "the file is empty");
    if (image.bytes.size() > std::numeric_limits<UINT>::max())
        return Refuse(failure, image.name, E_OUTOFMEMORY, "the file is larger than 4 GB");
    const HRESULT hr =
        D3DXGetImageInfoFromFileInMemory(image.bytes.data(), static_cast<UINT>(image.bytes.size()), info);
    return FAILED(hr) ? Refuse(failure, image.name, hr, "") : hr;
}

// One file into a texture of the file's own kind: a DDS cube map stays a cube map, a DDS volume a volume.
HRESULT BuildFromOneFile(IDirect3DDevice9* device, const Options& o, D3DXIMAGE_FILEFORMAT outFormat, const Image& image,
                         IDirect3DBaseTexture9** texture, PALETTEENTRY* palette, Failure* failure) {
    D3DXIMAGE_INFO info = {};
    HRESULT hr = InfoOf(image, &info, failure);
    if (FAILED(hr)) return hr;
    UINT width = 0, height = 0;
    FitSize(o, info.Width, info.Height, &width, &height);
    const bool ownSize = width == info.Width && height == info.Height;
    const UINT levels = LevelsFor(o, outFormat);
    const DWORD filter = FilterFor(o, ownSize), mipFilter = MipFilterFor(o);
    const void* data = image.bytes.data();
    const UINT size = static_cast<UINT>(image.bytes.size());
    // Given somewhere to put a palette, the library keeps a palettised image palettised; the engine samples true
    // colour, so the palette is asked for only when -f names a palettised format.
    if (!IsPalettised(o.format)) palette = nullptr;
    if (info.ResourceType == D3DRTYPE_CUBETEXTURE) {
        const UINT edge = std::max(width, height);
        hr = CheckPixels(o, image.name, edge, edge, 1, 6, failure);
        if (FAILED(hr)) return hr;
        IDirect3DCubeTexture9* cube = nullptr;
        hr = D3DXCreateCubeTextureFromFileInMemoryEx(device, data, size, edge, levels, 0, o.format, D3DPOOL_SCRATCH,
                                                     FilterFor(o, edge == info.Width), mipFilter, o.colorKey, nullptr,
                                                     palette, &cube);
        *texture = cube;
    } else if (info.ResourceType == D3DRTYPE_VOLUMETEXTURE) {
        hr = CheckPixels(o, image.name, width, height, info.Depth, 1, failure);
        if (FAILED(hr)) return hr;
        IDirect3DVolumeTexture9* volume = nullptr;
        hr = D3DXCreateVolumeTextureFromFileInMemoryEx(device, data, size, width, height, info.Depth, levels, 0,
                                                       o.format, D3DPOOL_SCRATCH, filter, mipFilter, o.colorKey,
                                                       nullptr, palette, &volume);
        *texture = volume;
    } else {
        hr = CheckPixels(o, image.name, width, height, 1, 1, failure);
        if (FAILED(hr)) return hr;
        IDirect3DTexture9* flat = nullptr;
        hr =
            D3DXCreateTextureFromFileInMemoryEx(device, data, size, width, height, levels, 0, o.format, D3DPOOL_SCRATCH,
                                                filter, mipFilter, o.colorKey, nullptr, palette, &flat);
        *texture = flat;
    }
    return FAILED(hr) ? Refuse(failure, image.name, hr, "") : hr;
}

// The format a cube or volume is made in when -f is not given: the first image's, except that a palette of its
// own cannot follow it into a texture assembled from several images.
D3DFORMAT AssembledFormat(const Options& o, const D3DXIMAGE_INFO& first) {
    if (o.format != D3DFMT_UNKNOWN) return o.format;
    return IsPalettised(first.Format) ? D3DFMT_A8R8G8B8 : first.Format;
}

const char* const kFaceNames[6] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};

HRESULT BuildCube(IDirect3DDevice9* device, const Options& o, D3DXIMAGE_FILEFORMAT outFormat,
                  const std::vector<Image>& images, IDirect3DBaseTexture9** texture, Failure* failure) {
    if (images.size() != 6) return Refuse(failure, "--cube", D3DERR_INVALIDCALL, "a cube map needs six images");
    D3DXIMAGE_INFO infos[6] = {};
    for (int f = 0; f < 6; ++f) {
        const HRESULT hr = InfoOf(images[f], &infos[f], failure);
        if (FAILED(hr)) return hr;
    }
    UINT width = 0, height = 0;
    FitSize(o, infos[0].Width, infos[0].Height, &width, &height);
    const UINT edge = std::max(width, height);
    HRESULT hr = CheckPixels(o, images[0].name, edge, edge, 1, 6, failure);
    if (FAILED(hr)) return hr;
    IDirect3DCubeTexture9* cube = nullptr;
    hr = D3DXCreateCubeTexture(device, edge, LevelsFor(o, outFormat), 0, AssembledFormat(o, infos[0]), D3DPOOL_SCRATCH,
                               &cube);
    if (FAILED(hr)) return Refuse(failure, images[0].name, hr, "cannot make the cube map");
    for (int f = 0; f < 6 && SUCCEEDED(hr); ++f) {
        IDirect3DSurface9* surface = nullptr;
        hr = cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(f), 0, &surface);
        if (SUCCEEDED(hr)) {
            const bool ownSize = infos[f].Width == edge && infos[f].Height == edge;
            hr = D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, images[f].bytes.data(),
                                                 static_cast<UINT>(images[f].bytes.size()), nullptr,
                                                 FilterFor(o, ownSize), o.colorKey, nullptr);
            surface->Release();
        }
        if (FAILED(hr)) Refuse(failure, images[f].name, hr, std::string("cannot load the ") + kFaceNames[f] + " face");
    }
    if (SUCCEEDED(hr) && cube->GetLevelCount() > 1) {
        hr = D3DXFilterTexture(cube, nullptr, 0, MipFilterFor(o));
        if (FAILED(hr)) Refuse(failure, images[0].name, hr, "cannot make the mip levels");
    }
    if (FAILED(hr)) {
        cube->Release();
        return hr;
    }
    *texture = cube;
    return hr;
}

HRESULT BuildVolume(IDirect3DDevice9* device, const Options& o, D3DXIMAGE_FILEFORMAT outFormat,
                    const std::vector<Image>& images, IDirect3DBaseTexture9** texture, Failure* failure) {
    if (images.empty()) return Refuse(failure, "--volume", D3DERR_INVALIDCALL, "a volume needs a slice");
    std::vector<D3DXIMAGE_INFO> infos(images.size());
    for (std::size_t z = 0; z < images.size(); ++z) {
        const HRESULT hr = InfoOf(images[z], &infos[z], failure);
        if (FAILED(hr)) return hr;
    }
    UINT width = 0, height = 0;
    FitSize(o, infos[0].Width, infos[0].Height, &width, &height);
    const UINT depth = static_cast<UINT>(images.size());
    HRESULT hr = CheckPixels(o, images[0].name, width, height, depth, 1, failure);
    if (FAILED(hr)) return hr;
    IDirect3DVolumeTexture9* volume = nullptr;
    hr = D3DXCreateVolumeTexture(device, width, height, depth, LevelsFor(o, outFormat), 0, AssembledFormat(o, infos[0]),
                                 D3DPOOL_SCRATCH, &volume);
    if (FAILED(hr)) return Refuse(failure, images[0].name, hr, "cannot make the volume");
    IDirect3DVolume9* level = nullptr;
    hr = volume->GetVolumeLevel(0, &level);
    for (UINT z = 0; z < depth && SUCCEEDED(hr); ++z) {
        // Each image fills one slice of level 0; only its width and height are resampled.
        const D3DBOX slice = {0, 0, width, height, z, z + 1};
        const bool ownSize = infos[z].Width == width && infos[z].Height == height;
        hr = D3DXLoadVolumeFromFileInMemory(level, nullptr, &slice, images[z].bytes.data(),
                                            static_cast<UINT>(images[z].bytes.size()), nullptr, FilterFor(o, ownSize),
                                            o.colorKey, nullptr);
        if (FAILED(hr)) Refuse(failure, images[z].name, hr, "cannot load slice " + std::to_string(z));
    }
    if (level != nullptr) level->Release();
    if (SUCCEEDED(hr) && volume->GetLevelCount() > 1) {
        hr = D3DXFilterTexture(volume, nullptr, 0, MipFilterFor(o));
        if (FAILED(hr)) Refuse(failure, images[0].name, hr, "cannot make the mip levels");
    }
    if (FAILED(hr)) {
        volume->Release();
        return hr;
    }
    *texture = volume;
    return hr;
}

// Reads a whole file; false with the reason in words.
bool ReadFile(const std::string& path, std::vector<BYTE>* bytes, std::string* why) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        *why = "cannot read: it is a directory";
        return false;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *why = std::string("cannot open: ") + (errno != 0 ? std::strerror(errno) : "unknown error");
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || static_cast<unsigned long long>(size) > std::numeric_limits<UINT>::max()) {
        *why = "cannot read: not a file of up to 4 GB";
        return false;
    }
    try {
        bytes->resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        *why = "cannot read: " + DescribeResult(E_OUTOFMEMORY);
        return false;
    }
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes->data()), size)) {
        *why = "cannot read: the read failed";
        return false;
    }
    return true;
}

// Paths compared as the file system would resolve them, so "./a.dds" and "a.dds" are one file.
std::string Resolved(const std::string& path) {
    std::error_code error;
    const fs::path p = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? fs::path(path).lexically_normal().string() : p.string();
}

}  // namespace

std::string DescribeResult(HRESULT hr) {
    for (const NamedResult& r : kResults) {
        if (r.hr == hr) return r.words;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "the call failed (HRESULT 0x%08X)", static_cast<unsigned>(hr));
    return buffer;
}

std::vector<Job> PlanJobs(const Options& options, std::vector<Failure>* failures) {
    std::vector<Job> jobs;
    std::error_code error;
    const std::string& out = options.output;
    const bool intoDirectory =
        !out.empty() && (options.inputs.size() > 1 || out.back() == '/' || fs::is_directory(out, error));
    const std::string extension = ExtensionOf(options.outFormatGiven ? options.outFormat : D3DXIFF_DDS);
    auto nameFor = [&](const std::string& input) {
        fs::path p(input);
        if (out.empty()) return p.replace_extension(extension).string();
        return (fs::path(out) / p.filename().replace_extension(extension)).string();
    };
    if (options.assembly != Assembly::EachFile) {
        const bool directory = !out.empty() && (out.back() == '/' || fs::is_directory(out, error));
        jobs.push_back({options.inputs, directory ? nameFor(options.inputs[0]) : out});
        return jobs;
    }
    std::map<std::string, std::string> taken;  // resolved output -> the input it is made from
    std::vector<std::string> inputs;
    for (const std::string& input : options.inputs) inputs.push_back(Resolved(input));
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
        const std::string& input = options.inputs[i];
        const std::string output = intoDirectory || out.empty() ? nameFor(input) : out;
        const std::string resolved = Resolved(output);
        if (std::find(inputs.begin(), inputs.end(), resolved) != inputs.end()) {
            failures->push_back({input, "the output " + output + " would overwrite an input"});
        } else if (const auto it = taken.find(resolved); it != taken.end()) {
            failures->push_back({input, "the output " + output + " is also made from " + it->second});
        } else {
            taken.emplace(resolved, input);
            jobs.push_back({{input}, output});
        }
    }
    return jobs;
}

HRESULT BuildTexture(IDirect3DDevice9* device, const Options& options, D3DXIMAGE_FILEFORMAT outFormat,
                     const std::vector<Image>& images, IDirect3DBaseTexture9** texture, PALETTEENTRY (&palette)[256],
                     Failure* failure) {
    *texture = nullptr;
    std::memset(palette, 0, sizeof(palette));
    HRESULT hr = D3DERR_INVALIDCALL;
    switch (options.assembly) {
    case Assembly::EachFile:
        if (images.size() != 1) return Refuse(failure, "", hr, "one image per texture");
        hr = BuildFromOneFile(device, options, outFormat, images[0], texture, palette, failure);
        break;
    case Assembly::Cube:
        hr = BuildCube(device, options, outFormat, images, texture, failure);
        break;
    case Assembly::Volume:
        hr = BuildVolume(device, options, outFormat, images, texture, failure);
        break;
    }
    if (FAILED(hr)) return hr;
    // The library falls back to another format where it cannot make the one asked for (P8 from an image without
    // a palette): the file must hold what was asked for, or nothing.
    const D3DFORMAT made = FormatOf(*texture);
    if (options.format != D3DFMT_UNKNOWN && made != options.format) {
        (*texture)->Release();
        *texture = nullptr;
        return Refuse(
            failure, images.empty() ? "" : images[0].name, D3DERR_NOTAVAILABLE,
            "the library makes " + FormatText(made) + ", not " + FormatText(options.format) + ", from this image");
    }
    return hr;
}

bool ConvertJob(IDirect3DDevice9* device, const Options& options, const Job& job, D3DXIMAGE_FILEFORMAT format,
                Failure* failure) {
    std::vector<Image> images(job.inputs.size());
    for (std::size_t i = 0; i < job.inputs.size(); ++i) {
        images[i].name = job.inputs[i];
        std::string why;
        if (!ReadFile(job.inputs[i], &images[i].bytes, &why)) {
            *failure = {job.inputs[i], why};
            return false;
        }
    }
    IDirect3DBaseTexture9* texture = nullptr;
    PALETTEENTRY palette[256];
    if (FAILED(BuildTexture(device, options, format, images, &texture, palette, failure))) return false;
    images.clear();  // the inputs are no longer needed while the file is encoded
    const HRESULT hr = D3DXSaveTextureToFileA(job.output.c_str(), format, texture,
                                              IsPalettised(FormatOf(texture)) ? palette : nullptr);
    texture->Release();
    if (FAILED(hr)) {
        Refuse(failure, job.inputs.size() == 1 ? job.inputs[0] : job.output, hr, "cannot write " + job.output);
        return false;
    }
    return true;
}

}  // namespace tarn::texconv
