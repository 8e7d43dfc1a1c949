#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <openssl/types.h>

namespace whois::test {

// PEM files of a server's certificate and private key.
struct ServerCertificate {
    std::string certFile;
    std::string keyFile;
};

// A certificate authority made at run time in a temporary folder of its own, removed when it
// is destroyed: its certificate for clients to trust, and server certificates it signs. Two
// authorities never trust each other's certificates.
class TestCertificateAuthority {
  public:
    explicit TestCertificateAuthority(std::string name = "whois-desktop test authority");
    ~TestCertificateAuthority();
    TestCertificateAuthority(const TestCertificateAuthority&) = delete;
    TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

    // False when the authority could not be made; its files are then missing.
    bool Valid() const { return cert_ != nullptr; }
    // The authority's certificate, for a client's trust store.
    const std::string& CaFile() const { return caFile_; }

    // A server certificate for `names`, the first also its common name. Names that parse as
    // IPv4 or IPv6 addresses become IP entries, the others DNS entries. Empty paths on failure.
    ServerCertificate Issue(const std::vector<std::string>& names);

  private:
    std::filesystem::path folder_;
    std::string caFile_;
    EVP_PKEY* key_ = nullptr;
    X509* cert_ = nullptr;
    std::uint64_t issued_ = 0;
};

} // namespace whois::test
