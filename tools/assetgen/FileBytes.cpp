#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/assetgen/ImageWriters.h"

namespace tarn::assetgen {

void PutU8(std::vector<std::uint8_t>& out, unsigned value) { out.push_back(static_cast<std::uint8_t>(value)); }

void PutU16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
    // Write beside the target and rename, so that an interrupted build never leaves a truncated asset that a
    // later build would take as up to date.
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        if (error) *error = "cannot write " + temp;
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        if (error) *error = "cannot rename " + temp + " to " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace tarn::assetgen
