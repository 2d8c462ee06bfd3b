// The byte buffer Data.

#include "data.h"

#include <cstring>
#include <new>

Data::Data() : cSize(0), cBytes(nullptr) {}

Data::Data(uint32_t size, const uint8_t *source) : cSize(size), cBytes(nullptr)
{
    if (size == 0)
        return;
    if (!source) {
        cBytes = new uint8_t[size]();
        return;
    }
    cBytes = new uint8_t[size];
    std::memcpy(cBytes, source, size);
}

Data::Data(uint32_t size) : cSize(size), cBytes(size ? new uint8_t[size]() : nullptr) {}

Data::Data(const Data &other) : cSize(other.cSize), cBytes(nullptr)
{
    // Zero fill stays unbuilt.
    if (other.cBytes) {
        cBytes = new uint8_t[cSize];
        std::memcpy(cBytes, other.cBytes, cSize);
    }
}

namespace {

uint64_t zeroFillLeft = Data::ZERO_FILL_BUDGET;

} // namespace

Data Data::zeroFill(uint32_t size)
{
    Data zeros;
    zeros.cSize = size;
    return zeros;
}

void Data::resetZeroFillBudget() { zeroFillLeft = ZERO_FILL_BUDGET; }

bool Data::fill() const
{
    if (!isZeroFill())
        return true;
    if (cSize > zeroFillLeft)
        return false;
    cBytes = new uint8_t[cSize]();
    zeroFillLeft -= cSize;
    return true;
}

void Data::buildZeroFill() const
{
    if (fill())
        return;
    if (std::new_handler handler = std::get_new_handler())
        handler();
    throw std::bad_alloc();
}

Data::Data(Data &&other) noexcept : cSize(other.cSize), cBytes(other.cBytes)
{
    other.cSize = 0;
    other.cBytes = nullptr;
}

Data &Data::operator=(Data &&other) noexcept
{
    if (this == &other)
        return *this;
    delete[] cBytes;
    cBytes = other.cBytes;
    cSize = other.cSize;
    other.cSize = 0;
    other.cBytes = nullptr;
    return *this;
}

Data &Data::operator=(const Data &other)
{
    if (this == &other)
        return *this;
    // The copy is made before the old buffer goes, so a failed allocation
    // leaves this Data as it was.
    uint8_t *bytes = nullptr;
    if (other.cBytes) {
        bytes = new uint8_t[other.cSize];
        std::memcpy(bytes, other.cBytes, other.cSize);
    }
    delete[] cBytes;
    cBytes = bytes;
    cSize = other.cSize;
    return *this;
}

Data::~Data() { delete[] cBytes; }

void Data::append(const Data &other)
{
    if (other.cSize == 0)
        return;
    // The size is 32 bits: a buffer that would outgrow it is as exhausted as
    // memory, rather than quietly wrapping round and losing bytes.
    uint64_t total = uint64_t(cSize) + other.cSize;
    if (total > UINT32_MAX) {
        if (std::new_handler handler = std::get_new_handler())
            handler();
        throw std::bad_alloc();
    }
    uint8_t *bytes = new uint8_t[total]();
    if (cBytes)
        std::memcpy(bytes, cBytes, cSize);
    if (other.cBytes)
        std::memcpy(bytes + cSize, other.cBytes, other.cSize);
    delete[] cBytes;
    cBytes = bytes;
    cSize = uint32_t(total);
}

void Data::print(std::ostream &out) const
{
    static const char digits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < cSize; ++i) {
        if (i != 0 && i % 4 == 0)
            out << ' ';
        if (i != 0 && i % 32 == 0)
            out << '\n';
        uint8_t byte = at(i);
        out << digits[byte >> 4] << digits[byte & 0xF];
    }
    out << '\n';
}
