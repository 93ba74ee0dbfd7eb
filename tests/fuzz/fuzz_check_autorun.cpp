// Tovinel fuzzing: tovinel-check's autorun.inf reader and program headers on any bytes: the
// commands split into a program and its arguments taken from the command, and the PE, NE and
// version-record walk never reads outside its bytes (ASan watches) nor loops on hostile offsets.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/autorun.h"
#include "formats/program.h"

namespace {

void fail(const char* what, const std::string& detail)
{
    fprintf(stderr, "%s: '%s'\n", what, detail.c_str());
    abort();
}

void check_command(const std::string& command)
{
    autorun_command split = autorun_split(command);
    if (!split.program.empty() && split.program[0] == '\\')
        fail("the program keeps a leading backslash", split.program);
    if (split.program.size() + split.arguments.size() > command.size())
        fail("the split holds more than the command", command);
    if (command.find(split.arguments) == std::string::npos)
        fail("the arguments are not the command's", command);
    std::string icon = autorun_icon_file(command);
    if (icon.size() > command.size())
        fail("the icon file is longer than the value", command);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    autorun_facts facts = autorun_read(bytes);
    for (const autorun_value* value : {&facts.open, &facts.shell_execute, &facts.icon, &facts.label}) {
        if (value->text.empty() != (value->line == 0))
            fail("a value without its line, or a line without its value", value->text);
        check_command(value->text);
    }
    check_command(bytes.substr(0, 300));

    program_facts program = program_facts_of(bytes);
    if (program.kind != program_kind::not_program && (size < 64 || bytes.compare(0, 2, "MZ") != 0))
        fail("a program without an MZ header", std::to_string(static_cast<int>(program.kind)));
    if (program_is_launcher(program) && program.kind != program_kind::windows32)
        fail("a launcher that is no 32-bit program", "");
    return 0;
}
