// Archive libraries: the member header bytes, reading (members at any
// offset, short and broken files), the symbol index, writing in place, and
// refusing to write a library that would not read back.

#include "archive.h"
#include "coff_testutil.h"
#include "coffbuilder.h"
#include "tooltest.h"

#include <cstring>

namespace {

CoffBuilder defining(const std::string &symbol, std::vector<uint8_t> code = {0, 0})
{
    return CoffBuilder().timeStamp(1234).section(".code", SCN_CODE, code).symbol(symbol, 0, ".code", C_EXT);
}

std::unique_ptr<Archive> readLib(TempDir &dir, const Bytes &bytes)
{
    dir.write("x.lib", bytes);
    return Archive::make(dir.file("x.lib"));
}

Bytes magic() { return {'!', '<', 'a', 'r', 'c', 'h', '>', '\n'}; }

} // namespace

TEST(ArchiveHeader, HandWorkedBytes)
{
    Bytes h = Archive::packHeader("a.o", 1234, 56);
    ASSERT_EQ(h.size(), 280u);
    Bytes want(280, 0);
    std::memset(want.data(), ' ', 256);
    std::memcpy(want.data(), "a.o/", 4);
    std::memcpy(want.data() + 256, "1234", 4); // date, NUL-padded
    std::memcpy(want.data() + 268, "56", 2);   // size, NUL-padded
    want[278] = 0x60;
    want[279] = 0x0A;
    EXPECT_EQ(h, want);
    EXPECT_EQ(Archive::headerName(h.data()), "a.o");
}

TEST(ArchiveHeader, LongNamesAreCut)
{
    std::string name(300, 'n');
    Bytes h = Archive::packHeader(name, 0, 0);
    EXPECT_EQ(h[254], 'n');
    EXPECT_EQ(h[255], '/');
    EXPECT_EQ(Archive::headerName(h.data()), std::string(255, 'n'));
    // The largest date and size still leave their last byte NUL.
    h = Archive::packHeader("a", 0xFFFFFFFF, 999999999);
    EXPECT_EQ(h[267], 0);
    EXPECT_EQ(h[277], 0);
}

TEST(ArchiveHeader, DirectorySeparatorsRoundTrip)
{
    Bytes h = Archive::packHeader("sub/dir/a.o", 0, 0);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 12), "sub\\dir\\a.o/");
    EXPECT_EQ(Archive::headerName(h.data()), "sub/dir/a.o");
    // A header of another writer: the first '/' ends the name.
    Bytes other(280, ' ');
    std::memcpy(other.data(), "dir/x.o/", 8);
    EXPECT_EQ(Archive::headerName(other.data()), "dir");
    // A name field of 256 bytes without NUL or '/' is read to its end only.
    Bytes full(280, 'z');
    EXPECT_EQ(Archive::headerName(full.data()), std::string(256, 'z'));
}

TEST(ArchiveRead, MagicOnlyIsAnEmptyLibrary)
{
    TempDir dir;
    std::unique_ptr<Archive> a = readLib(dir, magic());
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->cMembers.empty());
    EXPECT_TRUE(a->cSymbols.empty());
    EXPECT_EQ(a->cName, dir.file("x.lib"));
}

TEST(ArchiveRead, MembersAtOddOffsets)
{
    TempDir dir;
    Bytes lib = ArchiveBuilder()
                    .member("sub/a.o", defining("alpha", {1, 2, 3})) // an odd image length
                    .member("b.o", defining("beta"))
                    .bytes();
    std::unique_ptr<Archive> a = readLib(dir, lib);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->cMembers.size(), 2u);
    EXPECT_EQ(a->cMembers[0]->cName, "sub/a.o");
    EXPECT_EQ(a->cMembers[1]->cName, "b.o");
    EXPECT_EQ((8 + 280 + a->cMembers[0]->size()) % 2, 1u);
    EXPECT_EQ(a->cMembers[1]->cRawData[".code"].size(), 2u);
    EXPECT_TRUE(a->hasSymbol("alpha"));
    EXPECT_TRUE(a->hasSymbol("beta"));
    EXPECT_EQ(a->cSymbols["beta"], a->cMembers[1].get());
    EXPECT_EQ(8 + 2 * 280 + a->cMembers[0]->size() + a->cMembers[1]->size(), lib.size());

    // Written again, the library is the same bytes.
    a->cName = dir.file("y.lib");
    ASSERT_TRUE(a->write());
    EXPECT_EQ(dir.read("y.lib"), lib);
}

TEST(ArchiveRead, ShortTailEndsTheMembers)
{
    TempDir dir;
    Bytes lib = ArchiveBuilder().member("a.o", defining("alpha")).bytes();
    lib.insert(lib.end(), 279, ' '); // less than a header
    std::unique_ptr<Archive> a = readLib(dir, lib);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->cMembers.size(), 1u);
}

TEST(ArchiveRead, Errors)
{
    TempDir dir;
    {
        ReportCapture cap;
        EXPECT_FALSE(Archive::make(dir.file("none.lib")));
        EXPECT_EQ(cap.text(), "Error - Could not open library file '" + dir.file("none.lib") + "' for reading.\n");
    }
    {
        ReportCapture cap;
        EXPECT_FALSE(readLib(dir, Bytes{'!', '<', 'a'}));
        EXPECT_EQ(cap.text(),
                  "Error - Could not read archive magic string in library file '" + dir.file("x.lib") + "'.\n");
    }
    {
        ReportCapture cap;
        Bytes bad = magic();
        bad[7] = ' ';
        EXPECT_FALSE(readLib(dir, bad));
        EXPECT_EQ(cap.text(), "Error - File '" + dir.file("x.lib") + "' is not a valid library file.\n");
    }
    {
        ReportCapture cap;
        Bytes lib = magic();
        Bytes h = Archive::packHeader("m.o", 0, 0);
        lib.insert(lib.end(), h.begin(), h.end());
        EXPECT_FALSE(readLib(dir, lib));
        EXPECT_EQ(cap.text(), "Error - Library file '" + dir.file("x.lib") + "' has a missing member object file.\n");
    }
}

TEST(ArchiveRead, BrokenMember)
{
    TempDir dir;
    Bytes lib = ArchiveBuilder().member("a.o", defining("alpha")).member("m.o", defining("beta")).bytes();
    size_t second = lib.size() - defining("beta").bytes().size();
    putU16(lib.data() + second, 0x0123); // the second member's magic
    ReportCapture cap;
    EXPECT_FALSE(readLib(dir, lib));
    EXPECT_EQ(cap.text(), "Error - Coff file 'm.o' does not appear to be a valid COFF file.\n"
                          "Error - Could not build member 'm.o' in library file '" +
                              dir.file("x.lib") + "'. \n");
}

TEST(ArchiveRead, MemberSizesFromTheFileAreChecked)
{
    TempDir dir;
    Bytes lib = ArchiveBuilder().member("m.o", defining("alpha")).bytes();
    putU32(lib.data() + 8 + 280 + 12, 0x20000000); // f_nsyms of the member
    ReportCapture cap;
    EXPECT_FALSE(readLib(dir, lib));
    EXPECT_EQ(cap.errors(), 2u);
}

TEST(ArchiveSymbols, DuplicateDefinitionKeepsTheFirst)
{
    TempDir dir;
    Bytes lib = ArchiveBuilder()
                    .member("a.o", defining("twice"))
                    .member("b.o", defining("twice").symbol("other", 0, ".code", C_EXT))
                    .bytes();
    ReportCapture cap;
    std::unique_ptr<Archive> a = readLib(dir, lib);
    ASSERT_TRUE(a);
    EXPECT_EQ(cap.text(), "Error - Symbol 'twice' has multiple external definitions.\n");
    EXPECT_EQ(a->cSymbols["twice"]->cName, "a.o");
    EXPECT_EQ(a->cSymbols["other"]->cName, "b.o");
    EXPECT_FALSE(a->makeSymbols());
}

TEST(ArchiveSymbols, OnlyExternalDefinitionsAndTheLastSlotCounts)
{
    Archive a = ArchiveBuilder()
                    .member("a.o", CoffBuilder()
                                       .section(".code", SCN_CODE, {0})
                                       .symbol("ref", 0, 0, C_EXT)
                                       .symbol("local", 0, ".code", C_STAT)
                                       .symbol("abs", 0, -1, C_EXT)
                                       .symbol("long_last_symbol", 0, ".code", C_EXT))
                    .member("empty.o", CoffBuilder())
                    .archive();
    EXPECT_EQ(a.cSymbols.size(), 1u);
    EXPECT_TRUE(a.hasSymbol("long_last_symbol"));
    EXPECT_FALSE(a.hasSymbol("ref"));
    EXPECT_FALSE(a.hasSymbol("local"));
}

TEST(ArchiveSymbols, CopyMemberIsIndependent)
{
    Archive a = ArchiveBuilder().member("a.o", defining("alpha")).archive();
    EXPECT_FALSE(a.copyMember("beta"));
    std::unique_ptr<Coff> c = a.copyMember("alpha");
    ASSERT_TRUE(c);
    c->cRawData[".code"].data()[0] = 0x55;
    c->cName = "changed";
    EXPECT_EQ(a.cMembers[0]->cRawData[".code"].data()[0], 0);
    EXPECT_EQ(a.cMembers[0]->cName, "a.o");

    Archive copy(a);
    EXPECT_NE(copy.cSymbols["alpha"], a.cSymbols["alpha"]);
    EXPECT_EQ(copy.cSymbols["alpha"], copy.cMembers[0].get());
}

TEST(ArchiveWrite, FailureLeavesTheOldLibrary)
{
    TempDir dir;
    dir.write("x.lib", std::string("old library"));
    Archive a = ArchiveBuilder().member("a.o", defining("alpha")).member("b.o", defining("beta")).archive();
    a.cName = dir.file("x.lib");
    a.cMembers[1]->cScnNum[2] = ".code"; // the second member cannot be written
    ReportCapture cap;
    EXPECT_FALSE(a.write());
    EXPECT_EQ(cap.text(), "Error - Coff file 'b.o' could not write section header.\n");
    EXPECT_EQ(dir.readText("x.lib"), "old library");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"x.lib"});
}

TEST(ArchiveWrite, UnwritableDirectory)
{
    Archive a("/nonexistent-dir/x.lib");
    ReportCapture cap;
    EXPECT_FALSE(a.write());
    EXPECT_EQ(cap.text(), "Error - Could not open library file '/nonexistent-dir/x.lib' for writing.\n");
}

TEST(ArchiveWrite, EmptyLibraryIsTheMagic)
{
    TempDir dir;
    Archive a(dir.file("e.lib"));
    ASSERT_TRUE(a.write());
    EXPECT_EQ(dir.read("e.lib"), magic());
}

TEST(ArchiveWrite, EachStepReportsItsFailure)
{
    Archive a = ArchiveBuilder().member("a.o", defining("alpha")).archive();
    a.cName = "x.lib";
    {
        FailingBuf buf(0);
        std::ostream out(&buf);
        ReportCapture cap;
        EXPECT_FALSE(a.write(out));
        EXPECT_EQ(cap.text(), "Error - Could not write archive magic string in library file 'x.lib'. \n");
    }
    {
        FailingBuf buf(8);
        std::ostream out(&buf);
        ReportCapture cap;
        EXPECT_FALSE(a.write(out));
        EXPECT_EQ(cap.text(), "Error - Could not write member header for 'a.o' in library file 'x.lib'. \n");
    }
    // A member's image that cannot be written is the library's failure.
    for (size_t at : {8 + 280, 8 + 280 + 80}) {
        FailingBuf buf(at);
        std::ostream out(&buf);
        ReportCapture cap;
        EXPECT_FALSE(a.write(out));
        EXPECT_EQ(cap.text(), "Error - Could not write member 'a.o' in library file 'x.lib'. \n");
    }
}

TEST(ArchiveWrite, LibraryThatWouldNotReadBackIsNotWritten)
{
    // A member too long for the size field of its header; and sections
    // flagged both code and uninitialised data, written without their bytes
    // and so read back as code zero fill, whose 18 MB in two members pass
    // one run's budget. Each is reported and the old library stays; with
    // one such member the library is written and reads back.
    Data::resetZeroFillBudget();
    TempDir dir;
    dir.write("x.lib", std::string("old library"));
    Coff big = *coffFromBytes(CoffBuilder().section(".big", SCN_CODE, {0}).bytes());
    big.cRawData[".big"] = Data::zeroFill(1000000000);
    CoffBuilder codeZeros = CoffBuilder().udata(".half", 9u << 20, 0, SCN_CODE);
    Archive a = ArchiveBuilder().member("big.o", big).member("a.o", codeZeros).member("b.o", codeZeros).archive();
    a.cName = dir.file("x.lib");
    {
        ReportCapture cap;
        EXPECT_FALSE(a.write());
        const std::string refused = "Error - Library file '" + a.cName + "' is not written: ";
        EXPECT_EQ(cap.text(), refused + "member 'big.o' is " + std::to_string(a.cMembers[0]->size()) +
                                  " bytes long, more than the 999999999 bytes a member header can give.\n" +
                                  refused +
                                  "its members would read back with 18874368 bytes of zero fill in sections "
                                  "that are not uninitialised data, more than the 16777216 bytes a run builds.\n");
        EXPECT_EQ(dir.readText("x.lib"), "old library");
        EXPECT_EQ(dir.list(), std::vector<std::string>{"x.lib"});
    }
    a.cMembers.erase(a.cMembers.begin(), a.cMembers.begin() + 2);
    ASSERT_TRUE(a.write());
    std::unique_ptr<Archive> back = Archive::make(a.cName);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->cMembers.size(), 1u);
    EXPECT_EQ(back->cMembers[0]->cRawData[".half"].size(), 9u << 20);
    Data::resetZeroFillBudget();
}
