// The rows of the option table, in the order the interface lists them: the top
// records, the command-line options, then each option's sub-options, then the
// internal settings.
#include "driver/OptionTable.h"

// Long help texts of the extended option list (--help=options): plain lines of
// at most 78 characters, paragraphs separated by an empty line.
namespace {

const char kHelpHELP[] =
    "Without an item, print the usage line and the summary of options. With the\n"
    "item options (--help=options), print this list with a description of every\n"
    "option. Nothing is assembled.\n";

const char kHelpPP_DEFINE[] =
    "Define the preprocessor macro <symbol> before the input file is read. With\n"
    "=<value> the macro is given that value. The option may be repeated.\n";

const char kHelpPP_ONLY[] =
    "Run only the preprocessor and write the resulting source lines to standard\n"
    "output, or to the file named with --output. No object file and no list file\n"
    "are written.\n";

const char kHelpPP_INCLUDE[] =
    "Include the given file before the first line of the input file, for\n"
    "example a file with register definitions. Several files are included in the\n"
    "order given.\n";

const char kHelpPP_INCPATH[] =
    "Add a directory to the search path of include files. The directories given\n"
    "with this option are searched first, in the order given; then the\n"
    "directories listed in the environment variable <unknown> (separated by ';'\n"
    "or ','); last the directory ../include relative to the directory of the\n"
    "assembler program.\n";

const char kHelpLISTFORMAT[] =
    "Choose which kinds of lines the list file shows. A lowercase letter enables\n"
    "a kind, an uppercase letter disables it; the long names take + to enable\n"
    "and - to disable, for example -Ld,+symbol,-macro. -L0 disables all kinds,\n"
    "-L1 enables all of them.\n";

const char kHelpOPTIM[] =
    "Enable (lowercase) or disable (uppercase) optimizations: g optimizes generic\n"
    "instructions, s chooses the smallest size for each instruction.\n";

const char kHelpVERSION[] =
    "Print the version header on standard error and stop without assembling. The\n"
    "exit status is 1.\n";

const char kHelpCASE[] =
    "Treat identifiers without regard to case: names that differ only in the\n"
    "case of their letters denote the same symbol.\n";

const char kHelpOPTFILE[] =
    "Read further command-line words from the file, as if they stood on the\n"
    "command line in place of this option. Words are separated by white space; a\n"
    "part of a word in double or single quotes keeps its blanks, and a backslash\n"
    "at the end of a line joins the word with the next line. The file name -\n"
    "reads standard input. Several files may be given separated by commas, and an\n"
    "option file may itself use this option.\n";

const char kHelpSRCDEBUG[] =
    "Choose the debug information in the object file: a generates line\n"
    "information for the assembly source; h passes on the high-level language\n"
    "debug information that the source contains; s (smart) behaves like h when\n"
    "the source contains such information and like a otherwise; l adds debug\n"
    "information for local symbols. Uppercase letters disable. The default is h.\n";

const char kHelpSRCDEBUGD[] =
    "Without flags, -g selects smart debug information (-gs).\n";

const char kHelpSCOPE[] =
    "Set the scope of symbols that no directive declares: g makes them global,\n"
    "l (the default) local.\n";

const char kHelpEH_KEEP[] =
    "Keep the object file when errors were found or the run was interrupted.\n"
    "Without this option such an object file is removed.\n";

const char kHelpGENLISTFILE[] =
    "Write a list file with the source lines, the generated code and the\n"
    "diagnostics. Without a file name a name with the extension .lst is chosen.\n"
    "--preprocess and --check write no list file.\n";

const char kHelpPP_TYPE[] =
    "Select the preprocessor: t (the default) is the assembler's own macro\n"
    "preprocessor, n passes the source on without preprocessing.\n";

const char kHelpOUTPUT[] =
    "Name the object file. By default it is the name of the input file without\n"
    "its directory, with the extension .o, in the current directory. With\n"
    "--preprocess it names the file that receives the preprocessed source.\n";

const char kHelpSECTIONINFO[] =
    "Print a summary of the sections: c on the console (standard output), l in\n"
    "the list file.\n";

const char kHelpSECTIONINFO_A[] =
    "Without flags, -t prints the summary in both places (--section-info=cl).\n";

const char kHelpEH_SUPPRESS[] =
    "Without a number, suppress all warnings. With numbers, separated by commas,\n"
    "suppress only those warnings.\n";

const char kHelpCHECK[] =
    "Check the source for errors only: no object file and no list file are\n"
    "written.\n";

const char kHelpCONCATENATE_SECTIONS[] =
    "Give every section the attribute concatenate instead of the default\n"
    "separate.\n";

const char kHelpCORE[] =
    "Select the core architecture: tc1.3 (the default), tc1.3.1, tc1.6 or\n"
    "tc1.6.x. The instructions of a core are accepted only when it is selected.\n";

const char kHelpDEPFILE[] =
    "Also write the dependencies of the object file for make: the input file and\n"
    "every file it includes. Without a file name the name is that of the object\n"
    "file without its directory, with the extension .d.\n";

const char kHelpDIAG[] =
    "Print the descriptions of diagnostics and stop without assembling. Name\n"
    "messages by number (244) or code (W244), ranges with a dash (100-199), or\n"
    "all of them with all; separate several with commas. A leading html: or rtf:\n"
    "selects the output format; text: or no prefix gives plain text.\n";

const char kHelpDWARF_VERSION[] =
    "Set the version of the DWARF debug information: 2 or 3 (the default).\n";

const char kHelpEMIT_LOCALS[] =
    "Write local symbols to the object file: e the local equates, s the other\n"
    "local symbols such as labels.\n";

const char kHelpEMIT_LOCALS_A[] =
    "Without flags, --emit-locals writes the local non-EQU symbols\n"
    "(--emit-locals=s).\n";

const char kHelpEH_FILE[] =
    "Write all diagnostics to a file instead of standard error. Without a file\n"
    "name the name is that of the object file with the extension .ers.\n";

const char kHelpEH_ERRLIM[] =
    "Stop after the given number of errors; the default is 42, and 0 means no\n"
    "limit.\n";

const char kHelpINSTR_METRICS[] =
    "Collect metrics of the instructions and addressing modes used in the\n"
    "source.\n";

const char kHelpMAKETARGET[] =
    "Name the target of the dependency lines written for --dep-file. By default\n"
    "the target is the object file.\n";

const char kHelpMERGE_INSTR_METRICS[] =
    "Do not assemble: read the input files as instruction metrics files and\n"
    "combine them into one report.\n";

const char kHelpMMU[] = "Accept the MMU instructions.\n";

const char kHelpNOFPU[] = "Reject the FPU instructions, which are accepted by default.\n";

const char kHelpPAGE_LENGTH[] =
    "Set the number of lines per page of the list file; the default is 72. The\n"
    "value must be 0 or at least 10.\n";

const char kHelpPAGE_WIDTH[] =
    "Set the number of columns of the list file; the default is 132. The value\n"
    "must be at least 40.\n";

const char kHelpBUGS[] =
    "Warn about instructions that are affected by the given CPU functional\n"
    "defects. Name single defects (cpu-tc048) or all known defects of a device\n"
    "(all-tc1796), separated by commas. Every selected defect also defines a\n"
    "preprocessor macro, for example __CPU_TC048__.\n";

const char kHelpUSERMODE[] =
    "Select the execution mode of the code: kernel (the default), user-0 or\n"
    "user-1.\n";

const char kHelpACCESS_IE[] =
    "Warn about instructions that access the Interrupt Enable bit.\n";

const char kHelpEH_ERRWARN[] =
    "Without a number, report all warnings as errors. With numbers, separated by\n"
    "commas, report only those warnings as errors.\n";

}  // namespace

using namespace opt;

#define ROW(id, parent, shortForm, longForm, argText, type, flags, summary, help) \
  {id, parent, #id, shortForm, longForm, argText, type, flags, summary, help}

const OptionRecord kOptionRecords[] = {
    ROW(OPT, 0, "", "", "", otSTRING, "MUL", "", ""),
    ROW(ERR, 0, "", "", "", otSTRING, "MUL", "", ""),
    ROW(ARG, 0, "", "", "", otSTRING, "MUL", "", ""),
    ROW(INT, 0, "", "", "", otSTRING, "MUL", "", ""),
    ROW(ERROR, ERR, "-", "--", "", otSTRING, "NOCC,MUL,OPT", "", ""),

    ROW(HELP, OPT, "-?", "--help", "<item>", otSTRING, "NOCC,MUL(,),OPT",
        "show option summary, or extended info", kHelpHELP),
    ROW(CPU_TRICORE, OPT, "-C", "--cpu", "<cpu>", otSTRING, "NOCC,HID", "", ""),
    ROW(PP_DEFINE, OPT, "-D", "--define", "<symbol>[=<value>]", otSTRING, "NOCC,MUL",
        "define preprocessor macro, optionally assign the given value", kHelpPP_DEFINE),
    ROW(PP_ONLY, OPT, "-E", "--preprocess", "", otBOOL, "NOCC",
        "run the assembler as a preprocessor only", kHelpPP_ONLY),
    ROW(PP_INCLUDE, OPT, "-H", "--include-file", "<file>", otSTRING, "MUL",
        "include the given file at the start of the input file", kHelpPP_INCLUDE),
    ROW(PP_INCPATH, OPT, "-I", "--include-directory", "<path>", otSTRING, "NOCC,MUL",
        "additional search path for include files", kHelpPP_INCPATH),
    ROW(LISTFORMAT, OPT, "-L", "--list-format", "<flag>", otFLAGS,
        "MUL(,),DEF(dEGiMnPqrVwXyZ)", "list file formatting options", kHelpLISTFORMAT),
    ROW(NESTED_SECTIONS, OPT, "-N", "--nested-sections", "", otBOOL, "DEF(F),HID", "", ""),
    ROW(OPTIM, OPT, "-O", "--optimize", "<flag>", otFLAGS, "MUL(,),DEF(gs)",
        "assembler optimizations", kHelpOPTIM),
    ROW(PP_UNDEF, OPT, "-U", "--undefine", "<symbol>", otSTRING, "NOCC,HID,MUL", "", ""),
    ROW(VERSION, OPT, "-V", "--version", "", otBOOL, "NOCC", "display version header only",
        kHelpVERSION),
    ROW(ABSOLUTE, OPT, "-a", "--absolute-mode", "", otBOOL, "HID", "", ""),
    ROW(CASE, OPT, "-c", "--case-insensitive", "", otBOOL, "", "case insensitive identifiers",
        kHelpCASE),
    ROW(OPTFILE, OPT, "-f", "--option-file", "<file>", otOPTFILE, "NOCC,MUL(,)",
        "read command line information from file", kHelpOPTFILE),
    ROW(SRCDEBUG, OPT, "-g", "--debug-info", "<flag>", otFLAGS, "NOCC,OPT,MUL(,),DEF(AhLS)",
        "store debug information in the object file", kHelpSRCDEBUG),
    ROW(SRCDEBUGD, OPT, "-g", "--debug-info", "-gs", otALIAS, "NOCC", "", kHelpSRCDEBUGD),
    ROW(SCOPE, OPT, "-i", "--symbol-scope", "<scope>", otSTRING, "DEF(l)",
        "set default symbol scope", kHelpSCOPE),
    ROW(EH_KEEP, OPT, "-k", "--keep-output-files", "", otBOOL, "NOCC",
        "keep output file after errors", kHelpEH_KEEP),
    ROW(GENLISTFILE, OPT, "-l", "--list-file", "<file>", otSTRING, "NOCC,OPT",
        "generate list file", kHelpGENLISTFILE),
    ROW(PP_TYPE, OPT, "-m", "--preprocessor-type", "<type>", otSTRING, "DEF(t)",
        "select the type of preprocessor", kHelpPP_TYPE),
    ROW(OUTPUT, OPT, "-o", "--output", "<file>", otSTRING, "NOCC", "name the object file",
        kHelpOUTPUT),
    ROW(SECTIONINFO, OPT, "-t", "--section-info", "<flag>", otFLAGS, "MUL(,),OPT,DEF(CL)",
        "display section information", kHelpSECTIONINFO),
    ROW(SECTIONINFO_A, OPT, "-t", "--section-info", "--section-info=cl", otALIAS, "", "",
        kHelpSECTIONINFO_A),
    ROW(VERBOSE, OPT, "-v", "--verbose", "", otBOOL, "NOCC,HID", "", ""),
    ROW(EH_SUPPRESS, OPT, "-w", "--no-warnings", "<nr>", otINTEGER, "NOCC,OPT,MUL(,)",
        "suppress all warnings, or a specific one", kHelpEH_SUPPRESS),
    ROW(CPU, OPT, "", "", "<cpu>", otSTRING, "NOCC,HID", "", ""),
    ROW(CHECK, OPT, "", "--check", "", otBOOL, "",
        "check the source, but don't generate code", kHelpCHECK),
    ROW(CONCATENATE_SECTIONS, OPT, "", "--concatenate-sections", "", otBOOL, "",
        "set section attribute concatenate (default=separate)", kHelpCONCATENATE_SECTIONS),
    ROW(CORE, OPT, "", "--core", "<value>", otSTRING, "DEF(tc1.3)",
        "the core architecture the code is intended for (default is TC1.3)", kHelpCORE),
    ROW(DEPFILE, OPT, "", "--dep-file", "<file>", otSTRING, "OPT,NOCC",
        "also generate dependencies for make", kHelpDEPFILE),
    ROW(DIAG, OPT, "", "--diag", "[<fmt>:]{all|<nr>,...}", otSTRING, "NOCC",
        "display a description of the given diagnostic using the specified format: html, "
        "rtf or text (default)",
        kHelpDIAG),
    ROW(DWARF_VERSION, OPT, "", "--dwarf-version", "<version>", otINTEGER, "DEF(3)",
        "set the version of the generated DWARF debug", kHelpDWARF_VERSION),
    ROW(EMIT_LOCALS, OPT, "", "--emit-locals", "<flag>", otFLAGS, "MUL(,),OPT,DEF(ES)",
        "emit local symbols to object file", kHelpEMIT_LOCALS),
    ROW(EMIT_LOCALS_A, OPT, "", "--emit-locals", "--emit-locals=s", otALIAS, "", "",
        kHelpEMIT_LOCALS_A),
    ROW(EH_FILE, OPT, "", "--error-file", "<file>", otSTRING, "NOCC,OPT",
        "redirect all diagnostic messages", kHelpEH_FILE),
    ROW(EH_ERRLIM, OPT, "", "--error-limit", "<nr>", otINTEGER, "NOCC",
        "the maximum number of emitted errors", kHelpEH_ERRLIM),
    ROW(FAST, OPT, "", "--fast", "<flag>", otFLAGS, "HID,DEF(C)", "", ""),
    ROW(FPU, OPT, "", "--fpu-present", "", otBOOL, "HID", "", ""),
    ROW(INSTR_METRICS, OPT, "", "--instruction-metrics", "<file>", otSTRING, "NOCC,OPT",
        "generate instruction metrics information", kHelpINSTR_METRICS),
    ROW(MAKETARGET, OPT, "", "--make-target", "<name>", otSTRING, "NOCC",
        "specify target name for --dep-file output", kHelpMAKETARGET),
    ROW(MERGE_INSTR_METRICS, OPT, "", "--merge-instruction-metrics", "<file>", otSTRING,
        "NOCC,OPT", "combine multiple metrics files into a single file",
        kHelpMERGE_INSTR_METRICS),
    ROW(METRICS, OPT, "", "--metrics", "", otBOOL, "HID", "", ""),
    ROW(MMU, OPT, "", "--mmu-present", "", otBOOL, "", "allow use of MMU instructions",
        kHelpMMU),
    ROW(NOFPU, OPT, "", "--no-fpu", "", otBOOL, "", "disable FPU instructions", kHelpNOFPU),
    ROW(NOZELKOVASFR, OPT, "", "--no-zelkova-sfr", "", otBOOL, "HID", "", ""),
    ROW(PAGE_LENGTH, OPT, "", "--page-length", "<length>", otINTEGER, "NOCC",
        "set page length of the list file", kHelpPAGE_LENGTH),
    ROW(PAGE_WIDTH, OPT, "", "--page-width", "<width>", otINTEGER, "NOCC",
        "set page width of the list file", kHelpPAGE_WIDTH),
    ROW(REQUIRE_END, OPT, "", "--require-end", "", otBOOL, "HID", "", ""),
    ROW(BUGS, OPT, "", "--silicon-bug", "<arg>", otSTRING, "MUL(,)",
        "Enable silicon bug workaround", kHelpBUGS),
    ROW(ZELKOVASFR, OPT, "", "--zelkova-sfr", "", otBOOL, "HID", "", ""),
    ROW(TYPECHECK, OPT, "", "--type-checking", "", otBOOL, "HID", "", ""),
    ROW(USERMODE, OPT, "", "--user-mode", "<value>", otSTRING, "DEF(kernel)",
        "the user mode the processor will run in (default is kernel mode)", kHelpUSERMODE),
    ROW(ACCESS_IE, OPT, "", "--warn-access-interrupt-enable", "", otBOOL, "",
        "Warn if there is access of the Interrupt Enable bit (default=false)", kHelpACCESS_IE),
    ROW(EH_ERRWARN, OPT, "", "--warnings-as-errors", "<nr>", otINTEGER, "NOCC,MUL(,),OPT",
        "treat all or specific warnings as errors", kHelpEH_ERRWARN),

    ROW(H_OPT, HELP, "", "options", "", otBOOL, "NOCC", "show extended option descriptions",
        ""),

    ROW(LF_0, LISTFORMAT, "0", "", "DEGILMNPQRSVWXYZ", otALIAS, "", "", ""),
    ROW(LF_1, LISTFORMAT, "1", "", "degilmnpqrsvwxyz", otALIAS, "", "", ""),
    ROW(LF_C, LISTFORMAT, "c", "control", "", otBOOL, "HID", "", ""),
    ROW(LF_D, LISTFORMAT, "d", "section", "", otBOOL, "DEF(T)", "section directives", ""),
    ROW(LF_E, LISTFORMAT, "e", "symbol", "", otBOOL, "DEF(F)", "symbol definition directives",
        ""),
    ROW(LF_G, LISTFORMAT, "g", "generic-expansion", "", otBOOL, "DEF(F)",
        "generic instruction expansion", ""),
    ROW(LF_I, LISTFORMAT, "i", "generic", "", otBOOL, "DEF(T)", "generic instructions", ""),
    ROW(LF_L, LISTFORMAT, "l", "line", "", otBOOL, "HID", "", ""),
    ROW(LF_M, LISTFORMAT, "m", "macro", "", otBOOL, "DEF(F)", "macro definitions", ""),
    ROW(LF_N, LISTFORMAT, "n", "empty-line", "", otBOOL, "DEF(T)",
        "empty source lines and comment lines", ""),
    ROW(LF_P, LISTFORMAT, "p", "conditional", "", otBOOL, "DEF(F)", "conditional assembly",
        ""),
    ROW(LF_Q, LISTFORMAT, "q", "equate", "", otBOOL, "DEF(T)",
        "assembler equate and set directives", ""),
    ROW(LF_R, LISTFORMAT, "r", "relocations", "", otBOOL, "DEF(T)",
        "relocation characters ('r')", ""),
    ROW(LF_S, LISTFORMAT, "s", "hll", "", otBOOL, "DEF(T),HID", "", ""),
    ROW(LF_V, LISTFORMAT, "v", "equate-values", "", otBOOL, "DEF(F)",
        "assembler equate and set values", ""),
    ROW(LF_W, LISTFORMAT, "w", "wrap-lines", "", otBOOL, "DEF(T)", "wrapped source lines", ""),
    ROW(LF_X, LISTFORMAT, "x", "macro-expansion", "", otBOOL, "DEF(F)", "macro expansions",
        ""),
    ROW(LF_Y, LISTFORMAT, "y", "cycle-count", "", otBOOL, "DEF(T)", "cycle counts", ""),
    ROW(LF_Z, LISTFORMAT, "z", "define-expansion", "", otBOOL, "DEF(F)", "define expansions",
        ""),

    ROW(O_G, OPTIM, "g", "generics", "", otBOOL, "DEF(T)", "generic instructions", ""),
    ROW(O_J, OPTIM, "j", "jumpchains", "", otBOOL, "DEF(F),HID", "", ""),
    ROW(O_S, OPTIM, "s", "instr-size", "", otBOOL, "DEF(T)", "instruction size", ""),

    ROW(SD_A, SRCDEBUG, "a", "asm", "", otBOOL, "DEF(F)", "assembly source line information",
        ""),
    ROW(SD_H, SRCDEBUG, "h", "hll", "", otBOOL, "DEF(T)", "pass HLL debug information", ""),
    ROW(SD_L, SRCDEBUG, "l", "local", "", otBOOL, "DEF(F)", "local symbol debug information",
        ""),
    ROW(SD_S, SRCDEBUG, "s", "smart", "", otBOOL, "DEF(F)", "smart debug information", ""),

    ROW(S_GLOBAL, SCOPE, "g", "global", "", otBOOL, "", "global by default", ""),
    ROW(S_LOCAL, SCOPE, "l", "local", "", otBOOL, "", "local by default", ""),

    ROW(PT_C, PP_TYPE, "c", "cpp", "", otBOOL, "HID", "", ""),
    ROW(PT_NONE, PP_TYPE, "n", "none", "", otBOOL, "", "no preprocessor", ""),
    ROW(PT_ZELKOVA, PP_TYPE, "t", "zelkova", "", otBOOL, "", "ZELKOVA preprocessor", ""),

    ROW(SI_C, SECTIONINFO, "c", "console", "", otBOOL, "DEF(F)", "display on the console", ""),
    ROW(SI_L, SECTIONINFO, "l", "list", "", otBOOL, "DEF(F)", "write to the list file", ""),

    ROW(TC13, CORE, "", "tc1.3", "", otBOOL, "", "TriCore1.3   architecture", ""),
    ROW(TC131, CORE, "", "tc1.3.1", "", otBOOL, "",
        "TriCore1.3.1 architecture, TriCore1.3.1 instructions are allowed.", ""),
    ROW(TC16, CORE, "", "tc1.6", "", otBOOL, "",
        "TriCore1.6   architecture, TriCore1.6 instructions are allowed.", ""),
    ROW(TC16X, CORE, "", "tc1.6.x", "", otBOOL, "",
        "TriCore1.6.X architecture, TriCore1.6.X instructions are allowed.", ""),

    ROW(EL_EQUS, EMIT_LOCALS, "e", "equs", "", otBOOL, "DEF(F)", "emit local EQU symbols", ""),
    ROW(EL_SYMBOLS, EMIT_LOCALS, "s", "symbols", "", otBOOL, "DEF(F)",
        "emit local non-EQU symbols (labels)", ""),

    ROW(FF_C, FAST, "c", "case-sensitive", "", otBOOL, "DEF(F)", "", ""),

    ROW(TC1130_DEFECTS, BUGS, "", "all-tc1130",
        "cpu-tc013,cpu-tc048,cpu-tc060,cpu-tc065,cpu-tc068,cpu-tc069,cpu-tc070,cpu-tc071,"
        "cpu-tc072,cpu-tc074,cpu-tc081,cpu-tc082,cpu-tc083,cpu-tc094,cpu-tc095,cpu-tc096,"
        "cpu-tc104,cpu-tc116",
        otALIAS, "", "", ""),
    ROW(TC1164_DEFECTS, BUGS, "", "all-tc1164", "all-tc1766", otALIAS, "", "", ""),
    ROW(TC1166_DEFECTS, BUGS, "", "all-tc1166", "all-tc1766", otALIAS, "", "", ""),
    ROW(TC11IB_DEFECTS, BUGS, "", "all-tc11ib",
        "cpu-tc013,cpu-tc048,cpu-tc051,cpu-tc060,cpu-tc065,cpu-tc068,cpu-tc069,cpu-tc070,"
        "cpu-tc071,cpu-tc072,cpu-tc074,cpu-tc081,cpu-tc082,cpu-tc083,cpu-tc094,cpu-tc095,"
        "cpu-tc096,dmu-tc001,pmu-tc004,pmi-tc003",
        otALIAS, "", "", ""),
    ROW(TC113_DEFECTS, BUGS, "", "all-tc13",
        "pmu1,pmu3,cpu13,cpu15,cpu16,dmu1,lfi2,lfi3,cpu-tc051,cpu-tc060", otALIAS, "HID", "",
        ""),
    ROW(TC1131_DEFECTS, BUGS, "", "all-tc131", "cpu-tc105,cpu-tc106,cpu-tc108,cpu-tc109",
        otALIAS, "", "", ""),
    ROW(TC1736_DEFECTS, BUGS, "", "all-tc1736", "all-tc131", otALIAS, "", "", ""),
    ROW(TC1762_DEFECTS, BUGS, "", "all-tc1762", "all-tc1766", otALIAS, "", "", ""),
    ROW(TC1764_DEFECTS, BUGS, "", "all-tc1764", "all-tc1766", otALIAS, "", "", ""),
    ROW(TC1766_DEFECTS, BUGS, "", "all-tc1766",
        "cpu-tc013,cpu-tc048,cpu-tc060,cpu-tc065,cpu-tc068,cpu-tc069,cpu-tc070,cpu-tc071,"
        "cpu-tc072,cpu-tc074,cpu-tc081,cpu-tc082,cpu-tc083,cpu-tc094,cpu-tc095,cpu-tc096,"
        "cpu-tc104,cpu-tc105,cpu-tc108,cpu-tc109",
        otALIAS, "", "", ""),
    ROW(TC1767_DEFECTS, BUGS, "", "all-tc1767", "all-tc131", otALIAS, "", "", ""),
    ROW(TC1792_DEFECTS, BUGS, "", "all-tc1792", "all-tc1796", otALIAS, "", "", ""),
    ROW(TC1796_DEFECTS, BUGS, "", "all-tc1796",
        "cpu-tc013,cpu-tc048,cpu-tc060,cpu-tc065,cpu-tc068,cpu-tc069,cpu-tc070,cpu-tc071,"
        "cpu-tc072,cpu-tc074,cpu-tc081,cpu-tc082,cpu-tc083,cpu-tc094,cpu-tc095,cpu-tc096,"
        "cpu-tc104,cpu-tc105,cpu-tc108,cpu-tc109,cpu-tc116",
        otALIAS, "", "", ""),
    ROW(TC1797_DEFECTS, BUGS, "", "all-tc1797", "all-tc131", otALIAS, "", "", ""),
    ROW(TC013, BUGS, "", "cpu-tc013", "", otBOOL, "", "check for CPU_TC.013", ""),
    ROW(TC048, BUGS, "", "cpu-tc048", "", otBOOL, "", "check for CPU_TC.048", ""),
    ROW(TC051, BUGS, "", "cpu-tc051", "", otBOOL, "", "workaround for CPU_TC.051", ""),
    ROW(TC060, BUGS, "", "cpu-tc060", "", otBOOL, "", "check for CPU_TC.060", ""),
    ROW(TC065, BUGS, "", "cpu-tc065", "", otBOOL, "", "check for CPU_TC.065", ""),
    ROW(TC068, BUGS, "", "cpu-tc068", "", otBOOL, "", "check for CPU_TC.068", ""),
    ROW(TC069, BUGS, "", "cpu-tc069", "", otBOOL, "", "check for CPU_TC.069", ""),
    ROW(TC070, BUGS, "", "cpu-tc070", "", otBOOL, "", "check for CPU_TC.070", ""),
    ROW(TC071, BUGS, "", "cpu-tc071", "", otBOOL, "", "check for CPU_TC.071", ""),
    ROW(TC072, BUGS, "", "cpu-tc072", "", otBOOL, "", "check for CPU_TC.072", ""),
    ROW(TC074, BUGS, "", "cpu-tc074", "", otBOOL, "", "workaround for CPU_TC.074", ""),
    ROW(TC081, BUGS, "", "cpu-tc081", "", otBOOL, "", "check for CPU_TC.081", ""),
    ROW(TC082, BUGS, "", "cpu-tc082", "", otBOOL, "", "check for CPU_TC.082", ""),
    ROW(TC083, BUGS, "", "cpu-tc083", "", otBOOL, "", "check for CPU_TC.083", ""),
    ROW(TC094, BUGS, "", "cpu-tc094", "", otBOOL, "", "check for CPU_TC.094", ""),
    ROW(TC095, BUGS, "", "cpu-tc095", "", otBOOL, "", "check for CPU_TC.095", ""),
    ROW(TC096, BUGS, "", "cpu-tc096", "", otBOOL, "", "check for CPU_TC.096", ""),
    ROW(TC104, BUGS, "", "cpu-tc104", "", otBOOL, "", "check for CPU_TC.104", ""),
    ROW(TC105, BUGS, "", "cpu-tc105", "", otBOOL, "", "check for CPU_TC.105", ""),
    ROW(TC106, BUGS, "", "cpu-tc106", "", otBOOL, "", "check for CPU_TC.106", ""),
    ROW(TC108, BUGS, "", "cpu-tc108", "", otBOOL, "", "check for CPU_TC.108", ""),
    ROW(TC109, BUGS, "", "cpu-tc109", "", otBOOL, "", "check for CPU_TC.109", ""),
    ROW(TC116, BUGS, "", "cpu-tc116", "", otBOOL, "", "check for CPU_TC.116", ""),
    ROW(CPU13, BUGS, "", "cpu13", "", otBOOL, "HID", "", ""),
    ROW(CPU15, BUGS, "", "cpu15", "", otBOOL, "HID", "", ""),
    ROW(CPU16, BUGS, "", "cpu16", "cpu-tc048", otALIAS, "HID", "", ""),
    ROW(DMU1, BUGS, "", "dmu-tc001", "", otBOOL, "", "check for DMU_TC.001", ""),
    ROW(DUMMY10, BUGS, "", "dmu1", "dmu-tc001", otALIAS, "HID", "", ""),
    ROW(LFI2, BUGS, "", "lfi2", "", otBOOL, "HID", "", ""),
    ROW(LFI3, BUGS, "", "lfi3", "", otBOOL, "HID", "", ""),
    ROW(PMI3, BUGS, "", "pmi-tc003", "", otBOOL, "", "workaround for PMI_TC.003", ""),
    ROW(PMU4, BUGS, "", "pmu-tc004", "", otBOOL, "", "workaround for PMU_TC.004", ""),
    ROW(DUMMY08, BUGS, "", "pmu1", "pmu-tc004", otALIAS, "HID", "", ""),
    ROW(DUMMY09, BUGS, "", "pmu3", "pmi-tc003", otALIAS, "HID", "", ""),

    ROW(UM_KERNEL, USERMODE, "", "kernel", "", otBOOL, "", "kernel supervisor mode", ""),
    ROW(UM_USER0, USERMODE, "", "user-0", "", otBOOL, "", "user-0 unprivileged mode", ""),
    ROW(UM_USER1, USERMODE, "", "user-1", "", otBOOL, "", "user-1 privileged mode", ""),

    ROW(DB_CMD, INT, "", "", "", otINTEGER, "DEF(0)", "command line handling", ""),
    ROW(DB_DWARF, INT, "", "", "", otINTEGER, "DEF(0)", "dwarf debug generation", ""),
    ROW(DB_ERR, INT, "", "", "", otINTEGER, "DEF(0)", "error handling", ""),
    ROW(DB_EXPR, INT, "", "", "", otINTEGER, "DEF(0)", "expression handling", ""),
    ROW(DB_FLOW, INT, "", "", "", otINTEGER, "DEF(0)", "flow handling", ""),
    ROW(DB_INIT, INT, "", "", "", otINTEGER, "DEF(0)", "initialization", ""),
    ROW(DB_IP, INT, "", "", "", otINTEGER, "DEF(0)", "instruction parser", ""),
    ROW(DB_LEX, INT, "", "", "", otINTEGER, "DEF(0)", "lexical scanner", ""),
    ROW(DB_LIST, INT, "", "", "", otINTEGER, "DEF(0)", "list file generation", ""),
    ROW(DB_LOG, INT, "", "", "", otINTEGER, "DEF(0)", "function enter/exit logging", ""),
    ROW(DB_MEM, INT, "", "", "", otINTEGER, "DEF(0)", "memory allocation", ""),
    ROW(DB_OBJECT, INT, "", "", "", otINTEGER, "DEF(0)", "object file generation", ""),
    ROW(DB_OPTIM, INT, "", "", "", otINTEGER, "DEF(0)", "optimizations", ""),
    ROW(DB_PARSE, INT, "", "", "", otINTEGER, "DEF(0)", "parser", ""),
    ROW(DB_PREPROC, INT, "", "", "", otINTEGER, "DEF(0)", "preprocessor", ""),
    ROW(DB_SYMB, INT, "", "", "", otINTEGER, "DEF(0)", "symbol table", ""),
    ROW(ERRWARN, INT, "", "", "", otSTRING, "", "errwarn", ""),
    ROW(NOWARN, INT, "", "", "", otSTRING, "", "nowarn", ""),
    ROW(NOWARNP, INT, "", "", "", otSTRING, "", "nowarnp", ""),
};

#undef ROW

const uint32_t kOptionRecordCount = sizeof(kOptionRecords) / sizeof(kOptionRecords[0]);

int64_t optionIntegerMinimum(uint32_t id) {
  switch (id) {
    case EH_ERRLIM:
    case EH_SUPPRESS:
    case EH_ERRWARN:
      return 0;
    default:
      return INT32_MIN;
  }
}
