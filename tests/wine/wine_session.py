# Tovinel Wine tests: one Wine session for a suite: a private prefix, one Xvfb, one wineserver.
# Everything it starts is ended on the way out, whether the suite passed, failed or was interrupted.
import errno
import os
import shutil
import signal
import subprocess
import sys
import time

WINE_OVERRIDES = "mscoree,mshtml="  # no Mono or Gecko installers on a first boot
# Wine's loader for 32-bit programs, a 32-bit Linux program itself (Debian's wine32:i386).
WINE_LOADER_32 = "/usr/lib/wine/wine"
# Wine's loader for 64-bit programs; a win64 prefix boots with it alone.
WINE_LOADER_64 = "/usr/lib/wine/wine64"
# The exit code that tells CTest a test was skipped (its SKIP_RETURN_CODE), never that it passed.
SKIPPED = 77


def why_wine_cannot_run():
    """None when this machine can run Wine's 32-bit side, else the reason in one sentence.

    tovinel.exe is a 32-bit program, so every Wine test needs Linux to run 32-bit x86 code. Some
    kernels are built or booted without that (IA-32 emulation off): then exec fails with ENOEXEC."""
    try:
        subprocess.run([WINE_LOADER_32, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=60)
    except FileNotFoundError:
        return f"Wine's 32-bit loader {WINE_LOADER_32} is missing (tools/setup.sh installs wine32:i386)"
    except OSError as error:
        if error.errno == errno.ENOEXEC:
            return ("this machine's Linux kernel cannot run 32-bit x86 programs (its IA-32 emulation is off), "
                    "so Wine cannot run the 32-bit tovinel.exe here")
        return f"Wine's 32-bit loader cannot be started: {error}"
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
        return f"Wine's 32-bit loader does not answer: {error}"
    return None


def why_wine64_cannot_run():
    """None when this machine can run 64-bit Windows programs under Wine, else the reason."""
    try:
        subprocess.run([WINE_LOADER_64, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=60)
    except FileNotFoundError:
        return f"Wine's 64-bit loader {WINE_LOADER_64} is missing (tools/setup.sh installs wine64)"
    except (OSError, subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
        return f"Wine's 64-bit loader cannot be started: {error}"
    return None


def skip_unless_wine_runs(what, bits=32):
    """Ends the process with SKIPPED, saying why, when Wine cannot run programs of `bits` here."""
    reason = why_wine_cannot_run() if bits == 32 else why_wine64_cannot_run()
    if reason is not None:
        print(f"SKIPPED {what}: {reason}.")
        sys.exit(SKIPPED)


def base_environment(prefix, arch="win32"):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEARCH=arch, WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_OVERRIDES)
    env.pop("DISPLAY", None)
    return env


def boot_prefix(prefix, arch="win32"):
    """Creates a fresh prefix at `prefix` (an old one is removed) and leaves no process running.
    A win64 prefix is booted by the 64-bit loader alone; its attempt at 32-bit helpers fails harmlessly
    where the kernel runs no 32-bit program."""
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    env = base_environment(prefix, arch)
    started = time.monotonic()
    boot = [WINE_LOADER_64, "wineboot", "-i"] if arch == "win64" else ["wineboot", "-i"]
    # Without a display the first boot creates no windows, and no dialog can wait for input.
    subprocess.run(boot, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True)
    # wineboot returns while the prefix is still being filled; the server ends when it is done.
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    print(f"wine prefix {prefix} created in {time.monotonic() - started:.1f} s")


def unix_to_windows(path):
    """The Windows name of a Unix path, through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    """Context manager: Xvfb (when `display`) and a persistent wineserver for `prefix`. With arch
    "win64" the prefix is a 64-bit one and `run` starts programs with the 64-bit loader."""

    def __init__(self, prefix, display=True, arch="win32"):
        self.prefix = prefix
        self.display = display
        self.arch = arch
        self.loader = WINE_LOADER_64 if arch == "win64" else "wine"
        self.env = base_environment(prefix, arch)
        self.xvfb = None
        self.server = False

    def __enter__(self):
        if not os.path.isdir(os.path.join(self.prefix, "drive_c")):
            boot_prefix(self.prefix, self.arch)
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

    def popen(self, arguments, **options):
        options.setdefault("env", self.env)
        return subprocess.Popen([self.loader] + arguments, **options)

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
