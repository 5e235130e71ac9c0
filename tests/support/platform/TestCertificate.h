#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

namespace parlendo::testing {

// A self-signed certificate for 127.0.0.1, localhost and `stubHost`, made once per test process
// with OpenSSL, with its key. `certificateFile` holds it in PEM form, to be trusted by the client
// under test (and nowhere else).
class TestCertificate {
  public:
    // A name the certificate holds besides 127.0.0.1 and localhost: the project host of the
    // synthetic profile that end-to-end runs reach the stub under (through a connect-to override).
    static constexpr const char* stubHost = "parlendo-stub.invalid";

    static const TestCertificate& shared();

    X509* certificate() const { return certificate_; }
    EVP_PKEY* key() const { return key_; }
    const std::string& certificateFile() const { return certificateFile_; }

  private:
    TestCertificate();
    X509* certificate_ = nullptr;
    EVP_PKEY* key_ = nullptr;
    std::string certificateFile_;
};

}  // namespace parlendo::testing
