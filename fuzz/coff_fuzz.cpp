// Object files and executables: reading, verification, the dump, and the
// writer's round trip. An image that reads and verifies must be written
// whole, and what was written must read back and write again to the same
// bytes.

#include "coff.h"
#include "harness.h"

#include <cstring>
#include <sstream>

namespace {

std::string imageOf(const Coff &coff, bool &ok)
{
    std::ostringstream out;
    ok = coff.write(out, 0);
    return out.str();
}

// Each read is charged to a zero-fill budget of its own, as a run of its
// own would be: a section that is written without its zero bytes (one
// flagged both code and uninitialised data) gets them built again.
std::unique_ptr<Coff> readImage(const std::string &bytes, const std::string &name)
{
    Data::resetZeroFillBudget();
    std::istringstream in(bytes);
    return Coff::make(in, 0, name);
}

void fuzzOne(const std::string &bytes)
{
    std::unique_ptr<Coff> coff = readImage(bytes, "fuzz.o");
    if (!coff)
        return;
    if (fuzz::rawBytes(*coff) <= fuzz::DUMP_LIMIT) {
        std::ostringstream dump;
        coff->print(dump);
    }
    if (!coff->verify())
        return;

    bool ok = false;
    std::string first = imageOf(*coff, ok);
    if (!ok)
        return;
    fuzz::check(first.size() == coff->size(), "the written image has the length size() gives");
    std::unique_ptr<Coff> again = readImage(first, "again.o");
    fuzz::check(again != nullptr, "a written image reads back");
    fuzz::check(again->verify(), "a written image verifies");
    std::string second = imageOf(*again, ok);
    fuzz::check(ok, "a written image writes again");
    fuzz::check(first == second, "a written image writes again to the same bytes");

    // Laying out changes no symbol slot but the line pointers of function
    // auxiliary entries, and a laid-out image lays out to itself.
    Coff laid(*coff);
    laid.preWrite();
    for (size_t i = 0; i < laid.cSymbols.size(); i++) {
        if (i < laid.cAuxKind.size() && laid.cAuxKind[i] == AUX_FCN)
            continue;
        uint8_t before[SYMENT_SIZE], after[SYMENT_SIZE];
        packSyment(before, coff->cSymbols[i]);
        packSyment(after, laid.cSymbols[i]);
        fuzz::check(std::memcmp(before, after, SYMENT_SIZE) == 0, "preWrite changes only function aux entries");
    }
    std::string third = imageOf(laid, ok);
    fuzz::check(ok, "a laid-out object writes");
    std::unique_ptr<Coff> reread = readImage(third, "laid.o");
    fuzz::check(reread != nullptr, "a laid-out image reads back");
    reread->preWrite();
    reread->cFileHdr.f_timdat = laid.cFileHdr.f_timdat;
    std::string fourth = imageOf(*reread, ok);
    fuzz::check(ok && fourth == third, "a laid-out image lays out to the same bytes");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    fuzz::runGuarded([&] { fuzzOne(bytes); });
    return 0;
}
