// COD files: the reader and the dump. A file that reads must write again,
// and what was written must read back and write once more to the same
// bytes.

#include "cod.h"
#include "harness.h"

#include <sstream>

namespace {

const std::time_t CLOCK = 1700000000;

bool rewrite(Cod &cod, const std::string &name)
{
    cod.cFileName = name;
    cod.setClock(CLOCK);
    return cod.preWrite() && cod.write();
}

void fuzzOne(const uint8_t *data, size_t size)
{
    fuzz::writeFile("fuzz.cod", data, size);
    std::unique_ptr<Cod> cod = Cod::make("fuzz.cod");
    if (!cod)
        return;
    std::ostringstream dump;
    cod->dump(dump);
    if (!rewrite(*cod, "first.cod"))
        return;
    std::unique_ptr<Cod> again = Cod::make("first.cod");
    fuzz::check(again != nullptr, "a written COD file reads back");
    fuzz::check(rewrite(*again, "second.cod"), "a written COD file writes again");
    fuzz::check(fuzz::readFile("first.cod") == fuzz::readFile("second.cod"),
                "a written COD file writes again to the same bytes");
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
