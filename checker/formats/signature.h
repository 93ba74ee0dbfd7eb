// Tovinel check, file formats: the publisher AutoPlay names for a signed program, read from its
// Authenticode signature. Through OpenSSL on Linux, Windows' own crypto API in tovinel-check.exe.
#pragma once

#include <string>

// The signer's name as Windows shows it for the publisher ("Published by ..."): the simple display
// name of the certificate that signed `signature`, a PKCS#7 SignedData (DER) as a program's
// certificate table holds it: the subject's common name, else its first organisational unit,
// organisation or e-mail address. UTF-8; "" when the signature cannot be read or names no signer.
// Says nothing of trust: Windows shows the name only where the certificate chains to a root it
// trusts.
std::string signature_signer_name(const std::string& signature);
