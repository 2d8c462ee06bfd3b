// A buffered output stream buffer over an open file descriptor, for files
// that must be written through the descriptor that created them. Writes are
// retried after an interrupting signal and continued after a short count;
// the first failure sticks: every later write fails too, and error() tells
// why (an errno value).
//
//   FdOutBuf buf;
//   buf.attach(fd);
//   std::ostream out(&buf);
//   out << ...;
//   if (!out.flush()) ... buf.error() ...
#pragma once

#include <streambuf>
#include <vector>

class FdOutBuf : public std::streambuf
{
public:
    FdOutBuf();
    ~FdOutBuf() override = default;
    FdOutBuf(const FdOutBuf &) = delete;
    FdOutBuf &operator=(const FdOutBuf &) = delete;

    // Starts writing to fd at its current position, counted as 0; nothing
    // buffered for an earlier descriptor is kept. The descriptor stays the
    // caller's to close. -1 detaches.
    void attach(int fd);
    // 0, or the errno value of the first write that failed.
    int error() const { return cError; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char *s, std::streamsize n) override;
    int sync() override;
    // Telling the position works on any descriptor (a pipe too); seeking
    // elsewhere than the current position needs a seekable file.
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    bool drain();
    bool writeOut(const char *p, size_t n);

    int cFd = -1;
    int cError = 0;
    off_type cFlushed = 0; // the descriptor's position, counted from where it stood at attach
    std::vector<char> cBuffer;
};
