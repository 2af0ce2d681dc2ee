#include "tools/standin/tls_identity.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace tessel::standin {
namespace {

struct Free {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
  void operator()(BIGNUM* p) const { BN_free(p); }
  void operator()(BIO* p) const { BIO_free(p); }
  void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

constexpr long kValiditySeconds = 365L * 24 * 3600;
constexpr long kBackdateSeconds = 3600;  // tolerate a client clock a little behind

bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
  Owned<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
  return extension && X509_add_ext(cert, extension.get(), -1) == 1;
}

Owned<X509> SelfSign(EVP_PKEY* key, const std::string& names) {
  Owned<X509> cert(X509_new());
  Owned<BIGNUM> serial(BN_new());
  if (!cert || !serial) return nullptr;
  // A random serial, so restarts of different stand-ins never look alike.
  if (X509_set_version(cert.get(), X509_VERSION_3) != 1 ||
      BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
      BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) == nullptr ||
      X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kBackdateSeconds) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValiditySeconds) == nullptr ||
      X509_set_pubkey(cert.get(), key) != 1) {
    return nullptr;
  }
  X509_NAME* name = X509_get_subject_name(cert.get());
  const auto* common = reinterpret_cast<const unsigned char*>("tessel-standin");
  if (X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, common, -1, -1, 0) != 1 ||
      X509_set_issuer_name(cert.get(), name) != 1) {
    return nullptr;
  }
  // The same certificate is the server's and the client's only trust anchor.
  if (!AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
      !AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") ||
      !AddExtension(cert.get(), NID_subject_key_identifier, "hash") ||
      !AddExtension(cert.get(), NID_authority_key_identifier, "keyid:always") ||
      !AddExtension(cert.get(), NID_subject_alt_name, names.c_str())) {
    return nullptr;
  }
  if (X509_sign(cert.get(), key, EVP_sha256()) == 0) return nullptr;
  return cert;
}

bool ToPem(X509* cert, std::string& pem) {
  Owned<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1) return false;
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  if (length <= 0) return false;
  pem.assign(data, static_cast<size_t>(length));
  return true;
}

}  // namespace

SSL_CTX* MakeServerContext(std::string& certificatePem, const std::string& names) {
  Owned<EVP_PKEY> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!key) return nullptr;
  Owned<X509> cert = SelfSign(key.get(), names);
  if (!cert || !ToPem(cert.get(), certificatePem)) return nullptr;
  Owned<SSL_CTX> context(SSL_CTX_new(TLS_server_method()));
  if (!context || SSL_CTX_use_certificate(context.get(), cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1 ||
      SSL_CTX_check_private_key(context.get()) != 1) {
    return nullptr;
  }
  // Writes resume from wherever the previous one stopped, out of a buffer
  // that may have grown (and moved) in between.
  SSL_CTX_set_mode(context.get(),
                   SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  return context.release();
}

bool WritePem(const std::string& path, const std::string& pem) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(pem.data(), 1, pem.size(), file) == pem.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace tessel::standin
