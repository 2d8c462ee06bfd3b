// The dump of a COD model and the printers of its records. A short symbol
// prints as
//
//   Symbol:    NameLen=4,  Name=main,  SymbolType=46,  SymbolValue=16, <address>
//
// a directory as its title and one line per field ("   Index[0]=2", ...,
// "   Spare="), and Cod::dump lists every directory, then every directory's
// line infos, memory-map ranges and code blocks.

#include "cod.h"

#include "data.h"

#include <algorithm>

namespace {

// The names of the symbol type codes 0 to 151.
const char *const SYMBOL_TYPE_NAMES[] = {
    "a_reg", "x_reg", "c_short", "c_long", "c_ushort", "c_ulong", "c_pointer", "c_upointer", "table", "m_byte",
    "m_boolean", "m_index", "byte_array", "u_byte_array", "word_array", "u_word_array", "func_void_none",
    "func_void_byte", "func_void_twobyte", "func_void_long", "func_void_undef", "func_int_none", "func_int_byte",
    "func_int_twobyte", "func_int_long", "func_int_undef", "func_long_none", "func_long_byte", "func_long_twobyte",
    "func_long_long", "func_long_undef", "pfun_void_none", "pfun_void_byte", "pfun_void_twobyte", "pfun_void_long",
    "pfun_void_undef", "pfun_int_none", "pfun_int_byte", "pfun_int_twobyte", "pfun_int_long", "pfun_int_undef",
    "pfun_long_none", "pfun_long_byte", "pfun_long_twobyte", "pfun_long_long", "pfun_long_undef", "address",
    "constant", "bad_und", "br_und", "upper_und", "byte_und", "add_und", "m_keyword", "add_mi_und", "c_vector",
    "port_w", "port_r", "port_rw", "port_rmw", "endif", "exundef", "macro_s", "macro_a", "macro_c", "c_keyword",
    "c_void", "c_enum", "c_typedef1", "c_utypedef1", "c_typedef2", "c_utypedef2", "cp_typedef1", "cp_utypedef1",
    "cp_typedef2", "cp_utypedef2", "c_struct", "i_struct", "l_const", "s_short", "s_ushort", "s_long", "s_ulong",
    "sa_short", "sa_ushort", "sa_long", "sa_ulong", "sp_short", "sp_ushort", "sp_long", "sp_ulong", "FixedPointer",
    "PointerFunction", "cc_reg", "PtrF_void_none", "PtrF_void_byte", "PtrF_void_twobyte", "PtrF_void_long",
    "PtrF_void_undef", "PtrF_int_none", "PtrF_int_byte", "PtrF_int_twobyte", "PtrF_int_long", "PtrF_int_undef",
    "PtrF_long_none", "PtrF_long_byte", "PtrF_long_twobyte", "PtrF_long_long", "PtrF_long_undef", "PfAR_void_none",
    "PfAR_void_byte", "PfAR_void_twobyte", "PfAR_void_long", "PfAR_void_undef", "PfAR_int_none", "PfAR_int_byte",
    "PfAR_int_twobyte", "PfAR_int_long", "PfAR_int_undef", "PfAR_long_none", "PfAR_long_byte", "PfAR_long_twobyte",
    "PfAR_long_long", "PfAR_long_undef", "FWDlit", "PFunc", "mgoto", "mcgoto", "mcgoto2", "mcgoto3", "mcgoto4",
    "mcgoto74", "mcgoto17", "mccall17", "mcall", "mc_call", "res_word", "local", "unknown", "varlabel", "c_extern",
    "global", "segment", "Bankaddr", "bit_0", "bit_1", "bit_2", "bit_3", "bit_4", "bit_5", "bit_6", "bit_7",
};
const size_t SYMBOL_TYPE_COUNT = sizeof SYMBOL_TYPE_NAMES / sizeof SYMBOL_TYPE_NAMES[0];
static_assert(SYMBOL_TYPE_COUNT == 152);

// ", <name>" for a known type code, ", <bad type>" for any other.
std::string typeSuffix(unsigned type)
{
    return type < SYMBOL_TYPE_COUNT ? std::string(", <") + SYMBOL_TYPE_NAMES[type] + ">" : ", <bad type>";
}

// The bytes of a fixed field up to its first NUL.
std::string fieldText(const void *field, size_t capacity)
{
    const char *p = static_cast<const char *>(field);
    return std::string(p, std::find(p, p + capacity, '\0'));
}

} // namespace

void printRecord(std::ostream &out, const Directory &d)
{
    out << "Directory: \n";
    for (size_t k = 0; k < COD_INDEX_COUNT; ++k)
        out << "   Index[" << k << "]=" << d.Index[k] << "\n";
    out << "   SourceLen=" << unsigned(d.SourceLen) << "\n"
        << "   Source=" << d.source() << "\n"
        << "   DateLen=" << unsigned(d.DateLen) << "\n"
        << "   Date=" << d.date() << "\n"
        << "   Time=" << d.Time << "\n"
        << "   VersionLen=" << unsigned(d.VersionLen) << "\n"
        << "   Version=" << d.version() << "\n"
        << "   CompilerLen=" << unsigned(d.CompilerLen) << "\n"
        << "   Compiler=" << countedText(d.Compiler, sizeof d.Compiler, d.CompilerLen) << "\n"
        << "   NoticeLen=" << unsigned(d.NoticeLen) << "\n"
        << "   Notice=" << d.notice() << "\n"
        << "   SymTab=" << d.SymTab << "\n"
        << "   SymEnd=" << d.SymEnd << "\n"
        << "   NamTab=" << d.NamTab << "\n"
        << "   NamEnd=" << d.NamEnd << "\n"
        << "   LineTab=" << d.LineTab << "\n"
        << "   LineEnd=" << d.LineEnd << "\n"
        << "   AddrSize=" << unsigned(d.AddrSize) << "\n"
        << "   HighAddr=" << d.HighAddr << "\n"
        << "   NextDir=" << d.NextDir << "\n"
        << "   MemMapOfs=" << d.MemMapOfs << "\n"
        << "   MemMapEnd=" << d.MemMapEnd << "\n"
        << "   LocalVars=" << d.LocalVars << "\n"
        << "   LocalEnd=" << d.LocalEnd << "\n"
        << "   CodType=" << d.CodType << "\n"
        << "   ProcessorLen=" << unsigned(d.ProcessorLen) << "\n"
        << "   Processor=" << d.processor() << "\n"
        << "   LSymTab=" << d.LSymTab << "\n"
        << "   LSymEnd=" << d.LSymEnd << "\n"
        << "   MessTab=" << d.MessTab << "\n"
        << "   MessEnd=" << d.MessEnd << "\n"
        << "   Spare=" << fieldText(d.Spare, sizeof d.Spare) << "\n";
}

void printRecord(std::ostream &out, const Block &b)
{
    out << "Block: \n"
        << "--sizeof(Block)=" << COD_BLOCK_SIZE << "\n";
    Data(uint32_t(COD_BLOCK_SIZE), b.data()).print(out);
}

void printRecord(std::ostream &out, const Symbol &s)
{
    out << "Symbol:    NameLen=" << unsigned(s.NameLen) << ",  Name=" << s.name()
        << ",  SymbolType=" << unsigned(s.SymbolType) << ",  SymbolValue=" << s.SymbolValue
        << typeSuffix(s.SymbolType) << "\n";
}

void printRecord(std::ostream &out, const SourceName &s)
{
    out << "SourceName:    FileNameLen=" << unsigned(s.FileNameLen) << ",  FileName=" << s.name() << "\n";
}

void printRecord(std::ostream &out, const LineInfo &l)
{
    out << "LineInfo:    FileNum=" << unsigned(l.FileNum) << ",  Flags=" << unsigned(l.Flags) << ",  Line=" << l.Line
        << ",  CodeAddress=" << l.CodeAddress << "\n";
}

void printRecord(std::ostream &out, const MemoryMap &m)
{
    out << "MemoryMap:    Start=" << m.Start << ",  Last=" << m.Last << "\n";
}

void printRecord(std::ostream &out, const LongSymbol &s)
{
    out << "LongSymbol:    NameLen=" << unsigned(s.NameLen) << ",  Type=" << s.Type << ",  Value=" << s.Value
        << ",  Name= " << s.Name.substr(0, s.NameLen) << typeSuffix(s.Type) << "\n";
}

void printRecord(std::ostream &out, const LocalGroup &g)
{
    out << "LocalGroup----{   StartAddr=" << g.StartAddr << ",  EndAddr=" << g.EndAddr << "\n";
    for (const Symbol &s : g.Symbols)
        printRecord(out, s);
    out << "}----LocalGroup\n";
}

void printRecord(std::ostream &out, const DebugMsg &m)
{
    out << "DebugMsg:    Address=" << m.Address << ",  Type=" << unsigned(m.Type) << ",  MsgLen=" << unsigned(m.MsgLen)
        << ",  Msg= " << m.Msg.substr(0, m.MsgLen) << "\n";
}

void Cod::dump(std::ostream &out) const
{
    for (size_t i = 0; i < cDirectory.size(); ++i) {
        out << "Directory[" << i << "]=";
        printRecord(out, cDirectory[i]);
    }
    for (size_t i = 0; i < cLineInfo.size(); ++i) {
        out << "LineInfoTable[" << i << "]=\n";
        for (const LineInfo &l : cLineInfo[i])
            printRecord(out, l);
    }
    for (size_t i = 0; i < cMemoryMap.size(); ++i) {
        out << "MemoryMapList[" << i << "]=\n";
        for (const MemoryMap &m : cMemoryMap[i])
            printRecord(out, m);
    }
    for (size_t i = 0; i < cCodeBlock.size(); ++i) {
        out << "RawDataMap[" << i << "]=\n";
        for (const auto &[key, block] : cCodeBlock[i]) {
            out << "Code Index=" << key << "\n";
            printRecord(out, block);
        }
    }
}
