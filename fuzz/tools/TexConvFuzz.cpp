// libFuzzer target: tarn-texconv's argument and file handling. The input is an argument vector (strings ended by
// a zero byte, the vector by an empty string) and then the bytes of the image that every input named by the
// arguments reads as. The arguments go through the parser and the job plan; the image through the conversion
// (2D, cube or volume as the arguments say) and the writer of the chosen output format, into memory only. The
// output size limit is lowered so that no request the arguments can make costs more than a few tens of MB.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "tools/texconv/TexConv.h"

using namespace tarn::texconv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static IDirect3DDevice9* const device = tarn::d3d9::CreateNullDevice(16, 16);
    if (device == nullptr) return 0;
    std::vector<std::string> args;
    std::size_t pos = 0;
    while (pos < size && args.size() < 64) {
        std::string arg;
        while (pos < size && data[pos] != 0) arg += static_cast<char>(data[pos++]);
        ++pos;  // the zero byte
        if (arg.empty()) break;
        args.push_back(std::move(arg));
    }
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.ok || parsed.help) return 0;
    Options options = parsed.options;
    options.maxPixels = std::uint64_t{1} << 20;
    if (options.inputs.size() > 8) return 0;  // a volume of more slices repeats the same work
    std::vector<Failure> failures;
    const std::vector<Job> jobs = PlanJobs(options, &failures);
    if (jobs.empty()) return 0;

    if (options.qualityGiven) tarn::texture::SetBlockQuality(options.quality);
    const std::size_t start = pos < size ? pos : size;
    std::vector<Image> images;
    for (const std::string& input : jobs[0].inputs) {
        images.push_back({input, std::vector<BYTE>(data + start, data + size)});
    }
    IDirect3DBaseTexture9* texture = nullptr;
    PALETTEENTRY palette[256];
    Failure failure;
    const D3DXIMAGE_FILEFORMAT format = OutputFormat(options, jobs[0].output);
    if (SUCCEEDED(BuildTexture(device, options, format, images, &texture, palette, &failure))) {
        ID3DXBuffer* buffer = nullptr;
        if (SUCCEEDED(D3DXSaveTextureToFileInMemory(&buffer, format, texture, palette))) buffer->Release();
        texture->Release();
    }
    tarn::texture::SetBlockQuality(tarn::texture::BlockQuality::Default);
    return 0;
}
