// Text and number helpers.

#include "text.h"

#include <cstdio>

namespace {

// White space as the C library classes it in the "C" locale.
bool isBlankChar(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of c as a digit of the base, or -1.
int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'z')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

} // namespace

int32_t parseNumber(const std::string &text)
{
    size_t i = 0;
    int base = 10;
    if (text.size() >= 3 && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }

    // The rest is read like the C library's signed conversion: blanks, a
    // sign and, in base 16, one optional "0x" before the digits.
    while (i < text.size() && isBlankChar((unsigned char)text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digitValue(text[i + 2], 16) >= 0)
        i += 2;

    // The magnitude saturates just past the 32-bit range, so the clamp
    // below sees every overflow however long the digit string is.
    const uint64_t limit = uint64_t(1) << 32;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        int d = digitValue(text[i], base);
        if (d < 0)
            break;
        magnitude = magnitude * base + uint64_t(d);
        if (magnitude > limit)
            magnitude = limit;
    }

    if (negative)
        return magnitude >= 0x80000000u ? INT32_MIN : -int32_t(magnitude);
    return magnitude > 0x7FFFFFFFu ? INT32_MAX : int32_t(magnitude);
}

DecimalNumber scanDecimal(const std::string &text)
{
    DecimalNumber number;
    size_t i = 0;
    while (i < text.size() && isBlankChar((unsigned char)text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number.negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        uint64_t next = uint64_t(number.low) * 10 + uint64_t(text[i] - '0');
        number.wide = number.wide || next > UINT32_MAX;
        number.low = uint32_t(next);
    }
    return number;
}

int32_t DecimalNumber::clamped() const
{
    if (wide || low >= 0x80000000u)
        return negative ? INT32_MIN : INT32_MAX;
    return negative ? -int32_t(low) : int32_t(low);
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    for (char c : text) {
        if (c == separator) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty())
        fields.push_back(field);
    return fields;
}

bool readToken(std::istream &in, std::string &token)
{
    token.clear();
    int next;
    while ((next = in.peek()) != std::char_traits<char>::eof() && isBlankChar(next))
        in.get();

    bool inQuotes = false;
    char c;
    while (in.get(c)) {
        if (inQuotes) {
            if (c == '"')
                inQuotes = false;
            else
                token += c;
        } else if (c == '"') {
            inQuotes = true;
        } else if (isBlankChar((unsigned char)c)) {
            break;
        } else {
            token += c;
        }
    }
    return !token.empty() && !inQuotes;
}

uint32_t byteSwap32(uint32_t value)
{
    return (value & 0xFF) << 24 | (value >> 8 & 0xFF) << 16 | (value >> 16 & 0xFF) << 8 | value >> 24;
}

std::string hexString(uint32_t value, int n)
{
    if (n < 1 || n > 4)
        return "<NaN>";
    uint32_t mask = n == 4 ? 0xFFFFFFFFu : (uint32_t(1) << (8 * n)) - 1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*lx", 2 * n, (unsigned long)(value & mask));
    return buf;
}

std::string quote(const std::string &text) { return "\"" + text + "\""; }

std::string unquote(const std::string &text)
{
    std::string out;
    for (char c : text)
        if (c != '"')
            out += c;
    return out;
}

namespace {

bool isControl(char c) { return uint8_t(c) < 0x20 || uint8_t(c) == 0x7F; }

} // namespace

bool hasControlCharacter(const std::string &text)
{
    for (char c : text)
        if (isControl(c))
            return true;
    return false;
}

std::string escapeControlCharacters(const std::string &text)
{
    static const char digits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        if (!isControl(c)) {
            shown += c;
            continue;
        }
        shown += "\\x";
        shown += digits[uint8_t(c) >> 4];
        shown += digits[uint8_t(c) & 0xF];
    }
    return shown;
}
