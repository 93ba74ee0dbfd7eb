// Tovinel check, Windows only: the signer of an Authenticode signature through Windows' own crypto
// API, as Explorer and AutoPlay read it. Reads only; verifies nothing.
#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <string>

#include "formats/signature.h"

std::string signature_signer_name(const std::string& signature)
{
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(signature.size()),
                         reinterpret_cast<BYTE*>(const_cast<char*>(signature.data()))};
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &blob, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &message, nullptr))
        return "";
    std::string name;
    DWORD size = 0;
    if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) && size != 0) {
        std::string info(size, '\0');
        if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, &info[0], &size)) {
            PCCERT_CONTEXT signer = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                               CERT_FIND_SUBJECT_CERT, &info[0], nullptr);
            if (signer != nullptr) {
                wchar_t wide[256];
                DWORD length = CertGetNameStringW(signer, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, wide, 256);
                if (length > 1)
                    name = std::filesystem::path(std::wstring(wide, length - 1)).u8string();
                CertFreeCertificateContext(signer);
            }
        }
    }
    CryptMsgClose(message);
    CertCloseStore(store, 0);
    return name;
}
