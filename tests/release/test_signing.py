# Tovinel: checks of tools/sign.sh with a throwaway certificate and time-stamping authority: signatures
# that verify, files that keep every executable and resource fact, failures that leave the file alone
# and say why in one line, and a password that never reaches a command line, an output or a trace;
# and of check_exe.py --verify's one-line reasons.
"""Usage: /usr/bin/python3 tests/release/test_signing.py tovinel.exe [brand.json]"""
import http.server
import os
import secrets
import shlex
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import threading

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SIGN = os.path.join(ROOT, "tools", "sign.sh")
CHECK_EXE = os.path.join(ROOT, "tools", "check_exe.py")
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
import check_exe  # noqa: E402
from facts import report_facts  # noqa: E402
sys.path.insert(0, os.path.join(ROOT, "tests", "resources"))
import test_resources  # noqa: E402

# Stands in front of osslsigncode on PATH and writes down every command line it is given.
RECORDER = """#!/bin/sh
printf '%s\\n' "$0 $*" >> "$TOVINEL_TEST_COMMAND_LOG"
exec /usr/bin/osslsigncode "$@"
"""


def throwaway_certificate(work, password):
    """A self-signed code signing certificate: PEM certificate and encrypted key, and PKCS#12."""
    env = dict(os.environ, PASSWORD=password)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-days", "2",
                    "-subj", "/CN=Tovinel Test Publisher", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", "key.pem", "-out", "cert.pem", "-passout", "env:PASSWORD"],
                   cwd=work, env=env, check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-in", "cert.pem", "-inkey", "key.pem",
                    "-passin", "env:PASSWORD", "-passout", "env:PASSWORD", "-out", "cert.p12"],
                   cwd=work, env=env, check=True, capture_output=True)


# A time-stamping authority of this test's own, answered by openssl ts.
TSA_CONFIG = """[tsa]
default_tsa = test_tsa
[test_tsa]
serial = %(dir)s/serial
crypto_device = builtin
signer_cert = %(dir)s/tsa.pem
signer_key = %(dir)s/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def start_timestamp_server(folder):
    """An RFC 3161 server on a local port; returns (server, its URL). server.shutdown() ends it."""
    os.makedirs(folder)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Tovinel Test Time Stamps", "-addext", "extendedKeyUsage=critical,timeStamping",
                    "-keyout", os.path.join(folder, "tsa.key"), "-out", os.path.join(folder, "tsa.pem")],
                   check=True, capture_output=True)
    config = os.path.join(folder, "tsa.cnf")
    with open(config, "w") as f:
        f.write(TSA_CONFIG % {"dir": folder})

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", "/dev/stdin",
                                    "-out", "/dev/stdout"], input=query, capture_output=True).stdout
            self.send_response(200 if reply else 500)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d/" % server.server_address[1]


def closed_port():
    """A local port nothing listens on: a timestamp server that cannot be reached."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main(argv):
    if len(argv) not in (1, 2):
        print(__doc__, file=sys.stderr)
        return 2
    exe = os.path.abspath(argv[0])
    record = argv[1:]
    with open(exe, "rb") as f:
        original = f.read()
    pe = pefile.PE(data=original)
    facts = [("the file to sign is unsigned", None, check_exe.certificate_table(pe))]
    # What signing may change in the image: the checksum and the certificate table's directory entry.
    checksum = pe.OPTIONAL_HEADER.get_file_offset() + 64
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    signing_fields = set(range(checksum, checksum + 4)) | set(range(entry.get_file_offset(),
                                                                     entry.get_file_offset() + 8))
    password = "pw-" + secrets.token_hex(12)
    work = tempfile.mkdtemp(prefix="tovinel-sign-")
    try:
        throwaway_certificate(work, password)
        bin_dir = os.path.join(work, "bin")
        os.mkdir(bin_dir)
        with open(os.path.join(bin_dir, "osslsigncode"), "w") as f:
            f.write(RECORDER)
        os.chmod(os.path.join(bin_dir, "osslsigncode"), 0o755)
        with open(os.path.join(work, "password"), "w") as f:
            f.write(password + "\n")
        command_log = os.path.join(work, "commands")
        base_env = {k: v for k, v in os.environ.items() if not k.startswith("TOVINEL_")}
        base_env.update(PATH=bin_dir + os.pathsep + os.environ["PATH"], TOVINEL_TEST_COMMAND_LOG=command_log)
        p12, cert, key = (os.path.join(work, n) for n in ("cert.p12", "cert.pem", "key.pem"))
        wrong = os.path.join(work, "wrong")
        with open(wrong, "w") as f:
            f.write("not-" + password)

        # (name, sign.sh arguments, environment, whether it signs, what its one line on stderr says:
        # the reason of a failure, or the warning of a signature without a time stamp)
        unreachable = "http://127.0.0.1:%d/" % closed_port()
        server, timestamp_url = start_timestamp_server(os.path.join(work, "tsa"))
        tsa_ca = os.path.join(work, "tsa", "tsa.pem")
        no_time_stamp = "warning: no time stamp (--timestamp URL, TOVINEL_TIMESTAMP_URL): the signature stops " \
            "being valid when the certificate expires, on "
        build = os.path.join(work, "build")
        os.makedirs(os.path.join(build, "win32"))
        open(os.path.join(build, "CMakeCache.txt"), "w").close()
        cases = [
            ("timestamped by an RFC 3161 server, with a description and a URL",
             ["--pkcs12", p12, "--timestamp", timestamp_url, "--description", "Sternkarte 2027",
              "--url", "https://nordlicht.example/"], {"TOVINEL_SIGN_PASSWORD": password}, True, None),
            ("PKCS#12, password from the environment", ["--pkcs12", p12], {"TOVINEL_SIGN_PASSWORD": password}, True,
             no_time_stamp),
            ("PKCS#12 and password file from the environment", [],
             {"TOVINEL_SIGN_PKCS12": p12, "TOVINEL_SIGN_PASSWORD_FILE": os.path.join(work, "password"),
              "TOVINEL_TIMESTAMP_URL": timestamp_url}, True, None),
            ("PEM certificate and key, password file", ["--cert", cert, "--key", key, "--password-file",
                                                         os.path.join(work, "password")], {}, True, no_time_stamp),
            ("traced with bash -x", ["--pkcs12", p12], {"TOVINEL_SIGN_PASSWORD": password, "TRACE": "1"}, True,
             no_time_stamp),
            ("wrong password", ["--pkcs12", p12, "--password-file", wrong], {}, False,
             "sign: the password from %s does not open %s; " % (wrong, p12)),
            ("no password", ["--pkcs12", p12], {}, False,
             "sign: %s is protected by a password and none was given: put it in a file" % p12),
            ("PEM key, no password, at a terminal, where OpenSSL would ask and wait",
             ["--cert", cert, "--key", key], {"TERMINAL": "1"}, False,
             "sign: %s is protected by a password and none was given" % key),
            ("password given on the command line", ["--pkcs12", p12, "--password=" + password], {}, False,
             "sign: no password on the command line"),
            ("timestamp server unreachable", ["--pkcs12", p12, "--timestamp", unreachable],
             {"TOVINEL_SIGN_PASSWORD": password}, False,
             "sign: no time stamp from %s: nothing answers there (Connection refused); " % unreachable),
            ("timestamp server's name unknown", ["--pkcs12", p12, "--timestamp", "http://tovinel-test.invalid/"],
             {"TOVINEL_SIGN_PASSWORD": password}, False,
             "sign: no time stamp from http://tovinel-test.invalid/: its host name does not resolve ("),
            ("URL that is no web address", ["--pkcs12", p12, "--url", "nordlicht.example"],
             {"TOVINEL_SIGN_PASSWORD": password}, False, "sign: --url 'nordlicht.example' is no web address"),
            ("a build's output in place", ["--pkcs12", p12, "--out", os.path.join(build, "win32", "tovinel.exe")],
             {"TOVINEL_SIGN_PASSWORD": password}, False, "is a build's output (%s is a build folder)" % build),
            ("no certificate", [], {"TOVINEL_SIGN_PASSWORD": password}, False, "sign: no certificate: give"),
        ]
        for name, args, env, signs, says in cases:
            target = os.path.join(work, "tovinel.exe")
            shutil.copyfile(exe, target)
            os.chmod(target, 0o755)
            if os.path.exists(command_log):
                os.unlink(command_log)
            command = (["bash", "-x"] if env.pop("TRACE", None) else []) + [SIGN] + args + [target]
            if env.pop("TERMINAL", None):
                # script gives the run a terminal of its own; what it shows there comes back on stdout.
                command = ["script", "-qec", shlex.join(command), "/dev/null"]
            try:
                run = subprocess.run(command, env=dict(base_env, **env), capture_output=True, text=True,
                                     stdin=subprocess.DEVNULL, timeout=60)
                shown = (run.stderr if command[0] != "script" else run.stdout).replace("\r", "")
                shown = "".join(line for line in shown.splitlines(True) if not line.startswith("+ "))  # bash -x
            except subprocess.TimeoutExpired:
                run, shown = subprocess.CompletedProcess(command, "timed out", "", ""), ""
            with open(target, "rb") as f:
                signed = f.read()
            commands = open(command_log).read() if os.path.exists(command_log) else ""
            leaked = [where for where, text in (("command lines", commands), ("output", run.stdout + run.stderr))
                      if password in text and "command line" not in name]
            facts.append((name + ": password in no command line, output or trace", [], leaked))
            facts.append((name + ": exit status", 0 if signs else 1, run.returncode))
            facts.append((name + ": one line on stderr, saying why", (1, True) if says else (0, True),
                          (len(shown.splitlines()), says is None or says in shown), repr(shown)))
            leftovers = [n for n in os.listdir(work) if n.startswith(".sign-")] + \
                [n for n in os.listdir(os.path.join(build, "win32"))]
            facts.append((name + ": no temporary or output files left", [], leftovers))
            if not signs:
                facts.append((name + ": file untouched", True, signed == original))
                if "timestamp" in name:
                    facts.append((name + ": asked the server by RFC 3161", True, "-ts http://" in commands))
                continue
            facts.append((name + ": SHA-256 asked for", True, "-h sha256" in commands))
            verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-TSA-CAfile", tsa_ca, "-in", target],
                                    capture_output=True, text=True).stdout
            if says is None:
                facts.append((name + ": the time stamp verifies", True,
                              "Timestamp Server Signature verification: ok" in verify))
            if "--description" in args:
                facts.append((name + ": description and URL in the signature", [True, True],
                              ["Text description: Sternkarte 2027" in verify,
                               "URL description: https://nordlicht.example/" in verify]))
            kept = check_exe.facts(pefile.PE(data=signed), signed) + check_exe.signature_facts(target, [cert, tsa_ca])[0]
            facts.append((name + ": verifies and keeps every executable fact", [],
                          [(fact, actual) for fact, expected, actual, *_ in kept if expected != actual]))
            kept = test_resources.all_facts(target, test_resources.load_record(*record))
            facts.append((name + ": keeps every resource fact", [],
                          [(fact, actual) for fact, expected, actual in kept if expected != actual]))
            facts.append((name + ": before the signature, the file as built but for the checksum and "
                          "the table's place", [], [i for i, (a, b) in enumerate(zip(original, signed))
                                                    if a != b and i not in signing_fields]))
            facts.append((name + ": mode kept", 0o755, stat.S_IMODE(os.stat(target).st_mode)))

        # Signing again replaces the signature instead of nesting a second one.
        runs = [subprocess.run([SIGN, "--pkcs12", p12, target], env=dict(base_env, TOVINEL_SIGN_PASSWORD=password),
                               capture_output=True, text=True).returncode for _ in range(2)]
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", target],
                                capture_output=True, text=True)
        facts.append(("signing a signed file again: one signature", ([0, 0], True),
                      (runs, "Number of verified signatures: 1" in verify.stdout)))

        # check_exe.py --verify: (name, file, --ca files, exit status, the line that says why)
        stamped, changed = os.path.join(work, "stamped.exe"), os.path.join(work, "changed.exe")
        subprocess.run([SIGN, "--pkcs12", p12, "--timestamp", timestamp_url, "--out", stamped, exe],
                       env=dict(base_env, TOVINEL_SIGN_PASSWORD=password), check=True, capture_output=True)
        with open(target, "rb") as f:
            data = bytearray(f.read())
        data[pe.sections[0].PointerToRawData] ^= 1  # a byte of the code, after signing
        with open(changed, "wb") as f:
            f.write(data)
        unknown = " chains to none of this machine's CA certificates%s (self-signed certificate): give the " \
            "certificate of its CA, or a test certificate itself, with --ca FILE"
        for name, path, cas, status, says in [
            ("a test CA given with --ca", target, [cert], 0,
             "note: no time stamp: the signature stops being valid when the certificate expires, on "),
            ("a CA this machine does not know", target, [], 1,
             "FAIL signature verifies: the certificate of /CN=Tovinel Test Publisher" + unknown % ""),
            ("a file changed after signing", changed, [cert], 1,
             "FAIL signature verifies: the file changed after it was signed"),
            ("an unsigned file", exe, [cert], 1, "FAIL signed: the file carries no signature: tools/sign.sh signs it"),
            ("a time stamp by an authority this machine does not know", stamped, [cert], 1,
             "FAIL time stamp verifies: the time stamp of /CN=Tovinel Test Time Stamps" + unknown % (
                 " or those in " + cert)),
            ("a time stamp, both CAs given", stamped, [cert, tsa_ca], 0, None),
        ]:
            run = subprocess.run(["/usr/bin/python3", CHECK_EXE, "--verify"] + [a for ca in cas for a in ("--ca", ca)]
                                 + [path], capture_output=True, text=True)
            lines = run.stdout.splitlines()
            facts.append(("check_exe.py --verify, " + name + ": status, the line, every failure in one line",
                          (status, True, []),
                          (run.returncode, says is None or any(line.startswith(says) for line in lines),
                           [line for line in lines if line.startswith("  expected")]), run.stdout))
        # check_exe.py's own size facts fail when something rides behind the signature.
        with open(target, "rb") as f:
            padded = f.read() + b"\0" * 8
        failed = [name for name, expected, actual in check_exe.facts(pefile.PE(data=padded), padded)
                  if expected != actual]
        facts.append(("bytes after the certificate table are caught", ["certificate table ends the file"], failed))
        server.shutdown()
    finally:
        shutil.rmtree(work)
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
