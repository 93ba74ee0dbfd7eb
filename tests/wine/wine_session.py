# Tovinel Wine tests: one Wine session for a suite: a private prefix, one Xvfb, one wineserver.
# Everything it starts is ended on the way out, whether the suite passed, failed or was interrupted.
import errno
import functools
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import time

WINE_OVERRIDES = "mscoree,mshtml="  # no Mono or Gecko installers on a first boot
# The prefix is a 64-bit Windows (WOW64), as most users have: the 32-bit launcher sees the 32-bit
# registry view there, and 32-bit Windows, with its one view, is what that view already shows.
WINE_ARCH = "win64"
# The 64-bit loader, for the 64-bit regedit that writes either view; Debian keeps it off PATH.
WINE64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
# Wine takes the ANSI code page from the Unix locale: ja_JP.UTF-8 gives 932, C.UTF-8 gives 1252.
LOCALES = {1252: "C.UTF-8", 932: "ja_JP.UTF-8"}
SKIPPED = 77  # the exit code by which a Wine test tells CTest that it could not run here
I386_ELF_MAGIC = "7f454c4601010100000000000000000002000300"
BINFMT_MISC = "/proc/sys/fs/binfmt_misc"
# Where the kernel runs no 32-bit x86 programs, tools/setup.sh test hands them to qemu-i386 and
# installs a library that every Wine process preloads (tools/steps/wine_i386_emulation.sh, which
# names the same folder): the dynamic linker reads $LIB as lib/i386-linux-gnu in a 32-bit process,
# which gets tests/wine/emulation/noreplace.c, and as lib/x86_64-linux-gnu in a 64-bit one, which
# gets an empty twin.
PRELOAD_ROOT = "/usr/local/lib/tovinel-wine"
PRELOAD = PRELOAD_ROOT + "/$LIB/libwine-noreplace.so"
PRELOAD_FILES = [f"{PRELOAD_ROOT}/lib/{arch}/libwine-noreplace.so" for arch in ("i386-linux-gnu", "x86_64-linux-gnu")]
QEMU_I386 = re.compile(r"qemu-i386|i386-binfmt")
WINE32_LOADER = "/usr/lib/wine/wine"  # Debian's wine32:i386; the 64-bit package has wine64 beside it


def base_environment(prefix, codepage=1252):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEARCH=WINE_ARCH, WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_OVERRIDES,
               LC_ALL=LOCALES[codepage])
    env.pop("DISPLAY", None)
    if how_32_bit_programs_run()[0] == "emulated":
        env["LD_PRELOAD"] = " ".join(filter(None, [PRELOAD, env.get("LD_PRELOAD")]))
    return env


def i386_handler():
    """The interpreter of the enabled binfmt_misc entry for i386 ELF programs, and the entry's name;
    None when there is none, and the kernel's own loader runs them."""
    for entry in sorted(glob.glob(os.path.join(BINFMT_MISC, "*"))):
        try:
            with open(entry) as handler:
                text = handler.read()
        except OSError:
            continue
        fields = dict(line.split(" ", 1) for line in text.splitlines() if " " in line)
        if text.startswith("enabled") and fields.get("magic", "").startswith(I386_ELF_MAGIC):
            return fields.get("interpreter", "an unnamed interpreter"), os.path.basename(entry)
    return None


@functools.lru_cache(maxsize=None)
def how_32_bit_programs_run():
    """("native", None) where this machine runs Wine's 32-bit programs itself, ("emulated",
    interpreter) where qemu-i386 runs them with the preload library, (None, the reason) where they
    cannot run. Wine runs a 32-bit Windows program only as a 32-bit x86 Linux process (even its 64-bit
    build, whose WOW64 mode also needs the kernel's 32-bit entry)."""
    if not os.path.exists(WINE32_LOADER):
        return None, ("Wine's 32-bit half is not installed (Debian's wine32:i386, which tools/setup.sh test "
                      "installs; where it could not, it said why)")
    handler = i386_handler()
    if handler:
        interpreter, entry = handler
        if not QEMU_I386.search(interpreter):
            return None, (f"32-bit x86 programs are handed to {interpreter} (binfmt_misc {entry}); the Wine "
                          f"tests run them natively or through qemu-i386 only (tools/setup.sh test)")
        missing = [path for path in PRELOAD_FILES if not os.path.isfile(path)]
        if missing:
            return None, (f"32-bit x86 programs run through {interpreter} (binfmt_misc {entry}), but without "
                          f"{missing[0]}, which tools/setup.sh test installs, each 32-bit Wine process takes "
                          f"some 45 s of CPU in qemu")
        return "emulated", interpreter
    try:
        subprocess.run([WINE32_LOADER, "--version"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
    except OSError as error:
        if error.errno == errno.ENOEXEC:
            return None, ("this kernel runs no 32-bit x86 programs (IA-32 emulation is off), so Wine runs "
                          "none; tools/setup.sh test, as root, hands them to qemu-i386")
        raise
    return "native", None


def why_wine_cannot_run():
    """None when Wine's 32-bit programs run here, natively or emulated; otherwise the reason."""
    how, detail = how_32_bit_programs_run()
    return detail if how is None else None


def how_wine_runs():
    """A line for the tests' output: whether 32-bit programs run natively or through qemu."""
    how, detail = how_32_bit_programs_run()
    return f"32-bit programs run through {detail}" if how == "emulated" else "32-bit programs run natively"


def skip_unless_wine_runs(what):
    """Ends the process with SKIPPED, saying why, when Wine cannot run 32-bit programs here."""
    reason = why_wine_cannot_run()
    if reason:
        print(f"SKIPPED {what}: {reason}.")
        sys.exit(SKIPPED)


def boot_prefix(prefix):
    """Creates a fresh prefix at `prefix` (an old one is removed) and leaves no process running."""
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    env = base_environment(prefix)
    started = time.monotonic()
    # Without a display the first boot creates no windows, and no dialog can wait for input.
    subprocess.run([WINE64, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True)
    # wineboot returns while the prefix is still being filled; the server ends when it is done.
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    print(f"wine prefix {prefix} created in {time.monotonic() - started:.1f} s ({how_wine_runs()})")


def unix_to_windows(path):
    """The Windows name of a Unix path, through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def open_window(popen, holder, work, name, window_class, title):
    """Starts the window holder `holder` (a Windows path) with `popen` and waits until its window of
    `window_class` and `title` (bytes) is open. Returns the process and its ready file: deleting the
    file closes the window."""
    ready = os.path.join(work, f"{name}.ready")
    instructions = os.path.join(work, f"{name}.instructions")
    with open(instructions, "wb") as out:
        out.write(unix_to_windows(ready).encode() + b"\n" + window_class + b"\n" + title + b"\n")
    process = popen([holder, unix_to_windows(instructions)])
    deadline = time.monotonic() + 20
    while not os.path.exists(ready):
        if process.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError(f"the window holder did not open {window_class!r}")
        time.sleep(0.01)
    return process, ready


class Session:
    """Context manager: Xvfb (when `display`) and a persistent wineserver for `prefix`, every
    program of it running under the ANSI code page `codepage`."""

    def __init__(self, prefix, display=True, codepage=1252):
        self.prefix = prefix
        self.display = display
        self.codepage = codepage
        self.env = base_environment(prefix, codepage)
        self.xvfb = None
        self.server = False

    def __enter__(self):
        if not os.path.isdir(os.path.join(self.prefix, "drive_c")):
            boot_prefix(self.prefix)
        # A test killed by CTest's timeout gets SIGTERM: turn it into an exception so __exit__ runs.
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
        try:
            if self.display:
                self._start_xvfb()
            subprocess.run(["wineserver", "-p"], env=self.env, check=True)
            self.server = True
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        # -displayfd picks a free display number and writes it once the server accepts clients.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", "640x480x16"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def run(self, arguments, **options):
        options.setdefault("env", self.env)
        return subprocess.run(["wine"] + arguments, **options)

    def run64(self, arguments, **options):
        """Runs a program of the prefix as a 64-bit process (regedit: both registry views)."""
        options.setdefault("env", self.env)
        return subprocess.run([WINE64] + arguments, **options)

    def popen(self, arguments, **options):
        options.setdefault("env", self.env)
        return subprocess.Popen(["wine"] + arguments, **options)

    def popen64(self, arguments, **options):
        """Starts a program as a 64-bit process and does not wait for it."""
        options.setdefault("env", self.env)
        return subprocess.Popen([WINE64] + arguments, **options)

    def restart_server(self):
        """Ends every Wine process of the prefix and starts the server again: its services (the
        mount manager, which tells drive types) then read the registry afresh."""
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL, timeout=30)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)

    def __exit__(self, *_):
        if self.server:
            # Ends every Wine process of this prefix, then the server itself; no other prefix.
            subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL, timeout=30)
            self.server = False
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        return False


if __name__ == "__main__":
    # CTest fixture: wine_session.py boot PREFIX  (once per suite run) / wine_session.py remove PREFIX
    if len(sys.argv) == 3 and sys.argv[1] == "boot":
        skip_unless_wine_runs("the Wine prefix")
        boot_prefix(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "remove":
        if os.path.isdir(sys.argv[2]) and shutil.which("wineserver"):
            subprocess.run(["wineserver", "-k"], env=base_environment(sys.argv[2]), stderr=subprocess.DEVNULL)
            shutil.rmtree(sys.argv[2], ignore_errors=True)
    else:
        sys.exit("usage: wine_session.py boot|remove PREFIX")
