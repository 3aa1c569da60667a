#include "SceneReader.h"

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
    problem_ = Problem::kNone;
}

bool CTRSceneReader::read(void* out, std::size_t size) {
    if (!file_ || size > remaining()) {
        problem_ = Problem::kCutShort;
        return false;
    }
    if (size == 0) return true;
    if (std::fread(out, 1, size, file_) != size) {
        // The file shrank under us or the read failed: nothing further can be trusted.
        position_ = size_;
        problem_ = Problem::kCutShort;
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

bool CTRSceneReader::checkCount(std::int64_t count, std::size_t recordSize) {
    if (count < 0) {
        problem_ = Problem::kNegativeCount;
        return false;
    }
    if (!fits(count, recordSize)) {
        problem_ = Problem::kCountPastEnd;
        return false;
    }
    return true;
}

const char* CTRSceneReader::describeProblem() const {
    switch (problem_) {
        case Problem::kCutShort:
            return "record damaged or cut short";
        case Problem::kNegativeCount:
            return "negative count";
        case Problem::kCountPastEnd:
            return "a count is larger than the rest of the file";
        case Problem::kNone:
            break;
    }
    return "out of memory";
}

bool CTRSceneReader::readCount(std::int32_t* out, std::size_t minRecordSize, bool allowNegative,
                               std::int32_t* stored) {
    std::int32_t count = 0;
    if (!readInt(&count)) return false;
    if (stored) *stored = count;
    if (count < 0 && allowNegative) count = 0;
    if (!checkCount(count, minRecordSize)) return false;
    *out = count;
    return true;
}
