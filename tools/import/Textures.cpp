// Textures: each planned image through the texture library's public calls into a DDS file, as tarn-texconv
// converts on a null device: decoded into A8R8G8B8 at the size the engine's loader would round it to (powers of
// two) with a full mip chain, its alpha set as the material needs (dropped for opaque materials, times the
// opacity for the others), then stored as DXT1 when every texel is opaque and DXT5 when not. --keep-images writes a
// file's own bytes instead, once the library has shown it can read them.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "tools/import/Import.h"

namespace tarn::import {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxImageFile = 512ull << 20;  // bytes of one image file
constexpr std::uint64_t kMaxPixels = 1ull << 26;       // 8192 x 8192, after rounding up to powers of two

std::string Describe(HRESULT hr) {
    switch (hr) {
    case D3DXERR_INVALIDDATA:
        return "not an image the texture library reads, or damaged";
    case E_OUTOFMEMORY:
        return "out of memory, or larger than the library allows";
    case D3DERR_INVALIDCALL:
        return "the texture library refuses it";
    case D3DERR_NOTAVAILABLE:
        return "its format is not available";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "HRESULT 0x%08X", static_cast<unsigned>(hr));
        return std::string("the texture library failed (") + text + ")";
    }
    }
}

bool ReadRegularFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = "not a regular file";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxImageFile) {
        *why = "larger than " + std::to_string(kMaxImageFile >> 20) + " MB";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes.resize(static_cast<std::size_t>(st.st_size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        *why = "cannot be read";
        return false;
    }
    return true;
}

bool IsRegular(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

std::string PercentDecoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The file a model's texture path names: as written (relative to the model's folder), with %-escapes decoded,
// with '\' as separator, and by its last component alone in the model's folder, the case of its letters ignored
// last (models made on other systems name their images every way).
std::string Resolve(const std::string& modelDir, const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.rfind("file://", 0) == 0) p = p.substr(7);
    const fs::path dir = modelDir.empty() ? fs::path(".") : fs::path(modelDir);
    std::vector<fs::path> tries;
    for (const std::string& q : {p, PercentDecoded(p)}) {
        if (q.empty()) continue;
        const fs::path candidate(q);
        tries.push_back(candidate.is_absolute() ? candidate : dir / candidate);
    }
    const std::string leaf = fs::path(p).filename().string();
    if (!leaf.empty()) tries.push_back(dir / leaf);
    for (const fs::path& t : tries) {
        if (IsRegular(t)) return t.string();
    }
    if (leaf.empty()) return "";
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (lower(entry.path().filename().string()) == lower(leaf) && IsRegular(entry.path()))
            return entry.path().string();
    }
    return "";
}

// Sets each texel's alpha as the material wants it on every level, and reports whether any stays below 255 on
// the first.
HRESULT FixAlpha(IDirect3DTexture9* texture, bool opaque, float opacity, bool* translucent) {
    *translucent = false;
    const DWORD levels = texture->GetLevelCount();
    const unsigned scale = static_cast<unsigned>(std::lround(std::clamp(opacity, 0.0f, 1.0f) * 256));
    for (DWORD level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked{};
        const HRESULT hr = texture->LockRect(level, &locked, nullptr, 0);
        if (FAILED(hr)) return hr;
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::size_t>(y) * locked.Pitch;
            for (UINT x = 0; x < desc.Width; ++x) {
                std::uint8_t& a = row[4 * x + 3];  // b, g, r, a
                a = opaque ? 255 : static_cast<std::uint8_t>(std::min(255u, (a * scale + 128) >> 8));
                if (level == 0 && a != 255) *translucent = true;
            }
        }
        texture->UnlockRect(level);
    }
    return S_OK;
}

// The A8R8G8B8 texture, full chain, into DXT1 or DXT5 and then DDS bytes.
HRESULT SaveCompressed(IDirect3DDevice9* device, IDirect3DTexture9* argb, bool translucent,
                       std::vector<std::uint8_t>& bytes) {
    D3DSURFACE_DESC desc{};
    argb->GetLevelDesc(0, &desc);
    const DWORD levels = argb->GetLevelCount();
    IDirect3DTexture9* packed = nullptr;
    HRESULT hr = D3DXCreateTexture(device, desc.Width, desc.Height, levels, 0, translucent ? D3DFMT_DXT5 : D3DFMT_DXT1,
                                   D3DPOOL_SCRATCH, &packed);
    if (FAILED(hr)) return hr;
    for (DWORD level = 0; level < levels && SUCCEEDED(hr); ++level) {
        IDirect3DSurface9 *to = nullptr, *from = nullptr;
        hr = packed->GetSurfaceLevel(level, &to);
        if (SUCCEEDED(hr)) hr = argb->GetSurfaceLevel(level, &from);
        if (SUCCEEDED(hr))
            hr = D3DXLoadSurfaceFromSurface(to, nullptr, nullptr, from, nullptr, nullptr, D3DX_FILTER_NONE, 0);
        if (to) to->Release();
        if (from) from->Release();
    }
    ID3DXBuffer* buffer = nullptr;
    if (SUCCEEDED(hr)) hr = D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_DDS, packed, nullptr);
    packed->Release();
    if (FAILED(hr)) return hr;
    const auto* p = static_cast<const std::uint8_t*>(buffer->GetBufferPointer());
    bytes.assign(p, p + buffer->GetBufferSize());
    buffer->Release();
    return S_OK;
}

UINT PowerOfTwo(UINT v) {
    UINT p = 1;
    while (p < v && p < (1u << 30)) p <<= 1;
    return p;
}

// Texels in memory (the model's own, b g r a) into an A8R8G8B8 texture with a full chain.
HRESULT FromTexels(IDirect3DDevice9* device, const ModelTexture& image, IDirect3DTexture9** texture) {
    const UINT w = PowerOfTwo(image.width), h = PowerOfTwo(image.height);
    if (image.width == 0 || image.height == 0) return D3DXERR_INVALIDDATA;
    if (static_cast<std::uint64_t>(w) * h > kMaxPixels) return E_OUTOFMEMORY;
    HRESULT hr = D3DXCreateTexture(device, w, h, D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, texture);
    if (FAILED(hr)) return hr;
    IDirect3DSurface9* top = nullptr;
    hr = (*texture)->GetSurfaceLevel(0, &top);
    const RECT all{0, 0, static_cast<LONG>(image.width), static_cast<LONG>(image.height)};
    if (SUCCEEDED(hr))
        hr = D3DXLoadSurfaceFromMemory(top, nullptr, nullptr, image.bytes.data(), D3DFMT_A8R8G8B8, image.width * 4,
                                       nullptr, &all, D3DX_FILTER_TRIANGLE, 0);
    if (top) top->Release();
    if (SUCCEEDED(hr)) hr = D3DXFilterTexture(*texture, nullptr, 0, D3DX_FILTER_BOX);
    if (FAILED(hr)) {
        (*texture)->Release();
        *texture = nullptr;
    }
    return hr;
}

// An image file's bytes into an A8R8G8B8 texture: at the file's own size with one level (`ownSize`), or rounded
// up to powers of two with a full chain.
HRESULT FromFileBytes(IDirect3DDevice9* device, const std::vector<std::uint8_t>& bytes, bool ownSize,
                      IDirect3DTexture9** texture, std::string* why) {
    D3DXIMAGE_INFO info{};
    HRESULT hr = D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info);
    if (FAILED(hr)) return hr;
    if (info.ResourceType != D3DRTYPE_TEXTURE) {
        *why = "a cube map or volume, not a 2D image";
        return D3DXERR_INVALIDDATA;
    }
    if (static_cast<std::uint64_t>(PowerOfTwo(info.Width)) * PowerOfTwo(info.Height) > kMaxPixels) {
        *why =
            std::to_string(info.Width) + " x " + std::to_string(info.Height) + " pixels, more than the importer takes";
        return E_OUTOFMEMORY;
    }
    const UINT size = ownSize ? D3DX_DEFAULT_NONPOW2 : D3DX_DEFAULT;
    return D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), static_cast<UINT>(bytes.size()), size, size,
                                               ownSize ? 1 : D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                               D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, 0, nullptr, nullptr, texture);
}

TextureResult ConvertOne(IDirect3DDevice9* device, const TextureJob& job, const Model& model,
                         const std::string& modelDir, bool keepImages) {
    TextureResult result;
    const std::string what = job.source == TextureJob::Source::Embedded
                                 ? "embedded image " + std::to_string(job.embedded)
                                 : "'" + job.path + "'";
    auto fail = [&](const std::string& why) {
        result.ok = false;
        result.failure = what + ": " + why;
        return result;
    };

    IDirect3DTexture9* argb = nullptr;
    std::vector<std::uint8_t> fileBytes;
    const std::vector<std::uint8_t>* encoded = nullptr;  // the image file, when there is one
    HRESULT hr = S_OK;
    std::string why;
    if (job.source == TextureJob::Source::Solid) {
        hr = D3DXCreateTexture(device, 4, 4, D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &argb);
        for (DWORD level = 0; SUCCEEDED(hr) && level < argb->GetLevelCount(); ++level) {
            D3DLOCKED_RECT locked{};
            D3DSURFACE_DESC desc{};
            argb->GetLevelDesc(level, &desc);
            hr = argb->LockRect(level, &locked, nullptr, 0);
            if (FAILED(hr)) break;
            auto byte = [](float v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
            const std::uint8_t texel[4] = {byte(job.solid.b), byte(job.solid.g), byte(job.solid.r), byte(job.solid.a)};
            for (UINT y = 0; y < desc.Height; ++y) {
                for (UINT x = 0; x < desc.Width; ++x)
                    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch + 4 * x, texel, 4);
            }
            argb->UnlockRect(level);
        }
        if (FAILED(hr)) {
            if (argb) argb->Release();
            return fail(Describe(hr));
        }
        result.translucent = job.solid.a < 1;
        hr = SaveCompressed(device, argb, result.translucent, result.bytes);
        argb->Release();
        if (FAILED(hr)) return fail(Describe(hr));
        result.ok = true;
        return result;
    }

    if (job.source == TextureJob::Source::Embedded) {
        if (job.embedded < 0 || static_cast<std::size_t>(job.embedded) >= model.textures.size())
            return fail("no such image in the model");
        const ModelTexture& image = model.textures[job.embedded];
        if (image.height != 0) {
            hr = FromTexels(device, image, &argb);
        } else {
            encoded = &image.bytes;
        }
    } else {
        const std::string path = Resolve(modelDir, job.path);
        if (path.empty()) return fail("not found");
        if (!ReadRegularFile(path, fileBytes, &why)) return fail(why);
        encoded = &fileBytes;
    }
    if (encoded) {
        if (encoded->empty()) return fail("empty");
        if (encoded->size() > kMaxImageFile) return fail("too large");
        hr = FromFileBytes(device, *encoded, keepImages, &argb, &why);
    }
    if (FAILED(hr)) return fail(why.empty() ? Describe(hr) : why);

    hr = FixAlpha(argb, job.opaque, job.opacity, &result.translucent);
    if (SUCCEEDED(hr)) {
        if (keepImages && encoded) {
            result.bytes = *encoded;
        } else if (keepImages) {
            // Texels have no file of their own to keep: they are written as PNG, losslessly.
            ID3DXBuffer* buffer = nullptr;
            hr = D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_PNG, argb, nullptr);
            if (SUCCEEDED(hr)) {
                const auto* p = static_cast<const std::uint8_t*>(buffer->GetBufferPointer());
                result.bytes.assign(p, p + buffer->GetBufferSize());
                buffer->Release();
            }
        } else {
            hr = SaveCompressed(device, argb, result.translucent, result.bytes);
        }
    }
    argb->Release();
    if (FAILED(hr)) return fail(Describe(hr));
    result.ok = true;
    return result;
}

}  // namespace

std::vector<TextureResult> ConvertTextures(const TexturePlan& plan, const Model& model, const std::string& modelDir,
                                           bool keepImages, unsigned jobs) {
    std::vector<TextureResult> results(plan.jobs.size());
    if (plan.jobs.empty()) return results;
    unsigned threads = jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
    threads = std::min<unsigned>(threads, static_cast<unsigned>(plan.jobs.size()));
    // A device is not safe to share between threads: each worker gets its own, made here on the calling thread.
    std::vector<IDirect3DDevice9*> devices;
    for (unsigned t = 0; t < threads; ++t) devices.push_back(tarn::d3d9::CreateNullDevice(16, 16));
    std::atomic<std::size_t> next{0};
    auto work = [&](IDirect3DDevice9* device) {
        for (std::size_t i; (i = next.fetch_add(1)) < plan.jobs.size();) {
            if (!device) {
                results[i].failure = "no device to convert it on";
                continue;
            }
            results[i] = ConvertOne(device, plan.jobs[i], model, modelDir, keepImages);
        }
    };
    if (threads <= 1) {
        work(devices[0]);
    } else {
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work, devices[t]);
        for (std::thread& t : pool) t.join();
    }
    for (IDirect3DDevice9* device : devices) {
        if (device) device->Release();
    }
    return results;
}

}  // namespace tarn::import
