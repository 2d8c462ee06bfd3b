// The messages page (docs/messages.md) against the programs' sources: every
// message text in the code must stand on the page, so no message can be
// added without its entry.
//
// A message text is a string literal of the programs' sources (common/,
// tarvok/src/, skellan/, dorvane/src/, quessel/) that holds at least two
// words, outside what only a developer sees: statements and blocks behind a
// debug switch (a condition that names debugLevel or a trace flag), the
// bodies of print, dump and trace functions, and text streamed into a file
// rather than to the console. Its words, with the quotes, blanks and
// punctuation around them dropped and every run of blanks read as one, must
// appear on the page, whose blanks and line ends are read the same way.
#include "tooltest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Token
{
    enum Kind { WORD, TEXT, PUNCT } kind;
    std::string text; // a literal's characters with its escapes decoded
    int line;
};

char unescape(char c)
{
    switch (c) {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case '0': return '\0';
    default: return c;
    }
}

// The tokens of a source file: words, string literals and single
// punctuation characters; comments, character literals and preprocessor
// lines are dropped.
std::vector<Token> tokenize(const std::string &s)
{
    std::vector<Token> out;
    int line = 1;
    bool lineStart = true;
    for (size_t i = 0; i < s.size();) {
        char c = s[i];
        if (c == '\n') {
            ++line;
            lineStart = true;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (lineStart && c == '#') {
            while (i < s.size() && s[i] != '\n')
                i += s[i] == '\\' && i + 1 < s.size() ? 2 : 1;
            continue;
        }
        lineStart = false;
        if (s.compare(i, 2, "//") == 0) {
            i = s.find('\n', i);
            if (i == std::string::npos)
                i = s.size();
        } else if (s.compare(i, 2, "/*") == 0) {
            size_t end = s.find("*/", i + 2);
            end = end == std::string::npos ? s.size() : end + 2;
            line += int(std::count(s.begin() + long(i), s.begin() + long(end), '\n'));
            i = end;
        } else if (c == '"' || c == '\'') {
            std::string text;
            size_t j = i + 1;
            for (; j < s.size() && s[j] != c; ++j)
                text += s[j] == '\\' && j + 1 < s.size() ? unescape(s[++j]) : s[j];
            if (c == '"')
                out.push_back({Token::TEXT, text, line});
            i = j + 1;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            size_t j = i;
            while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_'))
                ++j;
            out.push_back({Token::WORD, s.substr(i, j - i), line});
            i = j;
        } else {
            out.push_back({Token::PUNCT, std::string(1, c), line});
            ++i;
        }
    }
    return out;
}

bool isPunct(const Token &t, char c) { return t.kind == Token::PUNCT && t.text[0] == c; }

// A word that marks what only a developer sees.
bool isDebugWord(const Token &t)
{
    if (t.kind != Token::WORD)
        return false;
    const std::string &w = t.text;
    return w.starts_with("debug") || w == "print" || w.starts_with("trace") || w.starts_with("dump") ||
           w.ends_with("Trace") || w.ends_with("Dump") || w == "SUITE_ASSERT";
}

bool hasDebugWord(const std::vector<Token> &t, size_t begin, size_t end)
{
    for (size_t i = begin; i < end; ++i)
        if (isDebugWord(t[i]))
            return true;
    return false;
}

// The index after the bracket that closes the one at `open`.
size_t closing(const std::vector<Token> &t, size_t open)
{
    const char o = t[open].text[0];
    const char c = o == '(' ? ')' : o == '{' ? '}' : ']';
    int depth = 0;
    for (size_t i = open; i < t.size(); ++i) {
        if (isPunct(t[i], o))
            ++depth;
        else if (isPunct(t[i], c) && --depth == 0)
            return i + 1;
    }
    return t.size();
}

// The index after the statement or block that starts at `i`.
size_t statementEnd(const std::vector<Token> &t, size_t i)
{
    if (i < t.size() && isPunct(t[i], '{'))
        return closing(t, i);
    for (; i < t.size(); ++i) {
        if (isPunct(t[i], '(') || isPunct(t[i], '[')) {
            i = closing(t, i) - 1;
        } else if (isPunct(t[i], '{')) {
            i = closing(t, i) - 1;
        } else if (isPunct(t[i], ';')) {
            return i + 1;
        }
    }
    return t.size();
}

struct Found
{
    int line;
    std::string text;
};

// Text written with << that goes elsewhere than to the console.
bool streamsToAFile(const std::vector<Token> &t, size_t begin, size_t end)
{
    bool streams = false, console = false;
    for (size_t i = begin; i < end; ++i) {
        if (isPunct(t[i], '<') && i + 1 < end && isPunct(t[i + 1], '<'))
            streams = true;
        if (t[i].kind == Token::WORD && (t[i].text == "cout" || t[i].text == "cerr"))
            console = true;
    }
    return streams && !console;
}

// Texts of the sources that are no messages, by file and beginning; a file
// alone stands for all its texts.
struct NotAMessage
{
    const char *file;
    const char *text;
    const char *why;
};
const NotAMessage NOT_MESSAGES[] = {
    {"tarvok/src/mapfile.cpp", "Symbols - Sorted by", "headings of the map file (docs/outputs.md)"},
    {"dorvane/src/coff2cod_list.cpp", "Address Value", "the listing's column header (docs/outputs.md)"},
    {"dorvane/src/coff2cod_list.cpp", "??? Illegal Opcode", "the listing's text for a word that is no instruction"},
    {"dorvane/src/cod_read.cpp", "", "the COD reader, which only the tests run"},
    {"dorvane/src/cod_dump.cpp", "", "the COD dump, for traces and tests"},
    {"common/coff_print.cpp", "", "the Coff dump, for traces"},
    {"common/diag.cpp", "VONTREL", "the banner of a tool outside the suite"},
    {"common/diag.cpp", "MARRISH", "the banner of a tool outside the suite"},
    {"common/diag.cpp", "OSTRANE", "the banner of a tool outside the suite"},
    {"common/diag.cpp", "Assertion failed: %s", "the format of the assertion line, which the page shows with its parts named"},
    {"tarvok/src/patch_core12.cpp", "RELOCT_", "a patcher's trace when it writes nothing"},
    {"tarvok/src/patch_core14.cpp", "RELOCT_", "a patcher's trace when it writes nothing"},
};

bool isNotAMessage(const std::string &file, const std::string &message)
{
    for (const NotAMessage &n : NOT_MESSAGES)
        if (file == n.file && message.starts_with(n.text))
            return true;
    return false;
}

// The string literals of the source that reach a user.
std::vector<Found> userTexts(const std::string &source)
{
    std::vector<Token> t = tokenize(source);
    std::vector<Found> found;
    size_t begin = 0; // the start of the current statement
    for (size_t i = 0; i < t.size();) {
        // if (debug condition) statement-or-block
        if (t[i].kind == Token::WORD && t[i].text == "if" && i + 1 < t.size() && isPunct(t[i + 1], '(')) {
            size_t cond = closing(t, i + 1);
            if (hasDebugWord(t, i + 1, cond)) {
                i = begin = statementEnd(t, cond);
                continue;
            }
        }
        // A debugging function's definition: name(...) [const] { body }
        if (isDebugWord(t[i]) && i + 1 < t.size() && isPunct(t[i + 1], '(')) {
            size_t after = closing(t, i + 1);
            while (after < t.size() && t[after].kind == Token::WORD &&
                   (t[after].text == "const" || t[after].text == "override" || t[after].text == "noexcept"))
                ++after;
            if (after < t.size() && isPunct(t[after], '{')) {
                i = begin = closing(t, after);
                continue;
            }
        }
        if (isPunct(t[i], ';') || isPunct(t[i], '{') || isPunct(t[i], '}')) {
            if (!hasDebugWord(t, begin, i) && !streamsToAFile(t, begin, i))
                for (size_t k = begin; k < i; ++k)
                    if (t[k].kind == Token::TEXT)
                        found.push_back({t[k].line, t[k].text});
            begin = i + 1;
        }
        ++i;
    }
    return found;
}

// Blanks, tabs and line ends read as one blank.
std::string collapse(const std::string &text)
{
    std::string out;
    for (char c : text) {
        bool blank = std::isspace(static_cast<unsigned char>(c));
        if (blank && (out.empty() || out.back() == ' '))
            continue;
        out += blank ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// A literal's words as the page must show them, or empty when it holds
// fewer than two words.
std::string messageWords(const std::string &literal)
{
    std::string text = collapse(literal);
    size_t first = text.find_first_not_of(" '\",;:.");
    if (first == std::string::npos)
        return "";
    text = text.substr(first);
    text.erase(text.find_last_not_of(" '\"") + 1);
    static const std::regex TWO_WORDS("[A-Za-z]{2,}[^ ]* +[^ ]*[A-Za-z]{2,}");
    return std::regex_search(text, TWO_WORDS) ? text : "";
}

// Every message text of the sources under `roots` that the page lacks, as
// "file:line: text".
std::vector<std::string> missingFromPage(const fs::path &sourceDir, const std::vector<std::string> &roots,
                                         const std::string &page)
{
    const std::string words = collapse(page);
    std::vector<std::string> missing;
    for (const std::string &root : roots) {
        std::vector<fs::path> files;
        for (const auto &f : fs::directory_iterator(sourceDir / root))
            if (f.path().extension() == ".cpp" || f.path().extension() == ".h")
                files.push_back(f.path());
        std::sort(files.begin(), files.end());
        for (const fs::path &file : files) {
            for (const Found &f : userTexts(readTextFile(file))) {
                const std::string name = root + "/" + file.filename().string();
                std::string message = messageWords(f.text);
                if (!message.empty() && !isNotAMessage(name, message) && words.find(message) == std::string::npos)
                    missing.push_back(name + ":" + std::to_string(f.line) + ": " + message);
            }
        }
    }
    return missing;
}

} // namespace

TEST(MessagesPage, ListsEveryMessageOfThePrograms)
{
    const fs::path docs = DOCS_DIR;
    const std::string page = readTextFile(docs / "messages.md");
    ASSERT_FALSE(page.empty()) << "cannot read " << (docs / "messages.md");
    std::vector<std::string> missing =
        missingFromPage(docs.parent_path(), {"common", "tarvok/src", "skellan", "dorvane/src", "quessel"}, page);
    std::string list;
    for (const std::string &m : missing)
        list += "\n  " + m;
    EXPECT_TRUE(missing.empty()) << "docs/messages.md lacks these message texts of the code:" << list;
}

TEST(MessagesPage, NamesAMessageMissingFromThePage)
{
    // A message added to the code and missing from the page is named with
    // its place; traces, dumps and text written into files are no messages.
    TempDir dir;
    fs::create_directory(dir.file("prog"));
    dir.write("prog/a.cpp", "void f()\n{\n    report(SEV_ERROR, \"f()\", \"Could not frobnicate '\" + n + \"'.\", false);\n"
                            "    if (debugLevel(\"f\"))\n        std::cout << \"a trace line\";\n"
                            "    out << \"Section Info\";\n}\n"
                            "void Coff::print(std::ostream &o) const { o << \"a dump line\"; }\n");
    EXPECT_EQ(missingFromPage(dir.path(), {"prog"}, "| `Could not\n  frobnicate 'NAME'.` | why |"),
              std::vector<std::string>{});
    EXPECT_EQ(missingFromPage(dir.path(), {"prog"}, "nothing here"),
              std::vector<std::string>{"prog/a.cpp:3: Could not frobnicate"});
}
