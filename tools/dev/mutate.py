#!/usr/bin/python3
# Tovinel: mutation testing for the C++ sources, run by hand (not part of CI or tools/test.sh).
# Makes one small change at a time, rebuilds the tests, and counts the changes that no test notices.
"""Mutation testing for Tovinel's C++ sources.

Each mutant is one small change to one source file: a flipped comparison, && for || and back, a
dropped `!`, an integer constant or an array index moved by one, a deleted statement, a swapped byte
literal, true for false, a negated return value. The script applies it, rebuilds the test targets,
runs the tests with a timeout, and counts the mutant as killed (some test failed or timed out),
survived (every test passed), or invalid (it did not compile, so no test can judge it). A mutant
whose build leaves every object file of its source byte for byte as it was (code inside an #if that
this build leaves out, `-0` for `0`) is unchanged: the program under test is the same, so no test
could tell; it is counted apart and left out of the score, as an invalid one is.

The working tree is never touched: the script mirrors the repository's files (tracked and untracked,
not ignored, as they are on disk now) into BUILD/src and builds them in BUILD/build (default
build/mutation), so it disturbs neither build/native nor an edit in progress. The mutated copy is
restored after every mutant, also on Ctrl-C and on SIGTERM.

Mutants that no test can tell apart from the original are listed, each with its reason, in an
equivalents file (tools/dev/mutation_equivalents.txt); they are left out of the score. An entry is
keyed by file, operator, the original code and the mutated code (blanks collapsed), not by line
number, so it survives edits elsewhere in the file.

Examples:
  tools/dev/mutate.py --preset launcher                      # the launcher core, the fast native tests
  tools/dev/mutate.py --preset launcher --file decision.cpp --limit 20
  tools/dev/mutate.py --preset checker --jobs 2
  tools/dev/mutate.py --sources launcher/text.cpp --build 'cmake --build {build} --target launcher_tests' \\
                  --test '{build}/tests/launcher/launcher_tests --gtest_brief=1'
  tools/dev/mutate.py --preset launcher --list               # print the mutants, build nothing
  tools/dev/mutate.py --preset checker --sample 200 --jobs 2  # an estimate from 200 mutants drawn at random
"""

import argparse
import concurrent.futures
import fcntl
import os
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

OPERATORS = ("cmp", "logic", "negation", "const", "index", "delete", "byte", "bool", "return")

# Named sets of sources, build targets and test commands. {build} is the CMake build folder of the
# mirrored tree; the launcher's core is read from TOVINEL_CORE_SOURCES, so a new portable core file
# is mutated as soon as it is listed there.
PRESETS = {
    "launcher": {
        "sources": "@core",
        "targets": ["launcher_tests", "scenario_tests"],
        "tests": ["{build}/tests/launcher/launcher_tests --gtest_brief=1 --gtest_fail_fast",
                  "{build}/tests/launcher/scenario_tests --gtest_brief=1 --gtest_fail_fast"],
    },
    "ini": {
        "sources": ["simulated_windows/ini_reader.cpp"],
        "targets": ["ini_reader_tests", "scenario_tests"],
        "tests": ["{build}/tests/simulated_windows/ini_reader_tests --gtest_brief=1 --gtest_fail_fast",
                  "{build}/tests/launcher/scenario_tests --gtest_brief=1 --gtest_fail_fast"],
    },
    "checker": {
        "sources": ["checker/*/*.cpp"],
        # Built only for Windows: the native tests never compile them, so no mutant there could be
        # judged. The Windows build is played under Wine (check_wine_32), not by this preset.
        "exclude": ["checker/windows/*.cpp", "checker/media/medium_image_none.cpp"],
        "targets": ["check_tests", "iso_image_tests", "udf_image_tests", "tovinel-check"],
        "tests": ["{build}/tests/checker/check_tests --gtest_brief=1 --gtest_fail_fast",
                  "{build}/tests/checker/iso_image_tests --gtest_brief=1 --gtest_fail_fast",
                  "{build}/tests/checker/udf_image_tests --gtest_brief=1 --gtest_fail_fast",
                  # The JSON report against its schema, on every sample medium (a few seconds).
                  "ctest -R '^check_json$' --output-on-failure"],
    },
}

# ---------------------------------------------------------------------------------------------
# Reading C++: just enough of a tokenizer to find operators, literals and statements outside
# comments, string literals and preprocessor lines.

PUNCTUATORS = sorted("""<<= >>= -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= ::
    { } [ ] ( ) ; , < > = + - * / % & | ^ ! ~ ? : .""".split(), key=len, reverse=True)
CASTS = {"static_cast", "reinterpret_cast", "const_cast", "dynamic_cast", "template"}
NOT_A_TYPE = {"return", "else", "case", "do", "sizeof", "new", "delete", "throw"}
BYTE_LITERALS = ["'\\\\'", "'\"'", "' '", "'\\0'"]


class Token:
    __slots__ = ("kind", "text", "line", "start", "end")

    def __init__(self, kind, text, line, start, end):
        self.kind, self.text, self.line, self.start, self.end = kind, text, line, start, end

    def __repr__(self):
        return f"{self.kind}:{self.text}@{self.line}:{self.start}"


def tokenize(lines):
    """Tokens of the code outside comments and preprocessor lines; each stays on one line."""
    tokens = []
    in_block_comment = False
    in_directive = False
    for number, line in enumerate(lines):
        i = 0
        if not in_block_comment and not in_directive and line.lstrip().startswith("#"):
            in_directive = True
        if in_directive:
            in_directive = line.rstrip().endswith("\\")
            continue
        while i < len(line):
            if in_block_comment:
                end = line.find("*/", i)
                if end < 0:
                    break
                in_block_comment, i = False, end + 2
                continue
            c = line[i]
            if c.isspace():
                i += 1
            elif line.startswith("//", i):
                break
            elif line.startswith("/*", i):
                in_block_comment, i = True, i + 2
            elif c in "\"'":
                j = i + 1
                while j < len(line) and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                tokens.append(Token("string" if c == '"' else "char", line[i:j + 1], number, i, j + 1))
                i = j + 1
            elif c.isalpha() or c == "_":
                j = i
                while j < len(line) and (line[j].isalnum() or line[j] == "_"):
                    j += 1
                tokens.append(Token("word", line[i:j], number, i, j))
                i = j
            elif c.isdigit():
                j = i
                while j < len(line) and (line[j].isalnum() or line[j] in "._'"):
                    j += 1
                tokens.append(Token("number", line[i:j], number, i, j))
                i = j
            else:
                for p in PUNCTUATORS:
                    if line.startswith(p, i):
                        tokens.append(Token("punct", p, number, i, i + len(p)))
                        i += len(p)
                        break
                else:
                    i += 1
    mark_template_brackets(tokens)
    return tokens


def mark_template_brackets(tokens):
    """Angle brackets of casts and templates are no comparisons."""
    for k, token in enumerate(tokens):
        if token.kind == "word" and token.text in CASTS and k + 1 < len(tokens) and tokens[k + 1].text == "<":
            tokens[k + 1].kind = "angle"
            depth = 1
            for later in tokens[k + 2:]:
                if later.text == "<":
                    depth += 1
                elif later.text in (">", ">>"):
                    depth -= len(later.text)
                    if depth <= 0:
                        later.kind = "angle"
                        break


# ---------------------------------------------------------------------------------------------
# Mutants. Each replaces the text between (first_line, start) and (last_line, end) of one file.

class Mutant:
    __slots__ = ("path", "operator", "first_line", "start", "last_line", "end", "replacement",
                 "original_text", "mutated_text", "context", "outcome", "detail")

    def __init__(self, path, lines, operator, first_line, start, last_line, end, replacement):
        self.path, self.operator = path, operator
        self.first_line, self.start, self.last_line, self.end = first_line, start, last_line, end
        self.replacement = replacement
        original = lines[first_line:last_line + 1]
        mutated = lines[first_line][:start] + replacement + lines[last_line][end:]
        self.original_text = collapse(" ".join(original))
        self.mutated_text = collapse(mutated)
        # The code line before, to tell apart the same line in several places (`return;`).
        before = [line for line in lines[:first_line] if line.strip()]
        self.context = collapse(before[-1]) if before else ""
        self.outcome, self.detail = None, ""

    def apply(self, lines):
        mutated = list(lines)
        mutated[self.first_line] = lines[self.first_line][:self.start] + self.replacement + lines[self.last_line][self.end:]
        del mutated[self.first_line + 1:self.last_line + 1]
        return mutated

    def key(self):
        return (self.path, self.operator, self.original_text, self.mutated_text)

    def where(self):
        return f"{self.path}:{self.first_line + 1}"


def collapse(text):
    return " ".join(text.split())


def integer_value(text):
    """The value and suffix of an integer literal, or None for anything else."""
    match = re.fullmatch(r"(0[xX][0-9a-fA-F']+|0[bB][01']+|[0-9][0-9']*)([uUlL]*)", text)
    if not match:
        return None
    return int(match.group(1).replace("'", ""), 0), match.group(2)


def matching(tokens, k, opening, closing):
    depth = 0
    for j in range(k, len(tokens)):
        if tokens[j].text == opening:
            depth += 1
        elif tokens[j].text == closing:
            depth -= 1
            if depth == 0:
                return j
    return None


def statement_starts(tokens):
    """Indexes of tokens that begin a statement: after ; { } or a control header, or else."""
    starts = set()
    k = 0
    after_header = {0}
    while k < len(tokens):
        t = tokens[k]
        if t.kind == "word" and t.text in ("if", "while", "for", "switch") and k + 1 < len(tokens) \
                and tokens[k + 1].text == "(":
            close = matching(tokens, k + 1, "(", ")")
            if close is None:
                break
            after_header.add(close + 1)
            k = close + 1
            continue
        if t.text in (";", "{", "}") or (t.kind == "word" and t.text == "else"):
            after_header.add(k + 1)
        k += 1
    for k in after_header:
        if k < len(tokens):
            starts.add(k)
    return starts


def mutants_of(path, lines, operators):
    tokens = tokenize(lines)
    found = []

    def add(operator, first, last, replacement, start_token=None, end_token=None):
        start_token = start_token or first
        end_token = end_token or last
        found.append(Mutant(path, lines, operator, start_token.line, start_token.start,
                            end_token.line, end_token.end, replacement))

    flips = {"<": ["<=", ">="], "<=": ["<", ">"], ">": [">=", "<="], ">=": [">", "<"],
             "==": ["!="], "!=": ["=="]}
    for k, t in enumerate(tokens):
        if "cmp" in operators and t.kind == "punct" and t.text in flips:
            for other in flips[t.text]:
                add("cmp", t, t, other)
        if "logic" in operators and t.kind == "punct" and t.text in ("&&", "||"):
            add("logic", t, t, "||" if t.text == "&&" else "&&")
        if "negation" in operators and t.kind == "punct" and t.text == "!":
            add("negation", t, t, "")
        if "const" in operators and t.kind == "number":
            value = integer_value(t.text)
            if value is not None:
                number, suffix = value
                add("const", t, t, f"{number + 1}{suffix}")
                if number > 0:
                    add("const", t, t, f"{number - 1}{suffix}")
        if "index" in operators and t.text == "[" and k >= 1 and tokens[k - 1].kind == "word":
            declaration = k >= 2 and (tokens[k - 2].kind == "word" and tokens[k - 2].text not in NOT_A_TYPE
                                      or tokens[k - 2].text in ("*", "&"))
            close = matching(tokens, k, "[", "]")
            if not declaration and close is not None and close > k + 1:
                inner = tokens[k + 1:close]
                literal = len(inner) == 1 and inner[0].kind == "number"
                if not literal and inner[0].line == tokens[close].line:
                    text = lines[inner[0].line][inner[0].start:inner[-1].end]
                    for delta in (" + 1", " - 1"):
                        add("index", inner[0], inner[-1], text + delta)
        if "byte" in operators and t.kind == "char" and t.text in BYTE_LITERALS:
            for other in BYTE_LITERALS:
                if other != t.text:
                    add("byte", t, t, other)
        if "bool" in operators and t.kind == "word" and t.text in ("true", "false"):
            add("bool", t, t, "false" if t.text == "true" else "true")

    starts = statement_starts(tokens)
    for k in sorted(starts):
        t = tokens[k]
        # The statement runs to the next ; at bracket depth 0; blocks and declarations are left alone
        # (deleting a declaration only breaks the build).
        depth, end = 0, None
        for j in range(k, len(tokens)):
            if tokens[j].text in ("(", "[", "{"):
                depth += 1
            elif tokens[j].text in (")", "]", "}"):
                depth -= 1
                if depth < 0:
                    break
            elif tokens[j].text == ";" and depth == 0:
                end = j
                break
        if end is None or end == k:
            continue
        words = [x.text for x in tokens[k:end]]
        if words[0] in ("if", "while", "for", "switch", "else", "do", "{", "}", "case", "default",
                        "typedef", "using", "namespace", "static", "const", "constexpr", "inline",
                        "extern", "struct", "enum", "template"):
            continue
        if "{" in words:
            continue
        # A declaration: a type word followed by a name (`unsigned used = ...`, `char run[260]`).
        if len(words) >= 2 and tokens[k].kind == "word" and tokens[k + 1].kind == "word" \
                and words[0] not in NOT_A_TYPE:
            continue
        if len(words) >= 3 and tokens[k].kind == "word" and words[1] in ("*", "&", "::"):
            continue
        # A returned value is negated; a literal is the bool or const operator's, and a value
        # spread over several lines is left alone.
        first_value, last_value = tokens[k + 1], tokens[end - 1]
        if "return" in operators and words[0] == "return" and len(words) > 1 and \
                not (len(words) == 2 and (words[1] in ("true", "false", "nullptr") or first_value.kind == "number")) and \
                first_value.line == last_value.line:
            text = lines[first_value.line][first_value.start:last_value.end]
            add("return", first_value, last_value, f"!({text})")
        if "delete" in operators:
            add("delete", t, tokens[end], "{}")

    unique, seen = [], set()
    for m in found:
        signature = (m.first_line, m.start, m.last_line, m.end, m.replacement)
        if signature not in seen:
            seen.add(signature)
            unique.append(m)
    unique.sort(key=lambda m: (m.first_line, m.start, m.operator))
    return unique


# ---------------------------------------------------------------------------------------------
# Equivalent mutants: blocks of "file:", "operator:", "original:", "mutated:" and "reason:" lines,
# and, where the same original line occurs more than once in the file, "after:" with the code line
# before it; blocks are separated by empty lines and '#' starts a comment line.

class Equivalents:
    def __init__(self, entries):
        self.entries = entries  # {(file, operator, original, mutated, after or None): reason}

    def reason(self, mutant):
        key = mutant.key()
        return self.entries.get(key + (mutant.context,), self.entries.get(key + (None,)))

    def matches(self, mutant):
        return self.reason(mutant) is not None

    def unmatched(self, mutants):
        seen = {m.key() + (m.context,) for m in mutants} | {m.key() + (None,) for m in mutants}
        return [k for k in self.entries if k not in seen]

    def __len__(self):
        return len(self.entries)


def read_equivalents(path):
    entries = {}
    if not path or not os.path.exists(path):
        return Equivalents(entries)
    block = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(list(f) + ["\n"], 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                if block:
                    missing = {"file", "operator", "original", "mutated", "reason"} - block.keys()
                    if missing:
                        sys.exit(f"{path}:{number}: entry lacks {', '.join(sorted(missing))}")
                    after = collapse(block["after"]) if "after" in block else None
                    entries[(block["file"], block["operator"], collapse(block["original"]),
                             collapse(block["mutated"]), after)] = block["reason"]
                    block = {}
                continue
            field, _, value = line.partition(":")
            if line.startswith((" ", "\t")) and "reason" in block:
                block["reason"] += " " + line.strip()  # a reason continued on an indented line
            else:
                block[field.strip()] = value.strip()
    return Equivalents(entries)


# ---------------------------------------------------------------------------------------------
# The mirrored tree and the runs.

def repository_files():
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "-co", "--exclude-standard", "-z"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    return [name for name in listed if name and os.path.isfile(os.path.join(ROOT, name))]


def mirror(destination):
    """Copies the repository's files into `destination`, rewriting only those that differ, so that
    the build there recompiles only what changed since the last run."""
    wanted = set()
    for name in repository_files():
        wanted.add(name)
        source, target = os.path.join(ROOT, name), os.path.join(destination, name)
        with open(source, "rb") as f:
            data = f.read()
        if os.path.exists(target):
            with open(target, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        shutil.copymode(source, target)
    for folder, _, names in os.walk(destination):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), destination)
            if relative not in wanted:
                os.remove(os.path.join(folder, name))


def core_sources(tree):
    with open(os.path.join(tree, "CMakeLists.txt"), encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"set\(TOVINEL_CORE_SOURCES(.*?)\)", text, re.S)
    if not block:
        sys.exit("CMakeLists.txt: TOVINEL_CORE_SOURCES not found")
    return [name.replace("${CMAKE_CURRENT_SOURCE_DIR}/", "") for name in block.group(1).split()]


class Runner:
    """One mirrored tree and its build folder; runs one mutant at a time."""

    def __init__(self, folder, build_command, test_commands, timeout):
        self.tree = os.path.join(folder, "src")
        self.build = os.path.join(folder, "build")
        self.build_command, self.test_commands, self.timeout = build_command, test_commands, timeout
        self.applied = None  # (path, original bytes) while a mutant is in place
        self.test_seconds = 0.0  # how long the tests took when they last passed
        self.objects = {}  # object file path -> its bytes' hash, from the unmutated build

    def expand(self, command):
        return command.format(build=shlex.quote(self.build), src=shlex.quote(self.tree))

    def prepare(self):
        os.makedirs(self.tree, exist_ok=True)
        mirror(self.tree)
        launcher = self.warnings_allowed()
        if not os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            # No debug information and no optimisation: the quickest rebuild of one file. Ninja,
            # when there, checks an unchanged tree faster than make.
            generator = ["-G", "Ninja"] if shutil.which("ninja") else []
            code, output = run_quietly(["cmake", "-S", self.tree, "-B", self.build, *generator,
                                        "-DCMAKE_BUILD_TYPE=", "-DCMAKE_CXX_FLAGS=-O0",
                                        f"-DCMAKE_CXX_COMPILER_LAUNCHER={launcher}",
                                        "-DTOVINEL_HARDENING_TESTS=OFF"], None)
            if code != 0:
                sys.exit(f"cmake cannot configure {self.tree}:\n{last_lines(output)}")

    def warnings_allowed(self):
        """A compiler launcher that puts -Wno-error last: a mutant that only draws a warning
        (`a || b && c`, a value no longer used) is still a program whose behaviour the tests judge.
        A function that can end without its return value stays an error: what it returns is
        whatever a register held, which no test can judge."""
        os.makedirs(self.build, exist_ok=True)
        path = os.path.join(os.path.dirname(self.build), "warnings-allowed.sh")
        with open(path, "w", encoding="utf-8") as f:
            f.write('#!/bin/sh\nexec "$@" -Wno-error -Werror=return-type\n')
        os.chmod(path, 0o755)
        return path

    def run(self, command, timeout):
        return run_quietly(self.expand(command), timeout, shell=True, cwd=self.build)

    def check(self, mutant=None):
        """'killed', 'survived', 'invalid' or 'timeout' for `mutant` (None: the unmutated tree)."""
        if mutant is not None:
            self.apply(mutant)
        try:
            code, output = self.run(self.build_command, None)
            if code != 0:
                return "invalid", last_lines(output)
            if mutant is None:
                self.objects = self.object_hashes()
            elif self.same_objects(mutant.path):
                return "unchanged", ""
            clock = time.monotonic()
            for command in self.test_commands:
                code, output = self.run(command, self.timeout)
                if code is None:
                    return "timeout", command
                if code != 0:
                    return "killed", last_lines(output)
            self.test_seconds = time.monotonic() - clock
            return "survived", ""
        finally:
            self.restore()

    def object_hashes(self):
        import hashlib
        hashes = {}
        for folder, _, names in os.walk(self.build):
            for name in names:
                if name.endswith(".o") or name.endswith(".obj"):
                    path = os.path.join(folder, name)
                    with open(path, "rb") as f:
                        hashes[path] = hashlib.sha256(f.read()).hexdigest()
        return hashes

    def same_objects(self, source):
        """Whether every object built from `source` (CMake names it NAME.cpp.o, whatever the
        target) is as the unmutated build left it. A source that no object comes from counts as
        unchanged too: this build does not compile it."""
        import hashlib
        suffix = os.sep + os.path.basename(source)
        for path, digest in self.objects.items():
            if os.path.splitext(path)[0].endswith(suffix):
                with open(path, "rb") as f:
                    if hashlib.sha256(f.read()).hexdigest() != digest:
                        return False
        return True

    def apply(self, mutant):
        target = os.path.join(self.tree, mutant.path)
        with open(target, "rb") as f:
            original = f.read()
        self.applied = (target, original)
        lines = original.decode("latin-1").split("\n")
        with open(target, "wb") as f:
            f.write("\n".join(mutant.apply(lines)).encode("latin-1"))

    def restore(self):
        if self.applied is not None:
            target, original = self.applied
            with open(target, "wb") as f:
                f.write(original)
            self.applied = None


def last_lines(output, count=6):
    return "\n".join(output.strip().splitlines()[-count:])


# Child process groups still running, so that Ctrl-C can end them too.
children = set()
children_lock = threading.Lock()


def run_quietly(command, timeout, shell=False, cwd=None):
    """(exit code or None on timeout, output) of `command`, in a process group of its own."""
    process = subprocess.Popen(command, shell=shell, cwd=cwd, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    with children_lock:
        children.add(process)
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output.decode(errors="replace")
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return None, ""
    finally:
        with children_lock:
            children.discard(process)


def end_children():
    with children_lock:
        for process in list(children):
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass


# ---------------------------------------------------------------------------------------------

def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--preset", choices=sorted(PRESETS), help="named sources, targets and tests")
    parser.add_argument("--sources", nargs="+", default=[], help="files to mutate (repository paths; globs)")
    parser.add_argument("--build", help="build command, run in the build folder; {build} and {src} "
                                        "name the build folder and the mirrored tree")
    parser.add_argument("--targets", nargs="+", default=[], help="CMake targets to build (instead of --build)")
    parser.add_argument("--test", action="append", default=[], help="test command; repeat for several")
    parser.add_argument("--file", action="append", default=[], help="only sources whose path ends so")
    parser.add_argument("--exclude", action="append", default=[], help="leave out sources that match (glob)")
    parser.add_argument("--operators", default=",".join(OPERATORS),
                        help=f"comma-separated subset of {','.join(OPERATORS)}")
    parser.add_argument("--lines", help="only mutants on lines FIRST-LAST (with one --file)")
    parser.add_argument("--limit", type=int, help="at most this many mutants (the first ones)")
    parser.add_argument("--sample", type=int, help="at most this many mutants, drawn evenly at random from all "
                                                   "(for an estimate where the whole run takes hours)")
    parser.add_argument("--seed", type=int, default=1, help="the draw of --sample (default 1)")
    parser.add_argument("--jobs", type=int, default=1, help="mutants run at once, each in its own tree (default 1)")
    parser.add_argument("--timeout", type=float,
                        help="seconds per test command (default: ten times the unmutated tests, at least 5)")
    parser.add_argument("--folder", default=os.path.join(ROOT, "build", "mutation"),
                        help="mirrored trees and builds (default build/mutation)")
    parser.add_argument("--equivalents", default=os.path.join(ROOT, "tools", "dev", "mutation_equivalents.txt"),
                        help="known equivalent mutants, left out of the score")
    parser.add_argument("--report", help="also write the summary to this file")
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    parser.add_argument("--all", action="store_true", help="run the listed equivalents too, to see them survive")
    options = parser.parse_args()
    preset = PRESETS.get(options.preset, {})
    if not options.sources:
        options.sources = preset.get("sources", [])
        options.exclude += preset.get("exclude", [])
    if not options.targets and not options.build:
        options.targets = preset.get("targets", [])
    if not options.test:
        options.test = preset.get("tests", [])
    if not options.build:
        if not options.targets:
            parser.error("give --build or --targets (or a --preset)")
        options.build = "cmake --build {build} --target " + " ".join(options.targets)
    if not options.sources or not options.test:
        parser.error("give --sources and --test (or a --preset)")
    options.operators = [o.strip() for o in options.operators.split(",") if o.strip()]
    unknown = set(options.operators) - set(OPERATORS)
    if unknown:
        parser.error(f"unknown operators: {', '.join(sorted(unknown))}")
    return options


def source_paths(options, tree):
    import fnmatch
    import glob
    paths = []
    patterns = core_sources(tree) if options.sources == "@core" else options.sources
    for pattern in patterns:
        matches = sorted(glob.glob(os.path.join(tree, pattern)))
        if not matches:
            sys.exit(f"no source matches {pattern}")
        for match in matches:
            relative = os.path.relpath(match, tree)
            if any(fnmatch.fnmatch(relative, pattern) for pattern in options.exclude):
                continue
            if relative not in paths and (not options.file or any(relative.endswith(f) for f in options.file)):
                paths.append(relative)
    if not paths:
        sys.exit("no source left to mutate")
    return paths


def collect_mutants(options, tree):
    mutants = []
    for path in source_paths(options, tree):
        with open(os.path.join(tree, path), "rb") as f:
            lines = f.read().decode("latin-1").split("\n")
        mutants += mutants_of(path, lines, options.operators)
    if options.lines:
        first, _, last = options.lines.partition("-")
        mutants = [m for m in mutants if int(first) <= m.first_line + 1 <= int(last or first)]
    if options.limit is not None:
        mutants = mutants[:options.limit]
    # Every mutant of the files, drawn or not: an equivalent entry is stale only if it matches none.
    options.population = list(mutants)
    if options.sample is not None and options.sample < len(mutants):
        chosen = sorted(random.Random(options.seed).sample(range(len(mutants)), options.sample))
        mutants = [mutants[i] for i in chosen]
    return mutants


def take_folder(folder):
    """Locks `folder` for this run: a second run there would rewrite the mirrored files under the
    first one's mutants and spoil its results."""
    os.makedirs(folder, exist_ok=True)
    handle = open(os.path.join(folder, "lock"), "w")
    try:
        fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit(f"{folder} is in use by another run; give this one another --folder")
    return handle


def main():
    options = parse_arguments()
    equivalents = read_equivalents(options.equivalents)
    runners = [Runner(os.path.join(options.folder, f"tree{n}" if n else "tree"), options.build, options.test,
                      options.timeout) for n in range(max(1, options.jobs))]
    # SIGTERM ends the run like Ctrl-C, so that every mirrored file is restored; SIGINT is taken
    # explicitly because a shell starts background jobs with it ignored.
    def interrupt(*_):
        raise KeyboardInterrupt()
    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGINT, interrupt)

    if options.list:
        # Read from the working tree: a listing must not touch a mirror that a run may be using.
        mutants = collect_mutants(options, ROOT)
        for m in mutants:
            mark = "  [equivalent]" if equivalents.matches(m) else ""
            print(f"{m.where()}: {m.operator}: {m.original_text}  =>  {m.mutated_text}{mark}")
        print(f"{len(mutants)} mutants")
        return 0

    folder_lock = take_folder(options.folder)  # held until the process ends
    runners[0].prepare()
    mutants = collect_mutants(options, runners[0].tree)

    to_run = [m for m in mutants if options.all or not equivalents.matches(m)]
    for m in mutants:
        if equivalents.matches(m) and not options.all:
            m.outcome = "equivalent"
    print(f"{len(mutants)} mutants in {len(set(m.path for m in mutants))} files, "
          f"{len(mutants) - len(to_run)} listed as equivalent; {len(to_run)} to run, {len(runners)} at a time")

    started = time.monotonic()
    stopping = threading.Event()
    pool = None
    try:
        for runner in runners[1:]:
            runner.prepare()
        for runner in runners:
            outcome, detail = runner.check()
            if outcome != "survived":
                print(f"the unmutated tree does not pass ({outcome}):\n{detail}")
                return 2
        if options.timeout is None:
            # Ten times what the unmutated tests take, and never under five seconds: a mutant that
            # loops for ever then costs seconds, not minutes.
            options.timeout = max(5.0, 10 * runners[0].test_seconds)
        for runner in runners:
            runner.timeout = options.timeout
        print(f"timeout per test command: {options.timeout:.0f} s")
        free = list(runners)
        free_lock = threading.Lock()
        done = [0]

        def judge(mutant):
            if stopping.is_set():
                return
            with free_lock:
                runner = free.pop()
            try:
                outcome, detail = runner.check(mutant)
                # A build or test ended by the interruption says nothing about the mutant.
                if not stopping.is_set():
                    mutant.outcome, mutant.detail = outcome, detail
            finally:
                with free_lock:
                    free.append(runner)
                    done[0] += 1
                    if mutant.outcome is not None:
                            print(f"[{done[0]}/{len(to_run)}] {mutant.outcome:8} {mutant.where()} "
                              f"{mutant.operator}: {mutant.mutated_text}", flush=True)

        pool = concurrent.futures.ThreadPoolExecutor(max_workers=len(runners))
        pending = {pool.submit(judge, m) for m in to_run}
        while pending:
            # A short wait, not future.result(): the main thread must stay free to take Ctrl-C.
            finished, pending = concurrent.futures.wait(pending, timeout=0.5)
            for future in finished:
                future.result()
    except KeyboardInterrupt:
        stopping.set()
        end_children()
        print("\ninterrupted: the mirrored files are restored; the summary covers the mutants run so far")
    finally:
        if pool is not None:
            # Queued mutants are dropped; a running one ends with its killed build or test.
            end_children() if stopping.is_set() else None
            pool.shutdown(wait=True, cancel_futures=True)
        for runner in runners:
            runner.restore()

    summary = summarise(mutants, equivalents, options, time.monotonic() - started)
    print(summary)
    if options.report:
        with open(options.report, "w", encoding="utf-8") as f:
            f.write(summary + "\n")
    return 0


def summarise(mutants, equivalents, options, seconds):
    count = {}
    for m in mutants:
        if m.outcome is not None:
            count[m.outcome] = count.get(m.outcome, 0) + 1
    killed = count.get("killed", 0) + count.get("timeout", 0)
    survived = count.get("survived", 0)
    judged = killed + survived
    out = ["", "survivors (file:line, operator, original => mutated):"]
    for m in mutants:
        if m.outcome == "survived":
            listed = "  [listed as equivalent]" if equivalents.matches(m) else ""
            out.append(f"  {m.where()}: {m.operator}: {m.original_text}  =>  {m.mutated_text}{listed}")
    if not survived:
        out.append("  none")
    listed_survivors = sum(1 for m in mutants if m.outcome == "survived" and equivalents.matches(m))
    if options.all and listed_survivors:
        judged -= listed_survivors
        survived -= listed_survivors
    # Entries that match no mutant of the files run: the code moved on, or the entry is mistyped.
    population = getattr(options, "population", mutants)
    run_files = {m.path for m in population}
    complete = options.limit is None and not options.lines and set(options.operators) == set(OPERATORS)
    stale = [k for k in equivalents.unmatched(population) if complete and k[0] in run_files]
    if stale:
        out.append("equivalents that match no mutant (stale or mistyped):")
        out += [f"  {k[0]}: {k[1]}: {k[2]}  =>  {k[3]}" + (f"  (after {k[4]})" if k[4] else "") for k in stale]
    equivalent = count.get("equivalent", 0) + (listed_survivors if options.all else 0)
    out.append(f"operators: {', '.join(options.operators)}")
    out.append(f"mutants: {len(mutants)} total, {killed} killed ({count.get('timeout', 0)} by timeout), "
               f"{survived} survived, {equivalent} equivalent (listed), {count.get('invalid', 0)} invalid "
               f"(do not compile), {count.get('unchanged', 0)} unchanged (same object code), {sum(1 for m in mutants if m.outcome is None)} not run")
    score = f"{100.0 * killed / judged:.1f}%" if judged else "n/a"
    out.append(f"score: {killed} killed of {judged} judged = {score}  ({seconds:.0f} s)")
    return "\n".join(out)


if __name__ == "__main__":
    sys.exit(main())
