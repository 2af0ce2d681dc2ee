// TLS over a VSocket: one client context per channel thread, one TlsLink per
// established TCP connection.
//
// Locking: OpenSSL does not allow two threads inside one SSL object, yet the
// channel thread reads while the send thread writes. The socket is
// non-blocking; every OpenSSL call on a link runs under the link's ioLock_,
// and waiting for readiness happens outside it, so a write never waits for a
// read that is waiting for data.
#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/vsocket.h"

namespace tessel {

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using TlsContext = std::unique_ptr<SSL_CTX, SslCtxFree>;

// Makes the client context; with a certificate path, loads it (PEM) too.
// With a trust anchor, the server's chain must verify against it. Writes the
// console line of whichever step failed and returns null.
TlsContext CreateClientContext(const std::string* certificatePath,
                               const std::string* trustAnchorPath = nullptr);

class TlsLink {
 public:
  // SSL_new on the context, bound to the socket's handle, then a timed
  // handshake with its console diagnostics. Null on failure; the caller
  // closes the socket. The socket must outlive the link.
  // With `expectedHost`, the server's certificate must also name that
  // address (an IP address or a host name); `verifyError` then receives why
  // a verification failed.
  static std::unique_ptr<TlsLink> Connect(SSL_CTX* context, VSocket& socket,
                                          std::chrono::seconds timeout,
                                          const std::string* expectedHost = nullptr,
                                          std::string* verifyError = nullptr);

  // Sends exactly n bytes: 0 on success, otherwise the SSL_get_error code
  // that ended the transfer. A socket that takes no byte for `stallLimit`
  // (a server that stopped reading) ends it with SSL_ERROR_WANT_WRITE.
  int WriteAll(const uint8_t* buffer, size_t n, std::chrono::milliseconds stallLimit);
  // One attempt that never waits: 0 when all n bytes went, otherwise the
  // SSL_get_error code. After SSL_ERROR_WANT_WRITE or SSL_ERROR_WANT_READ
  // the write is under way and must be completed by WriteAll with the same
  // buffer and size before any other write.
  int TryWrite(const uint8_t* buffer, size_t n);

  // The next whole frame and its size; 0 when the connection is over. The
  // link reads as much as TLS has for it at a time and hands out the frames
  // in it one by one; `frame` stays valid until the next call. Headers
  // announcing more than the body ceiling end the connection. With
  // skipBadMagic, a header whose first byte is not '-' is dropped and the
  // next 45 bytes are taken as a header.
  size_t NextFrame(const uint8_t*& frame, bool skipBadMagic, const char* readErrorLogTag);

  std::string StateString();

 private:
  TlsLink(SSL* ssl, VSocket& socket) : ssl_(ssl), socket_(socket) {}
  int Handshake(std::chrono::steady_clock::time_point deadline);
  // Runs one OpenSSL call under ioLock_: its result and SSL_get_error code.
  template <typename Call>
  std::pair<int, int> Locked(Call call);
  // Repeats a read or write call until n bytes are through, waiting for
  // readiness between tries; 0 or the error code that ended it. With a
  // stall limit, a wait that outlasts it since the last progress ends it.
  template <typename Call>
  int Transfer(size_t n, Call call, size_t* transferred,
               std::optional<std::chrono::milliseconds> stallLimit);
  enum class Readiness { Ready, ShutDown, Stalled };
  // Waits until the socket may be read (wantRead) or written, the link is
  // shut down, or `giveUpAt` passes.
  Readiness AwaitReady(bool wantRead, std::chrono::steady_clock::time_point giveUpAt);

  // Reads until at least `n` bytes of the stream are held from received_
  // on; 0 or the error code that ended it.
  int Hold(size_t n);

  std::unique_ptr<SSL, SslFree> ssl_;
  std::vector<uint8_t> received_;  // read from TLS, from receivedBegin_ to receivedEnd_ unused
  size_t receivedBegin_ = 0;
  size_t receivedEnd_ = 0;
  VSocket& socket_;
  std::mutex ioLock_;  // held for each OpenSSL call on ssl_, never while waiting
};

}  // namespace tessel
