// Tovinel check, file formats and code pages: what kind of program a file is, from its first bytes:
// the facts that decide whether Windows can start it, whether it is the launcher, and whether it
// asks for elevation.
#pragma once

#include <string>

enum class program_kind {
    not_program,   // no MZ header: a document, an installer package, text
    dos,           // MZ without a Windows header: a DOS program
    windows16,     // NE: a 16-bit Windows program
    windows32,     // PE32 for x86
    windows64,     // PE32+ (x64 or ARM64): no 32-bit Windows runs it
    other_pe       // a PE for another machine, or one whose headers do not hold together
};

struct program_facts {
    program_kind kind = program_kind::not_program;
    bool dll = false;                 // the PE says it is a library, not a program
    std::string original_filename;    // from the version record, UTF-8
    std::string product_name;
    std::string file_description;
    std::string company_name;
    std::string internal_name;
    std::string execution_level;      // its manifest's requestedExecutionLevel: asInvoker, requireAdministrator, ...
    // Its Authenticode signature: the PKCS#7 SignedData of the first certificate of its certificate
    // table, "" when it carries none (or the table lies beyond the bytes read).
    std::string signature;
};

// Reads the facts from `bytes`, the start of a file (what lies past them is unknown: a resource
// there is not found). Never reads outside `bytes`, whatever the offsets inside say.
program_facts program_facts_of(const std::string& bytes);

// Tells whether the facts are those of the launcher: a 32-bit program whose version record names
// the original file tovinel.exe, or the internal name or product Tovinel (a publisher's branding,
// tovinel-brand, changes the product and keeps the other two).
bool program_is_launcher(const program_facts& facts);

// The installer word in `name` (setup, install, update, patch, upgrade; letter case ignored) for
// which Windows, on a 32-bit program without a manifest that says otherwise, asks for elevation;
// "" when there is none.
std::string installer_word(const std::string& name);

// Where Windows' installer detection finds an installer word in a program: the version record's
// field that holds it ("ProductName", ...), or "file name" for `name`; *word gets the word. ""
// when there is none.
std::string installer_word_field(const program_facts& facts, const std::string& name, std::string* word);

// Tells whether Windows Vista and later ask for elevation to start a program of these facts
// named `name`: its manifest asks for it, or it has none and its name or version texts hold an
// installer word.
bool program_needs_elevation(const program_facts& facts, const std::string& name);
