// The least a client can do for the same exchange: one blocking TLS
// connection written and read directly with OpenSSL, as the baseline the
// library is compared with.
#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

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
  // `writeNs` gets how long SSL_write took.
  bool ModifyPwd(uint64_t requestId, int64_t& writeNs);
  // `count` OrderSubmit frames, the library's two in turn, each written
  // right after a ModifyPwd round trip (which reads past the order's
  // answer); how long each SSL_write took, or nothing on a failure. Last on
  // a connection: the final order's answer is left unread.
  std::vector<int64_t> OrderSubmitWrites(int count, uint64_t firstId);
  // ModifyPwd requests kept `window` outstanding for `duration` on one
  // thread: write to fill the window, read what has come, repeat. The
  // number of answers, or -1 on an I/O error or an unexpected answer.
  int64_t Pipelined(int window, std::chrono::steady_clock::duration duration);
  void Close();

 private:
  bool ReadExact(uint8_t* buffer, size_t n);
  // Writes the frame of `body` as `requestId`; false unless all of it went.
  bool Write(uint32_t funcId, const Frame& body, uint64_t requestId, int64_t& writeNs);
  // Reads frames into answer_ until the one answering `requestId`.
  bool ReadAnswer(uint64_t requestId);

  Frame body_;   // the ModifyPwd body, the same on every trip
  Frame orders_[2];  // the OrderSubmit bodies, a buy and a sell
  Frame answer_;  // the last answer frame
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  int socket_ = -1;
};

}  // namespace tessel::bench
