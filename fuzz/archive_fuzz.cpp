// Archive libraries: reading (members, index), the dump, and the writer's
// round trip: a library that reads and writes must read back and write
// again to the same bytes.

#include "archive.h"
#include "harness.h"

#include <sstream>

namespace {

std::string bytesOf(const Archive &archive, bool &ok)
{
    std::ostringstream out;
    ok = archive.write(out);
    return out.str();
}

void fuzzOne(const uint8_t *data, size_t size)
{
    fuzz::writeFile("fuzz.lib", data, size);
    std::unique_ptr<Archive> archive = Archive::make("fuzz.lib");
    if (!archive)
        return;
    // The dump is linear in the raw data, but a few bytes of header can
    // claim megabytes of zero fill: dump only what is small.
    uint64_t raw = 0;
    for (const auto &member : archive->cMembers)
        raw += fuzz::rawBytes(*member);
    if (raw <= fuzz::DUMP_LIMIT) {
        std::ostringstream dump;
        archive->print(dump);
    }
    for (const auto &[symbol, member] : archive->cSymbols)
        fuzz::check(archive->copyMember(symbol) != nullptr, "an indexed symbol has its member");

    bool ok = false;
    std::string first = bytesOf(*archive, ok);
    if (!ok)
        return;
    fuzz::writeFile("again.lib", fuzz::textBytesOf(first));
    // Read back as a run of its own would read it: the writer refuses a
    // library whose zero fill would not read back within one run's budget.
    Data::resetZeroFillBudget();
    std::unique_ptr<Archive> again = Archive::make("again.lib");
    fuzz::check(again != nullptr, "a written library reads back");
    fuzz::check(again->cMembers.size() == archive->cMembers.size(), "a written library keeps its members");
    std::string second = bytesOf(*again, ok);
    fuzz::check(ok, "a written library writes again");
    fuzz::check(first == second, "a written library writes again to the same bytes");

    // The file writer produces the same bytes.
    again->cName = "out.lib";
    fuzz::check(again->write(), "a written library is saved");
    fuzz::check(fuzz::readFile("out.lib") == fuzz::textBytesOf(first), "the saved library holds the written bytes");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::runGuarded([&] { fuzzOne(data, size); });
    return 0;
}
