#include "CertificateFactory.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <cstdio>

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

bool WritePem(const std::filesystem::path& path, X509* certificate, EVP_PKEY* key)
{
    FILE* file = fopen(path.c_str(), "w");
    if (!file)
        return false;
    const bool written = certificate
                             ? PEM_write_X509(file, certificate) == 1
                             : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return fclose(file) == 0 && written;
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
    if (!AddExtension(cert.get(), cert.get(), NID_subject_alt_name, altName.c_str()) ||
        !AddExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(cert.get(), cert.get(), NID_ext_key_usage, "serverAuth"))
        return Fail("extensions", error);

    if (X509_sign(cert.get(), newKey.get(), EVP_sha256()) == 0)
        return Fail("signature", error);

    *key = std::move(newKey);
    *certificate = std::move(cert);
    return true;
}

bool CertificateFactory::AddExtension(X509* certificate, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

CertificateFactory::CertificatePtr
CertificateFactory::MakeRsaCertificate(const char* commonName, EVP_PKEY* key, X509* issuer,
                                       EVP_PKEY* issuerKey, long serial,
                                       const std::vector<std::pair<int, const char*>>& extensions)
{
    CertificatePtr certificate(X509_new());
    if (!certificate)
        return nullptr;
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 30L * 24 * 3600);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : certificate.get();
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(signer));
    for (const auto& [nid, value] : extensions)
        if (!AddExtension(certificate.get(), signer, nid, value))
            return nullptr;
    if (X509_sign(certificate.get(), issuerKey ? issuerKey : key, EVP_sha256()) <= 0)
        return nullptr;
    return certificate;
}

bool CertificateFactory::WriteVpnCertificates(const std::filesystem::path& folder, std::string* error)
{
    KeyPtr caKey(EVP_RSA_gen(2048));
    KeyPtr serverKey(EVP_RSA_gen(2048));
    if (!caKey || !serverKey) {
        *error = "cannot make RSA keys";
        return false;
    }
    CertificatePtr ca = MakeRsaCertificate("lumetra-farside-ca", caKey.get(), nullptr, nullptr, 1,
                                           {{NID_basic_constraints, "critical,CA:TRUE"},
                                            {NID_key_usage, "critical,keyCertSign,cRLSign"},
                                            {NID_subject_key_identifier, "hash"}});
    CertificatePtr server =
        ca ? MakeRsaCertificate("lumetra-farside-vpn", serverKey.get(), ca.get(), caKey.get(), 2,
                                {{NID_basic_constraints, "CA:FALSE"},
                                 {NID_key_usage, "critical,digitalSignature,keyEncipherment"},
                                 {NID_ext_key_usage, "serverAuth"},
                                 {NID_subject_key_identifier, "hash"},
                                 {NID_authority_key_identifier, "keyid,issuer"}})
           : nullptr;
    if (!ca || !server) {
        *error = "cannot make the VPN server's certificates";
        return false;
    }
    if (!WritePem(folder / "ca.crt", ca.get(), nullptr) ||
        !WritePem(folder / "server.crt", server.get(), nullptr) ||
        !WritePem(folder / "server.key", nullptr, serverKey.get())) {
        *error = "cannot write the VPN server's certificates in " + folder.string();
        return false;
    }
    std::filesystem::permissions(folder / "server.key",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return true;
}
