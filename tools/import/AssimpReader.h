// The parser step: a model file read by the Open Asset Import Library (Debian's libassimp 5.2) and copied into the
// model record. It runs inside the parser's child process (ChildProcess.h), where a crash, a hang or a runaway
// allocation of the library costs only the child. Every index the library hands over is checked while copying;
// faces that name vertices past the mesh are left out with the points and lines.
#pragma once

#include <string>

#include "tools/import/Model.h"

struct aiScene;

namespace Assimp {
class Importer;
}

namespace tarn::import {

// The post-processing steps asked of the library: polygons into triangles, identical vertices joined. Normals,
// the frame change and mesh splitting are the conversion's (Geometry.cpp).
unsigned ParserSteps();

// Sets the importer properties the tool reads with (no skeleton stand-in meshes, no FBX pivot helper nodes).
void ConfigureImporter(Assimp::Importer& importer);

// Reads `path`; false with the library's reason in `*error` when it refuses the file or finds nothing in it.
bool ReadModelFile(const std::string& path, Model& model, std::string* error);

// Copies an already parsed scene into the record (the benchmark times this apart from the parser).
void ModelFromScene(const aiScene& scene, Model& model);

}  // namespace tarn::import
