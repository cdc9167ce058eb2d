#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

// Makes the far side's throwaway certificates: the web service's HTTPS identity (in
// memory; the client does not verify it) and the VPN server's small CA set (files
// handed to the VPN server program).
class CertificateFactory
{
public:
    struct KeyDeleter
    {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    struct CertificateDeleter
    {
        void operator()(X509* certificate) const { X509_free(certificate); }
    };
    using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;
    using CertificatePtr = std::unique_ptr<X509, CertificateDeleter>;

    // Subject and issuer CN = `host`, subjectAltName = the host as an IP address or a
    // DNS name, valid from now for `days` days. Returns false with a reason from
    // OpenSSL when a step fails.
    static bool Create(const std::string& host, int days, KeyPtr* key, CertificatePtr* certificate,
                       std::string* error);

    // ca.crt, server.crt and server.key (owner-only) in `folder`, like a small offline
    // CA would make them: RSA 2048 keys, valid from an hour ago for 30 days. False with
    // a reason.
    static bool WriteVpnCertificates(const std::filesystem::path& folder, std::string* error);

private:
    // Adds the extension `nid` = `value` to `certificate`, issued by `issuer`.
    static bool AddExtension(X509* certificate, X509* issuer, int nid, const char* value);
    // An RSA certificate for `commonName`, signed by `issuer` with `issuerKey`, or
    // self-signed when no issuer is given; null when a step fails.
    static CertificatePtr MakeRsaCertificate(const char* commonName, EVP_PKEY* key, X509* issuer,
                                             EVP_PKEY* issuerKey, long serial,
                                             const std::vector<std::pair<int, const char*>>& extensions);
};
