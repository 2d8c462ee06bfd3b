// Data, the one byte buffer of the suite: a section's raw contents, the
// linker's ".cinit" table and fill sections, the COD converter's code
// blocks and the hex converter's runs of bytes. Every Data owns its buffer
// alone; copies are deep. ScnAddr comes with it.
//
// Zero fill (the contents of a section of uninitialised data) is a size
// without a buffer: it costs no memory however large it claims to be, and
// copies of it stay so. Its bytes are built only where something asks for
// them (fill(), data()), and all that a run builds is charged to one budget.
#pragma once

#include "scnaddr.h"

#include <cstdint>
#include <ostream>

class Data
{
public:
    // Empty: size 0 and no buffer.
    Data();
    // A copy of size bytes from source; empty when size is 0.
    Data(uint32_t size, const uint8_t *source);
    // Size zero bytes; empty when size is 0.
    explicit Data(uint32_t size);
    Data(const Data &other);
    Data &operator=(const Data &other);
    // Takes the other's buffer over; the other is left empty.
    Data(Data &&other) noexcept;
    Data &operator=(Data &&other) noexcept;
    ~Data();

    // Size zero bytes, not built.
    static Data zeroFill(uint32_t size);
    bool isZeroFill() const { return cSize != 0 && !cBytes; }
    // Builds the bytes of zero fill, charged to the budget; false, the
    // bytes left unbuilt, when less than its size is left. True for any
    // other Data.
    bool fill() const;

    // The buffer, for reading and writing in place (null when empty).
    // Zero fill is built first; past the budget that ends the run as
    // exhausted memory does.
    uint8_t *data()
    {
        build();
        return cBytes;
    }
    const uint8_t *data() const
    {
        build();
        return cBytes;
    }
    uint32_t size() const { return cSize; }
    // The byte at index i, 0 past the end; zero fill is not built for it.
    uint8_t at(uint64_t i) const { return i < cSize && cBytes ? cBytes[i] : 0; }

    // What the zero fill of one run may build: far beyond any device's
    // memory.
    static constexpr uint64_t ZERO_FILL_BUDGET = 16u << 20;
    // The whole budget again, for a process that runs many inputs (tests,
    // fuzz targets).
    static void resetZeroFillBudget();

    // Adds the other's bytes after its own in a new buffer (zero fill
    // giving its zero bytes).
    void append(const Data &other);

    // Hex dump: two digits a byte, a blank after every four bytes and a new
    // line after every 32, ending with a line end.
    void print(std::ostream &out) const;

private:
    void build() const
    {
        if (isZeroFill())
            buildZeroFill();
    }
    void buildZeroFill() const;

    // Invariant: cBytes is null when cSize is 0, and otherwise only for
    // zero fill that is not built yet.
    uint32_t cSize;
    mutable uint8_t *cBytes;
};
