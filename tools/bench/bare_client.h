// The least a client can do for the same exchange: one blocking TLS
// connection written and read directly with OpenSSL, as the baseline the
// library is compared with.
#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "net/frame.h"

namespace tessel::bench {

class BareClient {
 public:
  BareClient();
  ~BareClient() { Close(); }
  BareClient(const BareClient&) = delete;
  BareClient& operator=(const BareClient&) = delete;

  // TCP with TCP_NODELAY, then the TLS handshake; the certificate is not checked.
  bool Connect(uint16_t port, std::string& why);
  // Writes one ModifyPwd frame with request id `requestId` and reads its
  // whole answer frame; false on an I/O error or an unexpected answer.
  bool ModifyPwd(uint64_t requestId);
  // ModifyPwd requests kept `window` outstanding for `duration` on one
  // thread: write to fill the window, read what has come, repeat. The
  // number of answers, or -1 on an I/O error or an unexpected answer.
  int64_t Pipelined(int window, std::chrono::steady_clock::duration duration);
  void Close();

 private:
  bool ReadExact(uint8_t* buffer, size_t n);

  Frame body_;   // the ModifyPwd body, the same on every trip
  Frame answer_;  // the last answer frame
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  int socket_ = -1;
};

}  // namespace tessel::bench
