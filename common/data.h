// Data, the one byte buffer of the suite: a section's raw contents, the
// linker's ".cinit" table and fill sections, the COD converter's code
// blocks and the hex converter's runs of bytes. Every Data owns its buffer
// alone; copies are deep. ScnAddr comes with it.
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

    // The buffer, for reading and writing in place (null when empty).
    uint8_t *data() { return cBytes; }
    const uint8_t *data() const { return cBytes; }
    uint32_t size() const { return cSize; }

    // Adds the other's bytes after its own in a new buffer.
    void append(const Data &other);

    // Hex dump: two digits a byte, a blank after every four bytes and a new
    // line after every 32, ending with a line end.
    void print(std::ostream &out) const;

private:
    // Invariant: cSize is 0 exactly when cBytes is null.
    uint32_t cSize;
    uint8_t *cBytes;
};
