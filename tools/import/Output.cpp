// The output folder, all or nothing: every file is written into a temporary folder inside the target (so the
// renames stay on one file system), then renamed into place, the scene file last. A failure removes what was
// written and what was already moved; an import that fails leaves the folder as it found it, save for files it
// was replacing.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/import/Import.h"

namespace tarn::import {
namespace {

namespace fs = std::filesystem;

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        *error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    return true;
}

}  // namespace

bool WriteOutput(const std::string& dir, const std::vector<OutputFile>& files, std::string* error) {
    std::string scratch;
    std::string* why = error ? error : &scratch;
    std::error_code ec;
    const fs::path target = dir.empty() ? fs::path(".") : fs::path(dir);
    if (!fs::is_directory(target, ec)) {
        fs::create_directories(target, ec);
        if (ec || !fs::is_directory(target)) {
            *why = "cannot make the folder " + target.string() + (ec ? ": " + ec.message() : std::string());
            return false;
        }
    }
    for (const OutputFile& f : files) {
        if (f.name.empty() || f.name.find('/') != std::string::npos || f.name == "." || f.name == ".." || !f.bytes) {
            *why = "bad output file name '" + f.name + "'";
            return false;
        }
    }
    std::string pattern = (target / ".tarn-import-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        *why = "cannot write into " + target.string() + ": " + std::strerror(errno);
        return false;
    }
    const fs::path temp(pattern);
    auto cleanUp = [&] { fs::remove_all(temp, ec); };

    for (const OutputFile& f : files) {
        if (!WriteFile((temp / f.name).string(), *f.bytes, why)) {
            cleanUp();
            return false;
        }
    }
    std::vector<fs::path> moved;
    for (const OutputFile& f : files) {
        const fs::path to = target / f.name;
        // A folder of the same name is never replaced.
        if (fs::is_directory(to, ec)) {
            *why = to.string() + " is a folder";
        } else if (::rename((temp / f.name).c_str(), to.c_str()) == 0) {
            moved.push_back(to);
            continue;
        } else {
            *why = "cannot move " + f.name + " into " + target.string() + ": " + std::strerror(errno);
        }
        for (const fs::path& m : moved) fs::remove(m, ec);
        cleanUp();
        return false;
    }
    cleanUp();
    return true;
}

}  // namespace tarn::import
