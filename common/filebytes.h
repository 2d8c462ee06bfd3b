// FileBytes: the bytes of one input file (an object, a library or an
// executable), copied into memory as its reader asks for them. A file is
// never mapped: another program that cuts it short while a run reads it
// then costs a short read, not the run. A regular file under PIECE bytes
// is read whole with one read, into a buffer that the next read() reuses;
// a larger one in pieces of PIECE bytes as load() first asks for them, so
// that a large broken file costs only the pieces looked at. Anything else
// is read to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// An input file opened for reading.
struct OpenedInput
{
    int fd = -1;        // -1 when it could not be opened
    bool sized = false; // a regular file whose size, above 0, is known
    uint64_t size = 0;
};

// How FileBytes opens a file; tests hand in one that changes the file
// between sizing it and reading it.
using FileOpener = std::function<OpenedInput(const std::string &name)>;

// Opens the file read-only and sizes it. A FIFO waits for its writer, as
// any reader of it does.
OpenedInput openInput(const std::string &name);

class FileBytes
{
public:
    FileBytes() = default;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    ~FileBytes();

    // False when the file cannot be opened. A file that reads short keeps
    // the bytes that could be read.
    bool read(const std::string &name, const FileOpener &open = openInput);
    // The file's bytes; those of a large file only where load() succeeded.
    const uint8_t *data() const { return cMode == Mode::Whole ? cBytes.get() : cLarge; }
    // The file's length as sized, or as far as it could be read.
    uint64_t size() const { return cSize; }
    // True when n bytes at offset off lie inside the file.
    bool fits(uint64_t off, uint64_t n) const;
    // True when the n bytes at offset off lie inside the file and are in
    // data(), reading them first where needed. A piece that reads short
    // (the file was cut after it was sized) ends the file where it ended.
    bool load(uint64_t off, uint64_t n);
    // Regular files from this size on are read in pieces of this size.
    static constexpr uint64_t PIECE = 1u << 20;

private:
    enum class Mode { Whole, Pieces };

    void reserve(size_t capacity);
    // Reserves length bytes of memory that is taken only as it is written.
    bool reserveLarge(size_t length);
    bool loadPieces(uint64_t off, uint64_t n);
    void closeFile();
    // Closes the file and gives back a large file's memory.
    void release();

    Mode cMode = Mode::Whole;
    std::unique_ptr<uint8_t[]> cBytes; // a small file, or one that is no regular file
    size_t cCapacity = 0;
    size_t cSize = 0;
    uint8_t *cLarge = nullptr;  // a large file's memory, taken page by page as pieces are read
    size_t cLargeLength = 0;    // its length: the file's size when it was sized
    int cFd = -1;               // the large file, open while pieces are missing
    std::vector<bool> cLoaded;  // the large file's pieces read so far
    uint64_t cMissing = 0;      // how many of those inside the file are missing
};
