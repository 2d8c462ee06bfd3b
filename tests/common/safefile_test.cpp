// Output through a temporary file renamed into place.

#include "safefile.h"
#include "tooltest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(SafeFile, CommitReplacesTheTarget)
{
    TempDir dir;
    dir.write("out.txt", std::string("old"));
    SafeFile f;
    std::string err;
    ASSERT_TRUE(f.open(dir.file("out.txt"), err));
    f.stream() << "new text";
    EXPECT_EQ(dir.readText("out.txt"), "old"); // nothing visible before commit
    ASSERT_TRUE(f.commit(err)) << err;
    EXPECT_EQ(dir.readText("out.txt"), "new text");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.txt"});
}

TEST(SafeFile, UncommittedWritesLeaveNoTrace)
{
    TempDir dir;
    dir.write("out.txt", std::string("old"));
    {
        SafeFile f;
        std::string err;
        ASSERT_TRUE(f.open(dir.file("out.txt"), err));
        f.stream() << "partial";
    }
    EXPECT_EQ(dir.readText("out.txt"), "old");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.txt"});
}

TEST(SafeFile, KeepsTheModeOfTheFileItReplaces)
{
    TempDir dir;
    dir.write("tool.sh", std::string("old"));
    ASSERT_EQ(::chmod(dir.file("tool.sh").c_str(), 0750), 0);
    std::string err;
    ASSERT_TRUE(writeFileAtomically(dir.file("tool.sh"), std::string("new"), err));
    struct stat st;
    ASSERT_EQ(::stat(dir.file("tool.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST(SafeFile, MissingDirectoryOrDirectoryTarget)
{
    TempDir dir;
    std::string err;
    EXPECT_FALSE(writeFileAtomically(dir.file("no/such/file"), std::vector<uint8_t>{1}, err));
    EXPECT_FALSE(err.empty());
    err.clear();
    EXPECT_FALSE(writeFileAtomically(dir.path(), std::vector<uint8_t>{1}, err));
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(dir.list().empty());
}
