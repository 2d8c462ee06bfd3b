// Reads the linker's command line and its command files.
//
// A command-file line is cut at "//" and read word by word; several
// directives may share a line. Operands that name files or directories are
// read as tokens (double quotes may group blanks), attributes as KEY=VALUE
// words that run to the end of the line.

#include "parser.h"

#include "diag.h"
#include "pathinfo.h"
#include "text.h"
#include "textio.h"

#include <iostream>
#include <map>
#include <sstream>

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool isAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// True when another token follows on the line (white space is skipped).
bool moreOnLine(std::istream &in)
{
    in >> std::ws;
    return in.peek() != std::char_traits<char>::eof();
}

// The KEY=VALUE words of one directive.
struct Attributes
{
    std::map<std::string, std::string> values;
    bool isProtected = false;

    bool has(const std::string &key) const { return values.count(key) != 0; }
    std::string get(const std::string &key) const
    {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    }
};

// Reads the words up to the end of the line. False on a word without '='
// or without a value, an unknown key, a key given twice, or a repeated
// PROTECTED (which only the memory directives know).
bool readAttributes(std::istream &in, const std::set<std::string> &keys, bool allowProtected, Attributes &attrs)
{
    std::string word;
    while (in >> word) {
        if (allowProtected && word == "PROTECTED") {
            if (attrs.isProtected)
                return false;
            attrs.isProtected = true;
            continue;
        }
        size_t eq = word.find('=');
        if (eq == std::string::npos || eq + 1 == word.size())
            return false;
        std::string key = word.substr(0, eq);
        if (!keys.count(key) || attrs.has(key))
            return false;
        attrs.values[key] = word.substr(eq + 1);
    }
    return true;
}

std::string place(const std::string &file, uint64_t line)
{
    return "'" + file + ":" + std::to_string(line) + "'";
}

// Help screen lines with the length each is padded to with blanks.
struct HelpLine
{
    const char *text;
    size_t width;
};

const HelpLine HELP[] = {
    {"Syntax:   tarvok { cmdfile | [objfile] | [libfile] | [option] } ...", 69},
    {"  'cmdfile' is the name of a linker command file.", 63},
    {"       All linker command files must have the extension '.lkr'", 63},
    {"  'objfile' is the name of an assembler or compiler generated object file.", 75},
    {"       All object files must have the extension '.o'.", 63},
    {"  'libfile' is the name of a librarian created library file.", 63},
    {"       All library files must have the extension '.lib'.", 63},
    {"  'option'  is a linker command line option described below.", 63},
    {"", 0},
    {"Linker command line options:", 63},
    {"   /o <filename>   : specify output file 'filename', default is 'a.out'", 73},
    {"   /m <filename>   : create map file 'filename'", 73},
    {"   /l <pathlist>   : list of directories to search for library/object files", 75},
    {"   /k <pathlist>   : list of directories to search for linker command files", 75},
    {"   /n <length>     : number of lines per listing page (0 = no pagination)", 73},
    {"   /h, /?          : show this help screen", 61},
    {"   /a <hexformat>  : specify format of hex programming file", 61},
    {"                     valid formats are INHX8M, INHX8S, INHX32", 61},
    {"   /d              : don't create listing file", 61},
    {"   /q              : quiet mode operation", 61},
};

} // namespace

bool isValidPath(const std::string &dir) { return !dir.empty(); }

bool isCommandFile(const std::string &text)
{
    PathInfo info(text);
    std::string name = info.name();
    if (name.size() <= 4 || !isAsciiAlnum(name[0]))
        return false;
    std::string ext = info.ext();
    if (ext.size() != 4)
        return false;
    for (size_t i = 0; i < ext.size(); ++i)
        if (lowerAscii(ext[i]) != ".lkr"[i])
            return false;
    return true;
}

std::string stripComment(const std::string &line)
{
    size_t pos = line.find("//");
    return pos == std::string::npos ? line : line.substr(0, pos);
}

bool padFill(const std::string &value, std::string &padded)
{
    padded = value;
    if (value.size() <= 2 || (value[1] != 'x' && value[1] != 'X'))
        return true; // read as a decimal number
    for (size_t i = 2; i < value.size(); ++i)
        if (!isHexDigit(value[i]))
            return false;
    while ((padded.size() - 2) % 4 != 0)
        padded = "0x0" + padded.substr(2);
    return true;
}

// ---------------------------------------------------------- exits

void Parser::usage(const std::string &message)
{
    report(SEV_ERROR, "Parser::usage()", message, false);
    summary(1);
}

void Parser::printUsage()
{
    // Shown also when quiet, and without the count summary.
    for (const HelpLine &line : HELP) {
        std::string text = line.text;
        if (text.size() < line.width)
            text.append(line.width - text.size(), ' ');
        std::cerr << text << '\n';
    }
    std::cerr.flush();
    std::cout.flush();
    std::exit(255);
}

// ---------------------------------------------------------- command line

void Parser::parseCommandLine(int argc, const char *const *argv, Linker &linker)
{
    bool sawArgument = false;
    bool readCommandFile = false;
    std::string err;

    for (int i = 1; i < argc; ++i) {
        sawArgument = true;
        std::string arg = argv[i] ? argv[i] : "";

        if (!isSwitchArg(arg)) {
            if (isObjectFile(arg)) {
                if (!linker.addObjectFile(arg, err))
                    usage(err);
            } else if (isLibraryFile(arg)) {
                if (!linker.addLibraryFile(arg, err))
                    usage(err);
            } else if (isCommandFile(arg)) {
                parseCommandFile(arg, linker);
                readCommandFile = true;
            } else {
                usage("unrecognized input: " + arg);
            }
            continue;
        }

        // The switch letter is folded (messages show the folded copy); the
        // value never is. A value is the rest of the argument, else the next
        // argument, else empty.
        if (arg.size() > 1)
            arg[1] = lowerAscii(arg[1]);
        char letter = arg.size() > 1 ? arg[1] : '\0';
        auto value = [&]() -> std::string {
            if (arg.size() > 2)
                return arg.substr(2);
            if (i + 1 < argc)
                return argv[++i] ? argv[i] : "";
            return "";
        };

        switch (letter) {
        case '?':
        case 'h':
            printUsage();
        case 'o': {
            std::string name = value();
            if (name.empty() || !isValidFileName(name))
                usage("-o switch requires <filename>");
            if (!linker.setOutputFile(name, err))
                usage(err);
            break;
        }
        case 'm': {
            std::string name = value();
            if (name.empty() || !isValidFileName(name))
                usage("-m switch requires <filename>");
            if (!linker.setMapFile(name, err))
                usage(err);
            break;
        }
        case 'l':
        case 'k': {
            const std::string message =
                letter == 'l' ? "-l switch requires <pathlist>" : "-k switch requires <pathlist>";
            std::vector<std::string> dirs = split(value(), ';');
            if (dirs.empty())
                usage(message);
            for (const std::string &dir : dirs) {
                if (!isValidPath(dir))
                    usage(message);
                if (letter == 'k')
                    cSearchDirs.push_back(dir);
                else if (!linker.addLibPath(dir, err))
                    usage(err);
            }
            break;
        }
        case 'n': {
            // Checked, then of no further use to the linker.
            std::string length = value();
            if (length.empty() || !isNumber(length))
                usage("-n switch requires <length>");
            break;
        }
        case 'a': {
            std::string format = value();
            if (format != "INHX8M" && format != "INHX8S" && format != "INHX32")
                usage("-a switch requires <hexformat>");
            break;
        }
        case 'd':
            break;
        case 'q':
            setQuiet(1);
            break;
        case 's':
            if (!linker.setStrip(1, err))
                usage(err);
            break;
        default:
            usage("unknown switch: " + arg);
        }
    }

    if (!sawArgument)
        printUsage();
    if (!readCommandFile)
        usage("linker command file required.");
}

// ---------------------------------------------------------- command files

// A command file is read whole, then line by line. An INCLUDE operand
// suspends it, its place kept here, until the named file has been read to
// its end; the rest of the line (further operands) follows then.
struct Parser::OpenFile
{
    std::string name;         // as found
    std::istringstream text;  // the whole file
    uint64_t lineNo = 0;
    std::string at;           // the current line's place in messages
    std::istringstream line;  // what is left of the current line
    std::string includeError; // set while the line's INCLUDE operands are read
};

void Parser::parseCommandFile(const std::string &name, Linker &linker)
{
    // The files being read, the innermost last: INCLUDE nests as deep as
    // memory allows without deepening the call stack.
    std::vector<std::unique_ptr<OpenFile>> open;
    open.push_back(openCommandFile(name));
    std::string include;
    while (!open.empty()) {
        if (readCommandFile(*open.back(), linker, include))
            open.push_back(openCommandFile(include));
        else
            open.pop_back();
    }
}

std::unique_ptr<Parser::OpenFile> Parser::openCommandFile(const std::string &name)
{
    std::string found;
    PathInfo info(name);
    // The file goes by the name the system opens ('\\' separates
    // directories like '/').
    if (info.hasPath()) {
        if (info.fileExists())
            found = hostPath(name);
    } else {
        std::vector<std::string> dirs{"."};
        dirs.insert(dirs.end(), cSearchDirs.begin(), cSearchDirs.end());
        for (const std::string &dir : dirs) {
            std::string candidate = dir;
            if (!candidate.empty() && candidate.back() != '/' && candidate.back() != '\\')
                candidate += '/';
            candidate += name;
            if (PathInfo(candidate).fileExists()) {
                found = hostPath(candidate);
                break;
            }
        }
    }
    if (found.empty())
        usage("Could not find linker command file '" + name + "'.");

    // Only a regular file is read: a device could be read without end and a
    // pipe could wait for ever.
    std::string text;
    if (!readRegularFile(found, text))
        usage("Could not open '" + found + "'");
    auto file = std::make_unique<OpenFile>();
    file->name = found;
    file->text.str(std::move(text));

    // The list lives for the whole run: a file read twice is an error however
    // it was reached.
    if (!cCommandFileSet.insert(found).second)
        usage("Multliple inclusion of linker command file '" + found + "' ");
    cCommandFiles.push_back(found);
    return file;
}

std::vector<std::string> Parser::readPathList(std::istream &in, const std::string &message)
{
    std::string token;
    if (!moreOnLine(in) || !readToken(in, token))
        usage(message);
    std::vector<std::string> dirs = split(token, ';');
    if (dirs.empty())
        usage(message);
    for (const std::string &dir : dirs)
        if (!isValidPath(dir))
            usage(message);
    return dirs;
}

bool Parser::readCommandFile(OpenFile &file, Linker &linker, std::string &include)
{
    std::string err;
    std::string text;
    std::istringstream &line = file.line;
    for (;;) {
        // Each INCLUDE operand is read whole before the next token.
        if (!file.includeError.empty()) {
            if (moreOnLine(line)) {
                if (!readToken(line, include) || !isCommandFile(include))
                    usage(file.includeError);
                return true;
            }
            file.includeError.clear();
        }
        std::string word;
        if (!(line >> word)) {
            // Lines of any length are read whole.
            if (!readTextLine(file.text, text))
                break;
            ++file.lineNo;
            line = std::istringstream(stripComment(text) + " ");
            file.at = place(file.name, file.lineNo);
            continue;
        }
        const std::string &at = file.at;
        if (word == "LIBPATH") {
            for (const std::string &dir : readPathList(line, "Illegal <libpath> for LIBPATH in " + at))
                if (!linker.addLibPath(dir, err))
                    usage(err);
        } else if (word == "LKRPATH") {
            for (const std::string &dir : readPathList(line, "Illegal <lkrpath> for LKRPATH in " + at))
                cSearchDirs.push_back(dir);
        } else if (word == "INCLUDE") {
            file.includeError = "Illegal <filename> for INCLUDE in " + at;
            if (!moreOnLine(line))
                usage(file.includeError);
        } else if (word == "FILES") {
            const std::string message = "Illegal <filename> for FILES in " + at;
            if (!moreOnLine(line))
                usage(message);
            std::string token;
            while (moreOnLine(line)) {
                if (!readToken(line, token))
                    usage(message);
                if (isObjectFile(token)) {
                    if (!linker.addObjectFile(token, err))
                        usage(err);
                } else if (isLibraryFile(token)) {
                    if (!linker.addLibraryFile(token, err))
                        usage(err);
                } else {
                    usage(message);
                }
            }
        } else if (word == "CODEPAGE") {
            // The FILL budget's message names the line that passes it.
            Memory memory = parseMemory(word, line, file.name, file.lineNo, rom);
            if (!linker.fillFits(memory, at, err) || !linker.addCodePage(memory, err))
                usage(err);
        } else if (word == "DATABANK") {
            if (!linker.addDataBank(parseMemory(word, line, file.name, file.lineNo, ram), err))
                usage(err);
        } else if (word == "SHAREBANK") {
            if (!linker.addShareBank(parseMemory(word, line, file.name, file.lineNo, ram), err))
                usage(err);
        } else if (word == "ACCESSBANK") {
            if (!linker.addAccessBank(parseMemory(word, line, file.name, file.lineNo, ram), err))
                usage(err);
        } else if (word == "SECTION") {
            if (!linker.addSectionDesc(parseSection(line, file.name, file.lineNo), err))
                usage(err);
        } else if (word == "STACK") {
            if (!linker.setStackDesc(parseStack(line, file.name, file.lineNo), err))
                usage(err);
        } else if (word == "HEAP") {
            if (!linker.setMinHeapSize(parseHeap(line, file.name, file.lineNo), err))
                usage(err);
        } else {
            usage("Unrecognized input in " + at + ": " + word);
        }
    }
    if (file.text.bad())
        usage("Could not read '" + file.name + "'");
    return false;
}

// ---------------------------------------------------------- attributes

Memory Parser::parseMemory(const std::string &keyword, std::istream &in, const std::string &file, uint64_t line,
                           MemType type)
{
    const std::string message = "Invalid attributes for " + keyword + " in " + place(file, line);
    std::set<std::string> keys{"NAME", "START", "END"};
    if (keyword == "CODEPAGE")
        keys.insert("FILL");
    Attributes attrs;
    if (!readAttributes(in, keys, true, attrs) || !attrs.has("NAME") || !attrs.has("START") || !attrs.has("END"))
        usage(message);

    uint32_t start = uint32_t(parseNumber(attrs.get("START")));
    uint32_t end = uint32_t(parseNumber(attrs.get("END")));
    // A region runs upwards and has at most 0xFFFFFFFF locations; anything
    // else would wrap into a huge or an empty region.
    if (end < start || end - start == 0xFFFFFFFFu)
        usage(message);

    std::string fill;
    bool hasFill = attrs.has("FILL");
    if (hasFill && !padFill(attrs.get("FILL"), fill))
        usage(message);
    return Memory(attrs.get("NAME"), start, end, type, attrs.isProtected, hasFill, fill);
}

SectionDesc Parser::parseSection(std::istream &in, const std::string &file, uint64_t line)
{
    Attributes attrs;
    if (!readAttributes(in, {"NAME", "ROM", "RAM"}, false, attrs) || !attrs.has("NAME") ||
        (!attrs.has("ROM") && !attrs.has("RAM")))
        usage("Invalid attributes for SECTION in " + place(file, line));
    return SectionDesc(attrs.get("NAME"), attrs.get("ROM"), attrs.get("RAM"));
}

StackDesc Parser::parseStack(std::istream &in, const std::string &file, uint64_t line)
{
    Attributes attrs;
    if (!readAttributes(in, {"SIZE", "RAM"}, false, attrs) || !attrs.has("SIZE"))
        usage("Invalid attributes for STACK in " + place(file, line));
    return StackDesc(uint32_t(parseNumber(attrs.get("SIZE"))), attrs.get("RAM"));
}

uint32_t Parser::parseHeap(std::istream &in, const std::string &file, uint64_t line)
{
    Attributes attrs;
    if (!readAttributes(in, {"MINSIZE"}, false, attrs) || !attrs.has("MINSIZE"))
        usage("Invalid attributes for HEAP in " + place(file, line));
    return uint32_t(parseNumber(attrs.get("MINSIZE")));
}
