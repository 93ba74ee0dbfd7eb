#!/usr/bin/env bash
# Tovinel: signs tovinel.exe (or any of the release's Windows programs) with the publisher's code
# signing certificate: Authenticode, SHA-256, by osslsigncode; timestamped when a server is given.
#
# Usage: tools/sign.sh [--pkcs12 FILE | --cert FILE --key FILE] [--password-file FILE]
#                      [--timestamp URL] [--description TEXT] [--url URL] [--out FILE] IN.exe
# Each option may come from the environment instead: TOVINEL_SIGN_PKCS12, TOVINEL_SIGN_CERT,
# TOVINEL_SIGN_KEY, TOVINEL_SIGN_PASSWORD_FILE, TOVINEL_TIMESTAMP_URL, TOVINEL_SIGN_DESCRIPTION,
# TOVINEL_SIGN_URL; and the password itself from TOVINEL_SIGN_PASSWORD. There is no option for the
# password: a command line can be read by every user of the machine and lands in shell histories and
# build logs.
#
# Writes OUT (default: IN, replaced) only when the signed file keeps every fact check_exe.py found
# in IN; an old signature is replaced, not nested. OUT may not lie in a CMake build folder: a build
# output signed in place is what later builds and releases would take up again, stale.
# Exit status 0 signed, 1 failed, 2 usage.
set -euo pipefail
# Nothing below expands the password; a caller's `bash -x` is switched off all the same, so that no
# later change can print it into a build log.
set +x
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
    sed -n '5,11p' "$0" | sed 's/^# \{0,1\}//' >&2
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
description=${TOVINEL_SIGN_DESCRIPTION:-}
url=${TOVINEL_SIGN_URL:-}
out=
input=
while [ $# -gt 0 ]; do
    case $1 in
        --pkcs12) pkcs12=${2:?}; shift 2 ;;
        --cert) cert=${2:?}; shift 2 ;;
        --key) key=${2:?}; shift 2 ;;
        --password-file) password_file=${2:?}; shift 2 ;;
        --timestamp) timestamp=${2:?}; shift 2 ;;
        --description) description=${2:?}; shift 2 ;;
        --url) url=${2:?}; shift 2 ;;
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
case $url in
    "" | http://* | https://*) ;;
    *) fail "--url '$url' is no web address: give one that starts with https:// (or http://)" ;;
esac

# A CMake build folder holds CMakeCache.txt at its top: OUT in one, or below one, is a build's output.
folder=$(cd "$(dirname "$out")" 2>/dev/null && pwd -P) || fail "$(dirname "$out"): no such folder"
while [ "$folder" != / ]; do
    [ ! -f "$folder/CMakeCache.txt" ] ||
        fail "$out is a build's output ($folder is a build folder): sign a copy, --out FILE outside the build"
    folder=$(dirname "$folder")
done

signer=()
key_file=
if [ -n "$pkcs12" ]; then
    [ -z "$cert$key" ] || fail "give either a PKCS#12 file or a certificate and a key, not both"
    [ -r "$pkcs12" ] || fail "$pkcs12: cannot read the PKCS#12 file"
    signer=(-pkcs12 "$pkcs12")
    key_file=$pkcs12
elif [ -n "$cert" ] && [ -n "$key" ]; then
    [ -r "$cert" ] || fail "$cert: cannot read the certificate"
    [ -r "$key" ] || fail "$key: cannot read the key"
    signer=(-certs "$cert" -key "$key")
    key_file=$key
else
    fail "no certificate: give --pkcs12 FILE, or --cert FILE and --key FILE (PEM)"
fi

# The password reaches osslsigncode as the name of a file it reads: the file itself, or a pipe that
# printenv fills from the environment. Neither puts the password on a command line.
password=()
password_from=
if [ -n "$password_file" ]; then
    [ -r "$password_file" ] || fail "$password_file: cannot read the password file"
    password=(-readpass "$password_file")
    password_from=$password_file
elif [ -n "${TOVINEL_SIGN_PASSWORD+set}" ]; then
    password=(-readpass /dev/fd/3)
    password_from=TOVINEL_SIGN_PASSWORD
fi

stamp=()
if [ -n "$timestamp" ]; then
    stamp=(-ts "$timestamp")  # RFC 3161: the signature stays valid after the certificate expires
fi
# Shown by Windows where it asks the user about a signed program, as other signing tools set them.
shown=()
[ -z "$description" ] || shown+=(-n "$description")
[ -z "$url" ] || shown+=(-i "$url")

work=$(mktemp -d "$(dirname "$out")/.sign-XXXXXX")
trap 'rm -rf "$work"' EXIT
unsigned=$input
# Signing a signed file would nest a second signature; the publisher means to replace the first.
if osslsigncode extract-signature -in "$input" -out "$work/old-signature" >/dev/null 2>&1; then
    osslsigncode remove-signature -in "$input" -out "$work/unsigned.exe" >/dev/null ||
        fail "$input: cannot remove its old signature"
    unsigned=$work/unsigned.exe
fi

# In a session of its own and with no input, so that OpenSSL cannot ask for a key's password on the
# terminal, hidden behind the log below, and wait there for ever.
sign() {
    setsid -w osslsigncode sign "${signer[@]}" "${password[@]}" -h sha256 "${stamp[@]}" "${shown[@]}" \
        -in "$unsigned" -out "$work/signed.exe" </dev/null
}

# What went wrong, in one line, for the failures a publisher meets; nothing when the log is another's.
why_not_signed() {
    local log=$1 reason
    if grep -q 'mac verify failure' "$log" ||
       { grep -q 'Failed to decode private key' "$log" && grep -q 'ENCRYPTED' "$key_file"; }; then
        if [ -z "$password_from" ]; then
            echo "$key_file is protected by a password and none was given: put it in a file" \
                 "(--password-file FILE, TOVINEL_SIGN_PASSWORD_FILE) or in TOVINEL_SIGN_PASSWORD"
        else
            echo "the password from $password_from does not open $key_file"
        fi
    elif grep -q 'Failed to extract PKCS#12 data' "$log"; then
        echo "$key_file is no PKCS#12 file (.p12, .pfx)"
    elif grep -q 'Failed to decode private key' "$log"; then
        echo "$key_file holds no private key in PEM form"
    elif grep -q 'consistency of a private key' "$log"; then
        echo "$key is not the key of the certificate in $cert"
    elif grep -q 'RFC 3161 timestamping failed' "$log"; then
        if reason=$(grep -o -m1 -e 'Name or service not known' -e 'Temporary failure in name resolution' \
                         -e 'No address associated with hostname' "$log"); then
            reason="its host name does not resolve ($reason), check the URL and the network"
        elif grep -q 'Connection refused' "$log"; then
            reason="nothing answers there (Connection refused)"
        elif reason=$(grep -o 'code=[0-9]*, reason=.*' "$log" | head -1); then
            reason=${reason#code=}
            reason="the server answered HTTP ${reason%%, *} (${reason#*, reason=}), is it the RFC 3161 address?"
        else
            # The reason named by the last OpenSSL error line (":error:code:library:function:reason:...").
            reason=$(grep -o ':error:.*' "$log" | tail -1 | cut -d: -f6)
            reason="it gave none${reason:+ ($reason)}"
        fi
        echo "no time stamp from $timestamp: $reason"
    fi
}

left_alone() {
    if [ -e "$out" ]; then echo "$out is unchanged"; else echo "$out is not written"; fi
}

status=0
if [ -n "${TOVINEL_SIGN_PASSWORD+set}" ] && [ -z "$password_file" ]; then
    sign 3< <(printenv TOVINEL_SIGN_PASSWORD) >"$work/log" 2>&1 || status=$?
else
    sign >"$work/log" 2>&1 || status=$?
fi
if [ "$status" -ne 0 ]; then
    why=$(why_not_signed "$work/log")
    if [ -z "$why" ]; then
        sed 's/^/  /' "$work/log" >&2
        why="osslsigncode could not sign $input"
    fi
    fail "$why; $(left_alone)"
fi
# The facts check_exe.py finds missing must be the same before and after: none for tovinel.exe;
# a few for the Windows checker, which links the C++ runtime.
failed_facts() {
    /usr/bin/python3 "$root/tools/check_exe.py" "$1" | grep '^FAIL' || true
}
if [ "$(failed_facts "$unsigned")" != "$(failed_facts "$work/signed.exe")" ]; then
    /usr/bin/python3 "$root/tools/check_exe.py" "$work/signed.exe" >&2 || true
    fail "the signed file lost facts of the executable; $(left_alone)"
fi
chmod --reference="$input" "$work/signed.exe"
mv -f "$work/signed.exe" "$out"
echo "sign: $out signed (SHA-256${timestamp:+, timestamped by $timestamp}): $(stat -c %s "$out") bytes"
if [ -z "$timestamp" ]; then
    # The signer's certificate is the first one osslsigncode shows, trusted or not.
    expires=$(osslsigncode verify -in "$out" 2>/dev/null | sed -n 's/^[[:space:]]*notAfter : //p' | head -1) ||
        true
    echo "sign: warning: no time stamp (--timestamp URL, TOVINEL_TIMESTAMP_URL): the signature stops" \
         "being valid when the certificate expires${expires:+, on $expires}" >&2
fi
