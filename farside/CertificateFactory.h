#pragma once

#include <memory>
#include <string>

#include <openssl/evp.h>
#include <openssl/x509.h>

// Makes the web service's HTTPS identity in memory at start: an EC (P-256) key and
// a self-signed X.509 certificate for the service host. Nothing is written to disk;
// the client does not verify certificates, so a throwaway one is enough.
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
};
