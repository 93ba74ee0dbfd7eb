// Tovinel check: the command-line tool's ties to a Linux system: bytes out, no Windows to read.
#include "cli/console.h"

void console_write(FILE* stream, const std::string& text)
{
    fwrite(text.data(), 1, text.size(), stream);
    fflush(stream);
}

bool console_reads_this_machine()
{
    return false;
}

unsigned console_this_machine_codepage()
{
    return 1252;
}

std::string console_medium_path(const std::string& typed)
{
    return typed;
}

