// Writes the seed inputs of every fuzz target:
//
//   fuzz_seeds DIR      ->  DIR/coff_fuzz/..., DIR/archive_fuzz/..., ...
//
// Objects and libraries come from the suite's own writers; command files
// and argument lists are written out here.

#include "coff.h"
#include "coff2cod.h"
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

// The seeds with a prefix of switch bytes before each input.
std::vector<fuzz::Seed> prefixed(const std::vector<fuzz::Seed> &seeds, const std::vector<std::vector<uint8_t>> &prefixes)
{
    std::vector<fuzz::Seed> out;
    for (const fuzz::Seed &seed : seeds)
        for (size_t i = 0; i < prefixes.size(); ++i) {
            std::vector<uint8_t> bytes = prefixes[i];
            bytes.insert(bytes.end(), seed.second.begin(), seed.second.end());
            out.push_back({seed.first + "." + std::to_string(i), bytes});
        }
    return out;
}

// COD files as the converter writes them, of every executable seed.
std::vector<fuzz::Seed> codSeeds(const fs::path &dir)
{
    std::vector<fuzz::Seed> seeds;
    fs::path home = fs::current_path();
    fs::create_directories(dir);
    fs::current_path(dir);
    fuzz::writeConverterFiles();
    for (const fuzz::Seed &exe : fuzz::executableSeeds()) {
        fuzz::writeFile(exe.first, exe.second);
        std::unique_ptr<Coff> coff = Coff::make(exe.first);
        Coff2Cod converter;
        if (coff && converter.convert(*coff, 0, false) && converter.preWrite())
            converter.write();
        fs::remove(exe.first);
    }
    for (const char *source : {"main.asm", "prog.asm", "util.asm", "defs.inc"})
        fs::remove(source);
    for (const auto &entry : fs::directory_iterator("."))
        if (entry.path().extension() != ".cod")
            fs::remove(entry.path());
    fs::current_path(home);
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
    put(dir / "dorvane_args_fuzz", argumentSeeds({
                                       "prog1.out",
                                       "/d\nprog2.out",
                                       "-n\n30\n/q\nprog3.out",
                                       "/N\n-5\n-D\nprog4.out",
                                       "main.o",
                                       "bad.out",
                                       "prog1.out\nprog2.out",
                                   }));
    // Link: byte 0 picks the family (bits 1-2) and strip (bit 0).
    std::vector<fuzz::Seed> links;
    std::vector<fuzz::Seed> objects = fuzz::linkSeeds();
    for (size_t i = 0; i < objects.size(); ++i) {
        for (uint8_t strip : {0, 1}) {
            std::vector<uint8_t> bytes{uint8_t(i << 1 | strip)};
            bytes.insert(bytes.end(), objects[i].second.begin(), objects[i].second.end());
            links.push_back({objects[i].first + "." + std::to_string(strip), bytes});
        }
    }
    put(dir / "link_fuzz", links);
    // Hex: format, range flag and range, then the executable.
    put(dir / "hex_fuzz", prefixed(fuzz::executableSeeds(), {{0, 0, 0, 0, 0, 0, 0, 0, 0},
                                                              {1, 0, 0, 0, 0, 0, 0, 0, 0},
                                                              {2, 0, 0, 0, 0, 0, 0, 0, 0},
                                                              {6, 2, 0, 0, 0, 0x10, 0, 0, 0}}));
    // COD converter: "-d" and "/n" flags and the page length, then the executable.
    put(dir / "dorvane_fuzz", prefixed(fuzz::executableSeeds(), {{0, 0}, {1, 0}, {2, 28}}));
    codSeeds(dir / "cod_fuzz");
    return 0;
}
