// FileBytes: the bytes of one input file (an object, a library or an
// executable), copied into memory as its reader asks for them. A file is
// never mapped: another program that cuts it short while a run reads it
// then costs a short read, not the run. A file is read in one of three
// ways:
//
//   whole   a regular file under PIECE bytes: with one read, into a
//           buffer that the next read() reuses;
//   pieces  a larger regular file: in pieces of PIECE bytes as load()
//           first asks for them, so a large broken file costs only the
//           pieces looked at;
//   stream  anything else (a device, a FIFO, a pipe, or a file whose size
//           reads as 0): from its start, only as far as load() asks, and
//           never past its first STREAM_LIMIT bytes, so that a stream which
//           is no input is refused as soon as its first bytes show it.
//
// A regular file is read no further than the size it had when it was
// opened, however it grows while it is read.
//
// Memory is taken page by page as bytes arrive, so data() stays where it
// is while a large file or a stream is read.
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
    int error = 0;      // then the errno value of the failure
    bool sized = false; // a regular file whose size, above 0, is known
    uint64_t size = 0;
};

// How FileBytes opens a file; tests hand in one that changes the file
// between sizing it and reading it.
using FileOpener = std::function<OpenedInput(const std::string &name)>;

// Opens the file read-only and sizes it. A FIFO waits for its writer, as
// any reader of it does.
OpenedInput openInput(const std::string &name);
// An input already open as fd (taken over; -1 for none), sized.
OpenedInput sizedInput(int fd);

class FileBytes
{
public:
    FileBytes() = default;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    ~FileBytes();

    // False when the file cannot be opened. A file that reads short keeps
    // the bytes that could be read. Memory that cannot be had for it ends
    // the program with "out of memory", as everywhere.
    bool read(const std::string &name, const FileOpener &open = openInput);
    // The file's bytes; those of a large file or a stream only where
    // load() succeeded.
    const uint8_t *data() const { return cMode == Mode::Whole ? cBytes.get() : cLarge; }
    // The file's length as sized, or as far as it could be read; a stream's
    // bytes read so far.
    uint64_t size() const { return cSize; }
    // True when n bytes at offset off lie inside the file. A stream has no
    // size to compare with: it is read that far to find out.
    bool fits(uint64_t off, uint64_t n);
    // True when the n bytes at offset off lie inside the file and are in
    // data(), reading them first where needed. A piece that reads short
    // (the file was cut after it was sized) ends the file where it ended.
    bool load(uint64_t off, uint64_t n);
    // True once a load() asked a stream for bytes past STREAM_LIMIT.
    bool overLimit() const { return cOverLimit; }
    // The end of the message that refuses such a stream, after its name.
    static std::string overLimitText();

    // Regular files from this size on are read in pieces of this size.
    static constexpr uint64_t PIECE = 1u << 20;
    // The most read from a stream.
    static constexpr uint64_t STREAM_LIMIT = 32u << 20;

private:
    enum class Mode { Whole, Pieces, Stream };

    void reserve(size_t capacity);
    // Reserves length bytes of memory that is taken only as it is written.
    void reserveLarge(size_t length);
    bool loadPieces(uint64_t off, uint64_t n);
    // Reads the stream on until it holds end bytes, ends or reaches the
    // limit.
    bool readStream(uint64_t end);
    void closeFile();
    // Closes the file and gives back a large file's or a stream's memory.
    void release();

    Mode cMode = Mode::Whole;
    std::unique_ptr<uint8_t[]> cBytes; // a small file
    size_t cCapacity = 0;
    size_t cSize = 0;
    uint8_t *cLarge = nullptr;  // a large file's or a stream's memory
    size_t cLargeLength = 0;    // its length: the file's size when it was sized, or STREAM_LIMIT
    int cFd = -1;               // open while pieces are missing or the stream may go on
    std::vector<bool> cLoaded;  // the large file's pieces read so far
    uint64_t cMissing = 0;      // how many of those inside the file are missing
    bool cOverLimit = false;
};
