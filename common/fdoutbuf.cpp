// Buffered writes through a file descriptor.

#include "fdoutbuf.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const size_t BUFFER_SIZE = 64 * 1024;

} // namespace

FdOutBuf::FdOutBuf() : cBuffer(BUFFER_SIZE) { setp(nullptr, nullptr); }

void FdOutBuf::attach(int fd)
{
    cFd = fd;
    cError = 0;
    cFlushed = 0;
    setp(cBuffer.data(), cBuffer.data() + cBuffer.size());
    if (fd < 0)
        setp(nullptr, nullptr);
}

bool FdOutBuf::writeOut(const char *p, size_t n)
{
    if (cError != 0)
        return false;
    if (cFd < 0) {
        cError = EBADF;
        return false;
    }
    while (n > 0) {
        ssize_t done = ::write(cFd, p, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            cError = errno;
            return false;
        }
        if (done == 0) {
            cError = EIO;
            return false;
        }
        p += done;
        n -= size_t(done);
        cFlushed += off_type(done);
    }
    return true;
}

bool FdOutBuf::drain()
{
    size_t n = size_t(pptr() - pbase());
    // The buffer is emptied either way: after a failure nothing more can
    // reach the file.
    setp(cBuffer.data(), cBuffer.data() + cBuffer.size());
    return n == 0 ? cError == 0 : writeOut(cBuffer.data(), n);
}

FdOutBuf::int_type FdOutBuf::overflow(int_type c)
{
    if (!pbase() || !drain())
        return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize FdOutBuf::xsputn(const char *s, std::streamsize n)
{
    if (!pbase() || cError != 0)
        return 0;
    size_t count = size_t(n);
    size_t room = size_t(epptr() - pptr());
    if (count <= room) {
        std::memcpy(pptr(), s, count);
        pbump(int(count));
        return n;
    }
    // Large blocks go straight to the descriptor after what is buffered.
    if (!drain())
        return 0;
    if (count < cBuffer.size()) {
        std::memcpy(pptr(), s, count);
        pbump(int(count));
        return n;
    }
    return writeOut(s, count) ? n : 0;
}

int FdOutBuf::sync() { return pbase() && drain() ? 0 : -1; }

FdOutBuf::pos_type FdOutBuf::seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which)
{
    off_type here = cFlushed + off_type(pptr() - pbase());
    if (dir == std::ios_base::cur)
        return seekpos(pos_type(here + off), which);
    if (dir == std::ios_base::beg)
        return seekpos(pos_type(off), which);
    return pos_type(off_type(-1));
}

FdOutBuf::pos_type FdOutBuf::seekpos(pos_type pos, std::ios_base::openmode which)
{
    if (!(which & std::ios_base::out) || !pbase())
        return pos_type(off_type(-1));
    off_type here = cFlushed + off_type(pptr() - pbase());
    if (off_type(pos) == here)
        return pos;
    if (off_type(pos) < 0 || !drain())
        return pos_type(off_type(-1));
    // The position counts from where the descriptor stood at attach.
    off_type start = ::lseek(cFd, 0, SEEK_CUR) - cFlushed;
    if (start < 0 || ::lseek(cFd, start + off_type(pos), SEEK_SET) < 0)
        return pos_type(off_type(-1));
    cFlushed = off_type(pos);
    return pos;
}
