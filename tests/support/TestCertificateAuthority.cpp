#include "support/TestCertificateAuthority.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace whois::test {

namespace {

constexpr long kValidSeconds = 7L * 24 * 3600;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

EVP_PKEY* NewKey()
{
    return EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
}

bool AddExtension(X509* cert, X509V3_CTX& context, int nid, const std::string& value)
{
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) {
        return false;
    }
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

bool IsAddress(const std::string& name)
{
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, name.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

// A certificate for `key`, signed by `issuerKey` as `issuer` (itself when null).
X509* MakeCertificate(EVP_PKEY* key, const std::string& commonName, std::uint64_t serial,
                      X509* issuer, EVP_PKEY* issuerKey,
                      const std::vector<std::pair<int, std::string>>& extensions)
{
    X509* cert = X509_new();
    if (cert == nullptr) {
        return nullptr;
    }
    X509_NAME* name = X509_get_subject_name(cert);
    const bool made =
        X509_set_version(cert, X509_VERSION_3) == 1 &&
        ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert), serial) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600) != nullptr &&
        X509_gmtime_adj(X509_getm_notAfter(cert), kValidSeconds) != nullptr &&
        X509_set_pubkey(cert, key) == 1 &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0) == 1 &&
        X509_set_issuer_name(cert, issuer != nullptr ? X509_get_subject_name(issuer) : name) == 1;
    if (!made) {
        X509_free(cert);
        return nullptr;
    }
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer != nullptr ? issuer : cert, cert, nullptr, nullptr, 0);
    for (const auto& [nid, value] : extensions) {
        if (!AddExtension(cert, context, nid, value)) {
            X509_free(cert);
            return nullptr;
        }
    }
    if (X509_sign(cert, issuerKey, EVP_sha256()) == 0) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

bool WriteCertificate(const std::filesystem::path& path, X509* cert)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "w"));
    return file && PEM_write_X509(file.get(), cert) == 1;
}

bool WriteKey(const std::filesystem::path& path, EVP_PKEY* key)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "w"));
    return file &&
           PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

} // namespace

TestCertificateAuthority::TestCertificateAuthority(std::string name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "whois-ca-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    folder_ = pattern;
    key_ = NewKey();
    if (key_ == nullptr) {
        return;
    }
    X509* cert = MakeCertificate(key_, name, ++issued_, nullptr, key_,
                                 {{NID_basic_constraints, "critical,CA:TRUE"},
                                  {NID_key_usage, "critical,keyCertSign,cRLSign"},
                                  {NID_subject_key_identifier, "hash"}});
    const std::filesystem::path file = folder_ / "ca.pem";
    if (cert == nullptr || !WriteCertificate(file, cert)) {
        X509_free(cert);
        return;
    }
    cert_ = cert;
    caFile_ = file.string();
}

TestCertificateAuthority::~TestCertificateAuthority()
{
    X509_free(cert_);
    EVP_PKEY_free(key_);
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

ServerCertificate TestCertificateAuthority::Issue(const std::vector<std::string>& names)
{
    if (!Valid() || names.empty()) {
        return {};
    }
    std::string alternatives;
    for (const std::string& name : names) {
        alternatives += (alternatives.empty() ? "" : ",");
        alternatives += (IsAddress(name) ? "IP:" : "DNS:") + name;
    }
    EVP_PKEY* key = NewKey();
    if (key == nullptr) {
        return {};
    }
    const std::uint64_t serial = ++issued_;
    X509* cert = MakeCertificate(key, names.front(), serial, cert_, key_,
                                 {{NID_basic_constraints, "critical,CA:FALSE"},
                                  {NID_key_usage, "critical,digitalSignature"},
                                  {NID_ext_key_usage, "serverAuth"},
                                  {NID_subject_key_identifier, "hash"},
                                  {NID_authority_key_identifier, "keyid:always"},
                                  {NID_subject_alt_name, alternatives}});
    const std::string stem = "server-" + std::to_string(serial);
    ServerCertificate files{(folder_ / (stem + ".pem")).string(),
                            (folder_ / (stem + ".key")).string()};
    const bool written =
        cert != nullptr && WriteCertificate(files.certFile, cert) && WriteKey(files.keyFile, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    return written ? files : ServerCertificate{};
}

} // namespace whois::test
