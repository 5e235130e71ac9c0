#include "TestCertificate.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace parlendo::testing {

namespace {
void addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) {
        throw std::runtime_error("test certificate: bad extension");
    }
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}
}  // namespace

const TestCertificate& TestCertificate::shared() {
    static const TestCertificate certificate;
    return certificate;
}

TestCertificate::TestCertificate() {
    key_ = EVP_EC_gen("P-256");
    certificate_ = X509_new();
    if (key_ == nullptr || certificate_ == nullptr) {
        throw std::runtime_error("test certificate: out of memory");
    }
    X509_set_version(certificate_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate_), static_cast<long>(::getpid()));
    X509_gmtime_adj(X509_getm_notBefore(certificate_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate_), 7L * 24 * 3600);
    X509_set_pubkey(certificate_, key_);
    X509_NAME* name = X509_get_subject_name(certificate_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("parlendo test"), -1, -1, 0);
    X509_set_issuer_name(certificate_, name);
    addExtension(certificate_, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate_, NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(certificate_, NID_ext_key_usage, "serverAuth");
    const std::string names = std::string("IP:127.0.0.1,DNS:localhost,DNS:") + stubHost;
    addExtension(certificate_, NID_subject_alt_name, names.c_str());
    addExtension(certificate_, NID_subject_key_identifier, "hash");
    if (X509_sign(certificate_, key_, EVP_sha256()) == 0) {
        throw std::runtime_error("test certificate: signing failed");
    }

    auto path = std::filesystem::temp_directory_path() /
                ("parlendo-test-ca-" + std::to_string(::getpid()) + ".pem");
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        throw std::runtime_error("test certificate: cannot write " + path.string());
    }
    PEM_write_X509(file, certificate_);
    std::fclose(file);
    certificateFile_ = path.string();
}

}  // namespace parlendo::testing
