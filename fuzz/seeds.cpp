// Writes the seed inputs of every fuzz target:
//
//   fuzz_seeds DIR      ->  DIR/coff_fuzz/..., DIR/archive_fuzz/..., ...
//
// Objects and libraries come from the suite's own writers; command files
// and argument lists are written out here.

#include "fixtures.h"
#include "harness.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void put(const fs::path &dir, const std::vector<fuzz::Seed> &seeds)
{
    fs::create_directories(dir);
    for (const fuzz::Seed &seed : seeds)
        fuzz::writeFile((dir / seed.first).string(), seed.second);
}

// Argument lists, one argument per line.
std::vector<fuzz::Seed> argumentSeeds(const std::vector<std::string> &lists)
{
    std::vector<fuzz::Seed> seeds;
    for (size_t i = 0; i < lists.size(); ++i)
        seeds.push_back({"args" + std::to_string(i), fuzz::textBytesOf(lists[i])});
    return seeds;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    fs::path dir = argv[1];
    put(dir / "coff_fuzz", fuzz::objectSeeds());
    put(dir / "archive_fuzz", fuzz::librarySeeds());
    put(dir / "lkr_fuzz", fuzz::commandFileSeeds());
    put(dir / "tarvok_args_fuzz", argumentSeeds({
                                      "core14.lkr\nmain.o\na.o\nlib.lib",
                                      "/m\nout.map\n/o\nout.cof\ncore14.lkr\nmain.o",
                                      "-q\n-l\nlib;.\n-k\ncmd\ninclude.lkr\nfound.lkr\nmain.o",
                                      "/s\n/n\n60\n/a\nINHX32\n/d\ncore16e.lkr",
                                      "/h",
                                      "/x",
                                      "bad.lkr\nmain.o",
                                  }));
    put(dir / "quessel_args_fuzz", argumentSeeds({
                                       "/c\nnew.lib\na.o\nb.o\nsub/c.o",
                                       "/t\nlib.lib",
                                       "/q\n/x\nlib.lib\nsub/c.o\na.o",
                                       "/d\nlib.lib\nb.o",
                                       "/r\nlib.lib\ndup.o\nbad.o",
                                       "/r\nempty.lib\nforeign.o",
                                       "/t\nbad.lib",
                                       "/h",
                                       "/c\ndir.lib\na.o",
                                   }));
    put(dir / "skellan_args_fuzz", argumentSeeds({
                                       "prog1.out",
                                       "/a\nINHX8M\nprog2.out",
                                       "-a\nINHX8S\n/r\n0x0-0x100\nprog3.out",
                                       "/r\n0x10-0x7FFF\n/r\n0-3\n/q\nprog4.out",
                                       "main.o",
                                       "bad.out",
                                   }));
    return 0;
}
