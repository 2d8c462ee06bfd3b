// Address ranges of the "/r" switch.

#include "addrrange.h"

#include "text.h"

void AddrRange::print(std::ostream &out) const
{
    out << "AddrRange:  cStart=" << hexString(cStart, 4) << " cEnd=" << hexString(cEnd, 4) << '\n';
}

bool inAddrRanges(uint64_t address, const std::vector<AddrRange> &ranges)
{
    for (const AddrRange &range : ranges)
        if (range.contains(address))
            return true;
    return false;
}
