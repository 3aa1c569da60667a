// tarn-import's parts, shared by its main, its tests, its fuzz target and its benchmark: the argument parser, the
// plan of the textures a model names and their conversion to DDS, the conversion of a model record (Model.h) into
// a .TRS scene, the writer of the output folder, and the whole run. Nothing here prints or exits except Run,
// which writes its failure and warning lines to `err`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/import/Model.h"
#include "tools/import/Transform.h"
#include "tools/trs/TrsWriter.h"

namespace tarn::import {

// ---- Options (Options.cpp)

struct Options {
    std::string model;            // the model file
    std::string outputDir = ".";  // -o
    UpAxis up = UpAxis::Y;        // --up
    double scale = 1;             // --scale
    bool keepImages = false;      // --keep-images
    unsigned animation = 0;       // --animation: which of the model's animations becomes the keys
    double sampleRate = 30;       // --key-rate: keys per second where an animation is resampled
    unsigned maxMemoryMb = 2048;  // --max-memory: the parser's address space
    unsigned maxSeconds = 60;     // --max-time: the parser's processor time (and twice that of wall time)
    unsigned jobs = 0;            // -j: texture conversions at once; 0 one per core
    bool stats = false;           // --stats: one line of times and peak memory
};

struct ParseResult {
    bool ok = false;    // false: `error` says why, in one line
    bool help = false;  // --help: print UsageText and stop
    std::string error;
    Options options;
};

ParseResult ParseArguments(const std::vector<std::string>& args);
const char* UsageText();

// ---- Conversion settings (from the options, or set by tests and the fuzz target)

struct ConvertOptions {
    std::string name = "model";  // the scene's name: texture files are called NAME_<image>.dds
    UpAxis up = UpAxis::Y;
    double scale = 1;
    unsigned animation = 0;
    double sampleRate = 30;       // keys per second besides the model's own key times
    std::size_t maxKeys = 10000;  // per key list; longer animations are sampled more sparsely
    bool keepImages = false;
};

// ---- Textures (Materials.cpp plans them, Textures.cpp converts them)

// One output image. Its source is a file the model names, an image inside the model, or a plain colour for the
// materials that have no usable image (the engine keeps the previous texture bound for a mesh without one).
struct TextureJob {
    enum class Source { File, Embedded, Solid } source = Source::File;
    std::string path;            // File: as the model names it
    std::int32_t embedded = -1;  // Embedded: into Model::textures
    Colour solid{1, 1, 1, 1};    // Solid: the colour (alpha the material's opacity)
    // What the material does with the image's alpha: keep it times `opacity`, or drop it (opaque materials,
    // whose image may carry alpha that means nothing).
    bool opaque = false;
    float opacity = 1;
    std::string output;  // the file name written beside the scene
};

struct TexturePlan {
    std::vector<TextureJob> jobs;
    // Per model material: the job of its image (-1 none) and of its plain-colour stand-in.
    std::vector<std::int32_t> imageJob;
    std::vector<std::int32_t> solidJob;
    std::int32_t defaultSolidJob = -1;  // for meshes without a material
    std::vector<std::string> warnings;  // maps and settings the format cannot hold
};

// Plans the textures of every material of `model`: which image each uses, what its alpha means, and the file
// names (unique without regard to case, at most 255 characters, NAME_ first).
TexturePlan PlanTextures(const Model& model, const ConvertOptions& options);

struct TextureResult {
    bool ok = false;                  // false: `failure` says why (the material then takes its plain colour)
    bool translucent = false;         // the written image has alpha below 255 somewhere
    std::vector<std::uint8_t> bytes;  // the output file
    std::string failure;
};

// Converts every job: images through the texture library into DXT1 (opaque) or DXT5 (translucent) DDS files with
// full mip chains, their sizes rounded up to powers of two as the engine's loader would; with `keepImages` a
// file's own bytes instead. File paths are resolved against `modelDir`. Runs `jobs` threads (0: one per core),
// each with a null device of its own.
std::vector<TextureResult> ConvertTextures(const TexturePlan& plan, const Model& model, const std::string& modelDir,
                                           bool keepImages, unsigned jobs);

// ---- The scene (Convert.cpp and its units)

struct Converted {
    trs::TrsScene scene;
    std::vector<std::int32_t> textureJobs;  // texture i of the scene is job textureJobs[i]
    std::vector<std::string> warnings;      // one line each, without the program's prefix
    std::size_t triangles = 0;
};

// The whole scene: geometry, materials and render states, nodes with their world matrices and keys, cameras (or
// one that frames the scene) and lights (or one directional light). `results` has one entry per plan job.
Converted ConvertModel(const Model& model, const ConvertOptions& options, const TexturePlan& plan,
                       const std::vector<TextureResult>& results);

// ---- Output (Output.cpp)

struct OutputFile {
    std::string name;  // a plain file name
    const std::vector<std::uint8_t>* bytes;
};

// Writes the files into `dir` (made when missing) all or nothing: into a temporary folder inside it first, then
// renamed into place, the scene file last. False with the reason in `*error`.
bool WriteOutput(const std::string& dir, const std::vector<OutputFile>& files, std::string* error);

// ---- The run (Run.cpp)

// Parses the model in a child process under the limits, converts it, writes DIR/NAME.TRS and its textures.
// Failures are one line "tarn-import: MODEL: reason"; warnings "tarn-import: MODEL: warning: ...". Returns the exit
// status: 0 imported, 1 not.
int Run(const Options& options, std::FILE* err);

}  // namespace tarn::import
