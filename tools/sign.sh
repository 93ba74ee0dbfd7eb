#!/usr/bin/env bash
# Tovinel: signs tovinel.exe (or any of the release's Windows programs) with the publisher's code
# signing certificate: Authenticode, SHA-256, by osslsigncode; optionally timestamped.
#
# Usage: tools/sign.sh [--pkcs12 FILE | --cert FILE --key FILE] [--password-file FILE]
#                      [--timestamp URL] [--out FILE] IN.exe
# Each option may come from the environment instead: TOVINEL_SIGN_PKCS12, TOVINEL_SIGN_CERT,
# TOVINEL_SIGN_KEY, TOVINEL_SIGN_PASSWORD_FILE, TOVINEL_TIMESTAMP_URL; and the password itself from
# TOVINEL_SIGN_PASSWORD. There is no option for the password: a command line can be read by every
# user of the machine and lands in shell histories and build logs.
#
# Writes OUT (default: IN, replaced) only when the signed file keeps every fact check_exe.py found
# in IN; an old signature is replaced, not nested. Exit status 0 signed, 1 failed, 2 usage.
set -euo pipefail
# Nothing below expands the password; a caller's `bash -x` is switched off all the same, so that no
# later change can print it into a build log.
set +x
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
    sed -n '5,6p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
fail() {
    echo "sign: $*" >&2
    exit 1
}

pkcs12=${TOVINEL_SIGN_PKCS12:-}
cert=${TOVINEL_SIGN_CERT:-}
key=${TOVINEL_SIGN_KEY:-}
password_file=${TOVINEL_SIGN_PASSWORD_FILE:-}
timestamp=${TOVINEL_TIMESTAMP_URL:-}
out=
input=
while [ $# -gt 0 ]; do
    case $1 in
        --pkcs12) pkcs12=${2:?}; shift 2 ;;
        --cert) cert=${2:?}; shift 2 ;;
        --key) key=${2:?}; shift 2 ;;
        --password-file) password_file=${2:?}; shift 2 ;;
        --timestamp) timestamp=${2:?}; shift 2 ;;
        --out) out=${2:?}; shift 2 ;;
        --pass | --password | --pass=* | --password=* | -pass)
            fail "no password on the command line: every user can read it there. Put it in a file" \
                 "(--password-file, TOVINEL_SIGN_PASSWORD_FILE) or in TOVINEL_SIGN_PASSWORD" ;;
        -h | --help) usage ;;
        -*) echo "sign: unknown option $1" >&2; usage ;;
        *) [ -z "$input" ] || usage; input=$1; shift ;;
    esac
done
[ -n "$input" ] || usage
out=${out:-$input}
[ -f "$input" ] || fail "$input: no such file"

signer=()
if [ -n "$pkcs12" ]; then
    [ -z "$cert$key" ] || fail "give either a PKCS#12 file or a certificate and a key, not both"
    [ -r "$pkcs12" ] || fail "$pkcs12: cannot read the PKCS#12 file"
    signer=(-pkcs12 "$pkcs12")
elif [ -n "$cert" ] && [ -n "$key" ]; then
    [ -r "$cert" ] || fail "$cert: cannot read the certificate"
    [ -r "$key" ] || fail "$key: cannot read the key"
    signer=(-certs "$cert" -key "$key")
else
    fail "no certificate: give --pkcs12 FILE, or --cert FILE and --key FILE (PEM)"
fi

# The password reaches osslsigncode as the name of a file it reads: the file itself, or a pipe that
# printenv fills from the environment. Neither puts the password on a command line.
password=()
if [ -n "$password_file" ]; then
    [ -r "$password_file" ] || fail "$password_file: cannot read the password file"
    password=(-readpass "$password_file")
elif [ -n "${TOVINEL_SIGN_PASSWORD+set}" ]; then
    password=(-readpass /dev/fd/3)
fi

stamp=()
if [ -n "$timestamp" ]; then
    stamp=(-ts "$timestamp")  # RFC 3161: the signature stays valid after the certificate expires
fi

work=$(mktemp -d "$(dirname "$out")/.sign-XXXXXX")
trap 'rm -rf "$work"' EXIT
unsigned=$input
# Signing a signed file would nest a second signature; the publisher means to replace the first.
if osslsigncode extract-signature -in "$input" -out "$work/old-signature" >/dev/null 2>&1; then
    osslsigncode remove-signature -in "$input" -out "$work/unsigned.exe" >/dev/null ||
        fail "$input: cannot remove its old signature"
    unsigned=$work/unsigned.exe
fi

sign() {
    osslsigncode sign "${signer[@]}" "${password[@]}" -h sha256 "${stamp[@]}" \
        -in "$unsigned" -out "$work/signed.exe"
}
status=0
if [ -n "${TOVINEL_SIGN_PASSWORD+set}" ] && [ -z "$password_file" ]; then
    sign 3< <(printenv TOVINEL_SIGN_PASSWORD) >"$work/log" 2>&1 || status=$?
else
    sign >"$work/log" 2>&1 || status=$?
fi
if [ "$status" -ne 0 ]; then
    sed 's/^/  /' "$work/log" >&2
    fail "osslsigncode could not sign $input; $out is unchanged"
fi
# The facts check_exe.py finds missing must be the same before and after: none for tovinel.exe;
# a few for the Windows checker, which links the C++ runtime.
failed_facts() {
    /usr/bin/python3 "$root/tools/check_exe.py" "$1" | grep '^FAIL' || true
}
if [ "$(failed_facts "$unsigned")" != "$(failed_facts "$work/signed.exe")" ]; then
    /usr/bin/python3 "$root/tools/check_exe.py" "$work/signed.exe" >&2 || true
    fail "the signed file lost facts of the executable; $out is unchanged"
fi
chmod --reference="$input" "$work/signed.exe"
mv -f "$work/signed.exe" "$out"
echo "sign: $out signed (SHA-256${timestamp:+, timestamped by $timestamp}): $(stat -c %s "$out") bytes"
