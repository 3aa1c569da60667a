// tarn-texconv's parts, shared by its main, its tests and its fuzz target: the argument parser, the plan of which
// files become which outputs, the conversion of one job on a device, and the batch run over worker threads.
// Nothing here exits or prints except Run, which writes failure lines (and a progress bar when asked) to `err`.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "texture/D3DXTexture.h"
#include "texture/TextureOptions.h"

namespace tarn::texconv {

// How the input files are put together: each its own texture, six faces of one cube map, or the slices of one
// volume (in order, front to back).
enum class Assembly { EachFile, Cube, Volume };

struct Options {
    std::vector<std::string> inputs;         // in the order given; for a cube +X, -X, +Y, -Y, +Z, -Z
    Assembly assembly = Assembly::EachFile;  // --cube, --volume
    std::string output;                      // -o: a file, or a directory for many inputs; empty: beside each
    bool outFormatGiven = false;             // --out-format given (else from -o's extension, else DDS)
    D3DXIMAGE_FILEFORMAT outFormat = D3DXIFF_DDS;
    D3DFORMAT format = D3DFMT_UNKNOWN;  // -f; UNKNOWN: the library's choice
    bool levelsGiven = false;           // -m given (else a full chain for DDS, one level otherwise)
    UINT levels = 0;                    // 0: the full chain
    UINT width = 0, height = 0;         // -w, -h; 0: from the image (keeping its aspect if one is given)
    bool filterGiven = false, mipFilterGiven = false;
    DWORD filter = D3DX_FILTER_TRIANGLE;  // --filter (default none at the image's own size)
    DWORD mipFilter = D3DX_FILTER_BOX;    // --mip-filter
    bool dither = false;                  // --dither: adds D3DX_FILTER_DITHER to both filters
    D3DCOLOR colorKey = 0;                // --color-key; 0: none
    bool qualityGiven = false;
    texture::BlockQuality quality = texture::BlockQuality::Default;  // --quality
    unsigned jobs = 0;                                               // -j; 0: one per core
    // Largest output accepted, in pixels of level 0 (width x height x depth x faces): a request above it fails
    // with E_OUTOFMEMORY before anything is allocated. The fuzz target lowers it.
    unsigned long long maxPixels = 1ull << 28;
};

struct ParseResult {
    bool ok = false;    // false: `error` says why, in one line
    bool help = false;  // --help: print UsageText and stop
    std::string error;
    Options options;
};

// Parses the arguments after the program name. Never touches the file system.
ParseResult ParseArguments(const std::vector<std::string>& args);
const char* UsageText();

// The name of a D3DFMT_ value without its prefix ("DXT1"), or null when -f does not offer it.
const char* FormatName(D3DFORMAT format);
// The formats -f offers, in the order --help lists them.
std::vector<D3DFORMAT> OfferedFormats();
// The usual file extension of an output format, with its dot (".dds").
const char* ExtensionOf(D3DXIMAGE_FILEFORMAT format);

// One output and the inputs it is made from.
struct Job {
    std::vector<std::string> inputs;
    std::string output;
};

// What failed: the file it concerns and the reason in words.
struct Failure {
    std::string file;
    std::string reason;
};

// The jobs the options ask for, in input order; an input whose output cannot be named (it would overwrite the
// input or another job's output) becomes a failure instead. Reads the file system (is `-o` a directory?) but
// writes nothing.
std::vector<Job> PlanJobs(const Options& options, std::vector<Failure>* failures);

// An HRESULT's meaning in words, with its name ("the file is not an image the library reads, or is damaged
// (D3DXERR_INVALIDDATA)").
std::string DescribeResult(HRESULT hr);

// One input already read into memory.
struct Image {
    std::string name;  // for failure messages
    std::vector<BYTE> bytes;
};

// Builds the texture the options ask for from `images` (one for EachFile, six for Cube, one or more for Volume)
// on `device`, in the scratch pool (which takes every format and size, whatever the device supports), for saving
// as `outFormat` (a full chain by default only for DDS, the one format that stores levels). On success `*texture` holds
// one reference and `palette` the palette of a palettised result. On failure `*texture` is null and `failure` names the
// image and the reason.
HRESULT BuildTexture(IDirect3DDevice9* device, const Options& options, D3DXIMAGE_FILEFORMAT outFormat,
                     const std::vector<Image>& images, IDirect3DBaseTexture9** texture, PALETTEENTRY (&palette)[256],
                     Failure* failure);

// Reads the job's inputs, builds the texture and saves it in `format`; nothing is written when any step fails.
bool ConvertJob(IDirect3DDevice9* device, const Options& options, const Job& job, D3DXIMAGE_FILEFORMAT format,
                Failure* failure);

// The output format a job is written in: --out-format, else the extension of `output`, else DDS.
D3DXIMAGE_FILEFORMAT OutputFormat(const Options& options, const std::string& output);

// Runs every job on `options.jobs` worker threads, each with a null device of its own (a device is not safe to
// call from several threads at once). Writes one line per failure to `err`, and a progress bar there when
// `progress`. Returns the exit status: 0 when every file converted, 1 otherwise.
int Run(const Options& options, std::FILE* err, bool progress);

}  // namespace tarn::texconv
