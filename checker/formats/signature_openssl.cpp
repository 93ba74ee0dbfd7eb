// Tovinel check: the signer of an Authenticode signature through OpenSSL's PKCS#7 reader, which the
// Linux build links (libcrypto). Reads only; verifies nothing.
#include "formats/signature.h"

#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

namespace {

// The first entry of `nid` in `name`, as UTF-8; "" when there is none.
std::string name_entry(X509_NAME* name, int nid)
{
    int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
        return "";
    unsigned char* text = nullptr;
    int length = ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    std::string out = length > 0 ? std::string(reinterpret_cast<char*>(text), static_cast<size_t>(length)) : "";
    OPENSSL_free(text);
    return out;
}

}  // namespace

std::string signature_signer_name(const std::string& signature)
{
    const unsigned char* at = reinterpret_cast<const unsigned char*>(signature.data());
    PKCS7* message = d2i_PKCS7(nullptr, &at, static_cast<long>(signature.size()));
    if (message == nullptr)
        return "";
    std::string name;
    // The signer certificate is found by the issuer and serial number its SignerInfo names.
    STACK_OF(X509)* signers = PKCS7_type_is_signed(message) ? PKCS7_get0_signers(message, nullptr, 0) : nullptr;
    if (signers != nullptr && sk_X509_num(signers) > 0) {
        X509_NAME* subject = X509_get_subject_name(sk_X509_value(signers, 0));
        for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
            name = name_entry(subject, nid);
            if (!name.empty())
                break;
        }
    }
    sk_X509_free(signers);
    PKCS7_free(message);
    return name;
}
