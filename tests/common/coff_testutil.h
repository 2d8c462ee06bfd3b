// Helpers shared by the object-file and library tests: capture of what the
// reporter prints, and small byte edits on built images.
#pragma once

#include "bytes.h"
#include "diag.h"
#include "reportcapture.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Death tests run in a fresh copy of the test program.
inline void deathTestsInFreshProcess() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

// An output stream that takes a given number of bytes and then fails, to
// reach each write step's message.
class FailingBuf : public std::streambuf
{
public:
    explicit FailingBuf(size_t room) : cRoom(room) {}
    std::string taken;

protected:
    int_type overflow(int_type c) override
    {
        if (c == traits_type::eof())
            return traits_type::not_eof(c);
        if (taken.size() >= cRoom)
            return traits_type::eof();
        taken.push_back(char(c));
        return c;
    }
    std::streamsize xsputn(const char *s, std::streamsize n) override
    {
        std::streamsize i = 0;
        while (i < n && overflow(traits_type::to_int_type(s[i])) != traits_type::eof())
            i++;
        return i;
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        if (off == 0 && dir == std::ios_base::cur)
            return pos_type(off_type(taken.size()));
        return pos_type(off_type(-1));
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode) override
    {
        return size_t(off_type(pos)) == taken.size() ? pos : pos_type(off_type(-1));
    }

private:
    size_t cRoom;
};
