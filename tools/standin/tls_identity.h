// The stand-in's TLS identity: a fresh key and a self-signed certificate
// made in memory at start, so no key material ever sits in the tree.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace tessel::standin {

// A server context using a new EC P-256 key and a self-signed certificate
// for `names` (subjectAltName text) that doubles as the client's trust
// anchor. Returns null on failure; `certificatePem` receives the certificate.
SSL_CTX* MakeServerContext(std::string& certificatePem, const std::string& names);

// Writes `pem` to `path` whole (through a temporary beside it), so a client
// never loads half a file.
bool WritePem(const std::string& path, const std::string& pem);

}  // namespace tessel::standin
