// Reads a written COD file back and checks that it holds the model that
// was written: every directory, record list and code block, in order.
#pragma once

#include "cod.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace codtest {

inline void expectSameCod(const Cod &read, const Cod &written)
{
    EXPECT_EQ(read.cDirectory, written.cDirectory);
    EXPECT_EQ(read.cSymbol, written.cSymbol);
    EXPECT_EQ(read.cSourceName, written.cSourceName);
    EXPECT_EQ(read.cLineInfo, written.cLineInfo);
    EXPECT_EQ(read.cMemoryMap, written.cMemoryMap);
    EXPECT_EQ(read.cLongSymbol, written.cLongSymbol);
    EXPECT_EQ(read.cLocalGroup, written.cLocalGroup);
    EXPECT_EQ(read.cDebugMsg, written.cDebugMsg);
    EXPECT_EQ(read.cCodeBlock, written.cCodeBlock);
}

// Reads the file that Cod::write wrote for the model.
inline std::unique_ptr<Cod> expectReadsBack(const Cod &written)
{
    std::unique_ptr<Cod> read = Cod::make(written.fileName());
    EXPECT_TRUE(read) << written.fileName();
    if (read)
        expectSameCod(*read, written);
    return read;
}

// Reads a COD file that a program wrote and writes the model read under
// another name: the model holds the whole file when the bytes are the same.
inline void expectRewritesTheSame(const std::string &path)
{
    auto bytes = [](const std::string &name) {
        std::ifstream in(name, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    std::unique_ptr<Cod> read = Cod::make(path);
    ASSERT_TRUE(read) << path;
    read->cFileName = path + ".again";
    ASSERT_TRUE(read->write());
    EXPECT_EQ(bytes(read->cFileName), bytes(path)) << path;
    std::filesystem::remove(read->cFileName);
}

} // namespace codtest
