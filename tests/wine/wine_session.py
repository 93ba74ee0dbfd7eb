# Tovinel Wine tests: one Wine session for a suite: a private prefix, one Xvfb, one wineserver.
# Everything it starts is ended on the way out, whether the suite passed, failed or was interrupted.
import errno
import glob
import os
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


def base_environment(prefix, codepage=1252):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEARCH=WINE_ARCH, WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_OVERRIDES,
               LC_ALL=LOCALES[codepage])
    env.pop("DISPLAY", None)
    return env


def why_wine_cannot_run():
    """None when this machine runs Wine's 32-bit programs natively; otherwise the reason it cannot.
    Wine runs a 32-bit Windows program only as a 32-bit x86 Linux process (even its 64-bit build,
    whose WOW64 mode also needs the kernel's 32-bit entry), so a kernel built or booted without
    IA-32 emulation runs none, and under a user-mode emulator one start takes minutes."""
    for entry in glob.glob("/proc/sys/fs/binfmt_misc/*"):
        try:
            with open(entry) as handler:
                text = handler.read()
        except OSError:
            continue
        fields = dict(line.split(" ", 1) for line in text.splitlines() if " " in line)
        if text.startswith("enabled") and fields.get("magic", "").startswith(I386_ELF_MAGIC):
            return (f"32-bit x86 programs are handed to {fields.get('interpreter', 'an emulator')} "
                    f"(binfmt_misc {os.path.basename(entry)}): far too slow for Wine")
    try:
        subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
    except FileNotFoundError:
        pass  # not Debian's layout: the boot will tell
    except OSError as error:
        if error.errno == errno.ENOEXEC:
            return "this kernel runs no 32-bit x86 programs (IA-32 emulation is off), so Wine runs none"
        raise
    return None


def why_wine64_cannot_run():
    """None when this machine runs 64-bit Windows programs under Wine, else the reason."""
    try:
        subprocess.run([WINE64, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=60)
    except FileNotFoundError:
        return f"Wine's 64-bit loader {WINE64} is missing (tools/setup.sh installs wine64)"
    except (OSError, subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
        return f"Wine's 64-bit loader cannot be started: {error}"
    return None


def skip_unless_wine_runs(what, bits=32):
    """Ends the process with SKIPPED, saying why, when Wine cannot run programs of `bits` here."""
    reason = why_wine_cannot_run() if bits == 32 else why_wine64_cannot_run()
    if reason:
        print(f"SKIPPED {what}: {reason}.")
        sys.exit(SKIPPED)


def runner_arguments(count, usage):
    """A Wine test runner's `count` arguments, after an optional --64-bit-build (the programs are
    x86-64 builds, for a machine that runs no 32-bit x86 programs: tools/dev/wine_check_64bit.sh), and
    the Wine loader that runs them. Exits with `usage` on other arguments; without the option, ends
    the process as skipped when Wine cannot run 32-bit programs here."""
    arguments = sys.argv[1:]
    built_64_bit = arguments[:1] == ["--64-bit-build"]
    if built_64_bit:
        arguments = arguments[1:]
    if len(arguments) != count:
        sys.exit(usage)
    if not built_64_bit:
        skip_unless_wine_runs(os.path.basename(sys.argv[0]))
    return arguments, WINE64 if built_64_bit else "wine"


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
    print(f"wine prefix {prefix} created in {time.monotonic() - started:.1f} s")


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

    def __init__(self, prefix, display=True, codepage=1252, loader="wine"):
        self.prefix = prefix
        self.display = display
        self.codepage = codepage
        self.loader = loader
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
        return subprocess.run([self.loader] + arguments, **options)

    def run64(self, arguments, **options):
        """Runs a program of the prefix as a 64-bit process (regedit: both registry views)."""
        options.setdefault("env", self.env)
        return subprocess.run([WINE64] + arguments, **options)

    def popen(self, arguments, **options):
        options.setdefault("env", self.env)
        return subprocess.Popen([self.loader] + arguments, **options)

    def popen64(self, arguments, **options):
        """Starts a program as a 64-bit process and does not wait for it."""
        options.setdefault("env", self.env)
        return subprocess.Popen([WINE64] + arguments, **options)

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
        if os.path.isdir(sys.argv[2]):
            subprocess.run(["wineserver", "-k"], env=base_environment(sys.argv[2]), stderr=subprocess.DEVNULL)
            shutil.rmtree(sys.argv[2], ignore_errors=True)
    else:
        sys.exit("usage: wine_session.py boot|remove PREFIX")
