// Debug dump of the STACK directive.

#include "stackdesc.h"

#include "text.h"

void StackDesc::print(std::ostream &out) const
{
    out << "StackDesc:  cSize=" << hexString(cSize, 4) << ", cRunMemory=" << cRunMemory << '\n';
}
