// Reading input files into memory: whole, in pieces, or as a stream.

#include "filebytes.h"

#include "diag.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

OpenedInput openInput(const std::string &name) { return sizedInput(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)); }

OpenedInput sizedInput(int fd)
{
    OpenedInput in;
    in.fd = fd;
    if (in.fd < 0) {
        in.error = errno;
        return in;
    }
    struct stat st;
    if (::fstat(in.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        uint64_t(st.st_size) < uint64_t(SIZE_MAX)) {
        in.sized = true;
        in.size = uint64_t(st.st_size);
    }
    return in;
}

FileBytes::~FileBytes() { release(); }

std::string FileBytes::overLimitText()
{
    return "is not a regular file and would be read past its first " + std::to_string(STREAM_LIMIT) +
           " bytes, the most read from a device, FIFO or pipe.";
}

void FileBytes::reserve(size_t capacity)
{
    if (capacity <= cCapacity)
        return;
    // The bytes are overwritten by the read, so they are not cleared first.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[capacity]);
    if (cSize)
        std::memcpy(bytes.get(), cBytes.get(), cSize);
    cBytes = std::move(bytes);
    cCapacity = capacity;
}

void FileBytes::reserveLarge(size_t length)
{
    // Anonymous memory, untouched until bytes are read into it.
    void *p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        outOfMemory();
    cLarge = static_cast<uint8_t *>(p);
    cLargeLength = length;
}

void FileBytes::closeFile()
{
    if (cFd >= 0)
        ::close(cFd);
    cFd = -1;
}

void FileBytes::release()
{
    closeFile();
    if (cLarge)
        ::munmap(cLarge, cLargeLength);
    cLarge = nullptr;
    cLoaded.clear();
    cMissing = 0;
    cSize = 0;
    cOverLimit = false;
    cMode = Mode::Whole;
}

bool FileBytes::read(const std::string &name, const FileOpener &open)
{
    release();
    OpenedInput in = open(name);
    if (in.fd < 0 && in.error == ENOMEM)
        outOfMemory();
    if (in.fd < 0)
        return false;
    cFd = in.fd;
    if (!in.sized) {
        // Read as far as its reader asks, from its first piece on.
        reserveLarge(STREAM_LIMIT);
        cMode = Mode::Stream;
        return true;
    }
    if (in.size >= PIECE) {
        reserveLarge(size_t(in.size));
        cMode = Mode::Pieces;
        cSize = size_t(in.size);
        cMissing = (cSize + PIECE - 1) / PIECE;
        cLoaded.assign(cMissing, false);
        return true;
    }
    // The file as it was sized: one that grows meanwhile is read no
    // further, one cut meanwhile as far as its bytes reach. A read error
    // keeps what was read before it.
    const size_t want = size_t(in.size);
    reserve(want);
    while (cSize < want) {
        ssize_t n = ::read(cFd, cBytes.get() + cSize, want - cSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        cSize += size_t(n);
    }
    closeFile();
    return true;
}

bool FileBytes::fits(uint64_t off, uint64_t n)
{
    if (cMode == Mode::Stream)
        return load(off, n);
    return off <= cSize && n <= cSize - off;
}

bool FileBytes::load(uint64_t off, uint64_t n)
{
    switch (cMode) {
    case Mode::Whole:
        break;
    case Mode::Pieces:
        if (off <= cSize && n <= cSize - off && n > 0)
            return loadPieces(off, n);
        break;
    case Mode::Stream:
        return n <= UINT64_MAX - off && readStream(off + n);
    }
    return off <= cSize && n <= cSize - off;
}

bool FileBytes::loadPieces(uint64_t off, uint64_t n)
{
    for (uint64_t piece = off / PIECE; piece <= (off + n - 1) / PIECE && piece * PIECE < cSize; piece++) {
        if (cLoaded[piece])
            continue;
        uint64_t begin = piece * PIECE;
        uint64_t want = std::min(PIECE, cSize - begin);
        uint64_t got = 0;
        while (got < want) {
            ssize_t r = ::pread(cFd, cLarge + begin + got, want - got, off_t(begin + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += uint64_t(r);
        }
        cLoaded[piece] = true;
        if (got < want) {
            // Cut short, or failed: the file ends where its bytes did. The
            // pieces before that end that are still missing keep the file
            // open.
            cSize = begin + got;
            uint64_t inside = (cSize + PIECE - 1) / PIECE;
            cMissing = uint64_t(std::count(cLoaded.begin(), cLoaded.begin() + ptrdiff_t(inside), false));
        } else {
            cMissing--;
        }
        if (cMissing == 0)
            closeFile();
    }
    return off <= cSize && n <= cSize - off;
}

bool FileBytes::readStream(uint64_t end)
{
    while (cSize < end && cFd >= 0) {
        if (cSize == STREAM_LIMIT) {
            cOverLimit = true;
            break;
        }
        ssize_t got = ::read(cFd, cLarge + cSize, size_t(std::min<uint64_t>(PIECE, STREAM_LIMIT - cSize)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // Its end, or an error that ends it as far as it was read.
            closeFile();
            break;
        }
        cSize += size_t(got);
    }
    return cSize >= end;
}
