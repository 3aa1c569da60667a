// Sequential reader of a .TRS file opened in binary mode. Every read is checked against the bytes really left in
// the file, so a short file, a negative count or a count whose records cannot fit fails before anything is
// allocated or read. Not copyable; closes the file when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class CTRSceneReader {
public:
    CTRSceneReader() = default;
    ~CTRSceneReader();
    CTRSceneReader(const CTRSceneReader&) = delete;
    CTRSceneReader& operator=(const CTRSceneReader&) = delete;

    // Opens `path` for binary reading and learns its size; false when it cannot be opened or sized.
    bool open(const char* path);
    void close();

    // Reads exactly `size` bytes; false (reading nothing) when fewer remain.
    bool read(void* out, std::size_t size);
    bool readInt(std::int32_t* out) { return read(out, sizeof *out); }

    // Reads a list count and checks that `count` records of at least `minRecordSize` bytes each can still
    // follow. A count of zero or less is an empty list when `allowNegative`; otherwise a negative count
    // fails. `stored`, when given, receives the count as the file holds it (a negative list count still means
    // something to the light section).
    bool readCount(std::int32_t* out, std::size_t minRecordSize, bool allowNegative, std::int32_t* stored = nullptr);

    // True when `count` records of `recordSize` bytes fit in what is left (64-bit arithmetic, count >= 0).
    bool fits(std::int64_t count, std::size_t recordSize) const;
    // As fits, for a count just read from the file: a refusal is remembered as the reader's problem, so the
    // caller can say that the count, not the data after it, was wrong. Callers check before they allocate.
    bool checkCount(std::int64_t count, std::size_t recordSize);

    // Why the last refused read or count failed; kNone when nothing was refused (an allocation failed
    // instead).
    enum class Problem { kNone, kCutShort, kNegativeCount, kCountPastEnd };
    Problem problem() const { return problem_; }
    // The problem in words, for load errors.
    const char* describeProblem() const;

    std::uint64_t remaining() const { return size_ - position_; }
    std::uint64_t position() const { return position_; }

private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    Problem problem_ = Problem::kNone;
};
