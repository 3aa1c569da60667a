#include "scene/SceneReader.h"

CTRSceneReader::~CTRSceneReader() { close(); }

bool CTRSceneReader::open(const char* path) {
    close();
    file_ = std::fopen(path, "rb");
    if (!file_) return false;
    // The format carries no length, so the file's own size bounds every count read from it.
    if (std::fseek(file_, 0, SEEK_END) != 0) {
        close();
        return false;
    }
    const long size = std::ftell(file_);
    if (size < 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
        close();
        return false;
    }
    size_ = static_cast<std::uint64_t>(size);
    position_ = 0;
    return true;
}

void CTRSceneReader::close() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    size_ = position_ = 0;
}

bool CTRSceneReader::read(void* out, std::size_t size) {
    if (!file_ || size > remaining()) return false;
    if (size == 0) return true;
    if (std::fread(out, 1, size, file_) != size) {
        // The file shrank under us or the read failed: nothing further can be trusted.
        position_ = size_;
        return false;
    }
    position_ += size;
    return true;
}

bool CTRSceneReader::fits(std::int64_t count, std::size_t recordSize) const {
    if (count < 0) return false;
    if (recordSize == 0 || count == 0) return true;
    return static_cast<std::uint64_t>(count) <= remaining() / recordSize;
}

bool CTRSceneReader::readCount(std::int32_t* out, std::size_t minRecordSize, bool allowNegative) {
    std::int32_t count = 0;
    if (!readInt(&count)) return false;
    if (count < 0) {
        if (!allowNegative) return false;
        count = 0;
    }
    if (!fits(count, minRecordSize)) return false;
    *out = count;
    return true;
}
