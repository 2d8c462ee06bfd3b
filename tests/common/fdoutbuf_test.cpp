// Buffered writes through a file descriptor.

#include "fdoutbuf.h"
#include "tooltest.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <ostream>
#include <unistd.h>

namespace {

std::string pattern(size_t size, char first)
{
    std::string text(size, first);
    for (size_t i = 0; i < size; ++i)
        text[i] = char(first + i % 23);
    return text;
}

} // namespace

TEST(FdOutBuf, PiecesOfEverySizeArriveInOrderAndTheWriterMaySeek)
{
    // Pieces below, at and above the buffer's size, mixed with single bytes.
    for (size_t piece : {size_t(1), size_t(100), size_t(65536), size_t(200000)}) {
        TempDir dir;
        int fd = ::open(dir.file("out").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        FdOutBuf buf;
        buf.attach(fd);
        std::ostream out(&buf);
        std::string expected;
        for (char c : {'a', 'k', 'u'}) {
            std::string text = pattern(piece, c);
            out.write(text.data(), std::streamsize(text.size()));
            out.put('|');
            expected += text + "|";
            EXPECT_EQ(size_t(out.tellp()), expected.size()) << piece;
        }
        // Back to the start, as a writer of a header it fills in last would.
        out.seekp(0);
        out.put('#');
        expected[0] = '#';
        out.seekp(std::streamoff(expected.size()));
        out << "end";
        expected += "end";
        EXPECT_TRUE(out.flush()) << piece;
        EXPECT_EQ(buf.error(), 0);
        ::close(fd);
        EXPECT_TRUE(dir.readText("out") == expected) << piece;
    }
}

TEST(FdOutBuf, PipesTellTheirPositionAndFailuresStick)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FdOutBuf buf;
    buf.attach(fds[1]);
    std::ostream out(&buf);
    out << "0123456789";
    EXPECT_EQ(out.tellp(), std::streampos(10));
    out.seekp(10); // where it stands: fine
    EXPECT_TRUE(out.good());
    out.seekp(2); // a pipe cannot go back
    EXPECT_FALSE(out.good());
    char got[16] = {};
    EXPECT_EQ(::read(fds[0], got, sizeof got), 10);
    EXPECT_EQ(std::string(got), "0123456789");
    // A closed reader: the write fails, and so does every later one.
    ::close(fds[0]);
    auto oldHandler = std::signal(SIGPIPE, SIG_IGN);
    out.clear();
    out << "lost" << std::flush;
    EXPECT_FALSE(out.good());
    EXPECT_EQ(buf.error(), EPIPE);
    out.clear();
    out << "also lost" << std::flush;
    EXPECT_FALSE(out.good());
    ::close(fds[1]);
    std::signal(SIGPIPE, oldHandler);
}
