#include "CertificateFactory.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

namespace {

bool Fail(const char* step, std::string* error)
{
    unsigned long code = ERR_get_error();
    char reason[256] = "unknown error";
    if (code)
        ERR_error_string_n(code, reason, sizeof reason);
    *error = std::string("cannot make the HTTPS certificate (") + step + "): " + reason;
    ERR_clear_error();
    return false;
}

bool IsIpAddress(const std::string& host)
{
    unsigned char buffer[sizeof(struct in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

bool AddExtension(X509* certificate, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension)
        return false;
    bool ok = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return ok;
}

} // namespace

bool CertificateFactory::Create(const std::string& host, int days, KeyPtr* key, CertificatePtr* certificate,
                                std::string* error)
{
    KeyPtr newKey(EVP_EC_gen("P-256"));
    if (!newKey)
        return Fail("key", error);

    CertificatePtr cert(X509_new());
    if (!cert || X509_set_version(cert.get(), 2) != 1)
        return Fail("certificate", error);

    // A random positive 64-bit serial number.
    unsigned char serialBytes[8];
    if (RAND_bytes(serialBytes, sizeof serialBytes) != 1)
        return Fail("serial number", error);
    serialBytes[0] &= 0x7F;
    BIGNUM* serial = BN_bin2bn(serialBytes, sizeof serialBytes, nullptr);
    bool serialOk = serial && BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.get())) != nullptr;
    BN_free(serial);
    if (!serialOk)
        return Fail("serial number", error);

    if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(days) * 24 * 3600))
        return Fail("validity", error);

    X509_NAME* name = X509_get_subject_name(cert.get());
    if (X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0) != 1 ||
        X509_set_issuer_name(cert.get(), name) != 1)
        return Fail("name", error);

    if (X509_set_pubkey(cert.get(), newKey.get()) != 1)
        return Fail("public key", error);
    std::string altName = (IsIpAddress(host) ? "IP:" : "DNS:") + host;
    if (!AddExtension(cert.get(), NID_subject_alt_name, altName) ||
        !AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(cert.get(), NID_ext_key_usage, "serverAuth"))
        return Fail("extensions", error);

    if (X509_sign(cert.get(), newKey.get(), EVP_sha256()) == 0)
        return Fail("signature", error);

    *key = std::move(newKey);
    *certificate = std::move(cert);
    return true;
}
