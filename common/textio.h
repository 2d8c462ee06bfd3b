// The small host layer for text files and the clock: reading lines that may
// end in LF or CRLF, and local date and time texts formatted in the "C"
// locale for the map file, the listing and the COD directory.
#pragma once

#include <ctime>
#include <functional>
#include <istream>
#include <string>

// Reads one line like std::getline and removes one carriage return left at
// its end, so LF and CRLF files read alike. False when no line was read.
bool readTextLine(std::istream &in, std::string &line);

// Reads the whole of a regular file, as far as the size it had when it was
// opened. False when it cannot be opened or is no regular file: a device
// could be read without end and a pipe could wait for ever, so neither is
// read. Opening never blocks. A file whose size reads as 0 is read to its
// end, and refused (EFBIG) past FileBytes::STREAM_LIMIT bytes. error, when
// given, gets why it failed: the errno value of the open or read, 0 for a
// file that is no regular file. sized, when given, runs once the file is
// sized, before it is read (tests change the file there).
bool readRegularFile(const std::string &path, std::string &text, int *error = nullptr,
                     const std::function<void()> &sized = {});

// The current calendar time.
std::time_t currentTime();

// The local time of when, formatted with a strftime-style format in the "C"
// locale whatever the program's locale ("%d-%b-%Y" gives "05-Mar-2024").
std::string formatLocalTime(std::time_t when, const std::string &format);
// The same for the current time.
std::string formatLocalTime(const std::string &format);
