// Text and number helpers shared by the parsers, dumps and writers of every
// program: command-file and command-line numbers, separated lists,
// command-file tokens, the byte swap of the COD writer and the fixed-width
// hexadecimal of the dumps and map files. None of them keeps any state.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// Reads a decimal number, or a hexadecimal one when the second character of
// a text of three or more characters is 'x' or 'X' (the first character is
// not looked at). Leading white space and a sign are accepted, reading stops
// at the first character that is no digit, text without digits gives 0, and
// values beyond the signed 32-bit range are clamped to 0x7FFFFFFF or
// -0x80000000. Nothing is reported.
int32_t parseNumber(const std::string &text);

// A decimal number as the C library's conversions read it: leading white
// space, one optional sign, then digits up to the first character that is
// no digit; text without digits gives 0. Nothing is reported. The callers
// differ in what they make of a value beyond 32 bits, so both readings are
// kept.
struct DecimalNumber
{
    bool negative = false;
    uint32_t low = 0;  // the magnitude modulo 2^32
    bool wide = false; // the magnitude is 2^32 or more

    // The value clamped to the signed 32-bit range.
    int32_t clamped() const;
    // The value modulo 2^32, a negative one in two's complement.
    uint32_t wrapped() const { return negative ? 0u - low : low; }
};
DecimalNumber scanDecimal(const std::string &text);

// Splits at every separator; a field before a separator is kept even when
// empty, the field after the last separator only when it is not empty.
std::vector<std::string> split(const std::string &text, char separator);

// Reads one white-space separated token into token; double quotes group
// text that holds white space and are never part of the token. False when
// nothing was read or a quote was left open.
bool readToken(std::istream &in, std::string &token);

// The value with its four bytes in reverse order.
uint32_t byteSwap32(uint32_t value);

// "0x" and exactly 2n lower-case hex digits of the lowest n bytes of the
// value, for n from 1 to 4; "<NaN>" for any other n.
std::string hexString(uint32_t value, int n);

// The text between two double-quote characters.
std::string quote(const std::string &text);
// The text without any double-quote character.
std::string unquote(const std::string &text);

// True when the text holds a control character (below 0x20, or 0x7F).
bool hasControlCharacter(const std::string &text);
// The text as it may be shown on a console: each control character as "\x"
// and two lower-case hex digits ("\x1b"), everything else as it is. A
// member name read from a library holds no backslash, so its escapes are
// unambiguous.
std::string escapeControlCharacters(const std::string &text);
