#include "net/tls_link.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "net/frame.h"
#include "platform/system.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {
namespace {


// The largest TLS record's plaintext.
constexpr size_t kReceiveSlack = 16 * 1024;

}  // namespace

TlsContext CreateClientContext(const std::string* certificatePath,
                               const std::string* trustAnchorPath) {
  TlsContext context(SSL_CTX_new(TLS_client_method()));
  if (!context) {
    ConsoleLine("SSL_CTX_new fail");
    return nullptr;
  }
  if (certificatePath != nullptr &&
      SSL_CTX_use_certificate_file(context.get(), certificatePath->c_str(), SSL_FILETYPE_PEM) !=
          1) {
    ERR_clear_error();
    ConsoleLine("SSL_CTX load certificate file fail:path=" + *certificatePath);
    return nullptr;
  }
  if (trustAnchorPath != nullptr) {
    if (SSL_CTX_load_verify_locations(context.get(), trustAnchorPath->c_str(), nullptr) != 1) {
      ERR_clear_error();
      ConsoleLine("SSL_CTX load trust anchor fail:path=" + *trustAnchorPath);
      return nullptr;
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  }
  return context;
}

std::unique_ptr<TlsLink> TlsLink::Connect(SSL_CTX* context, VSocket& socket,
                                          std::chrono::seconds timeout,
                                          const std::string* expectedHost,
                                          std::string* verifyError) {
  SSL* ssl = SSL_new(context);
  if (ssl == nullptr) {
    ConsoleLine("SSL_new fail");
    return nullptr;
  }
  std::unique_ptr<TlsLink> link(new TlsLink(ssl, socket));
  if (expectedHost != nullptr) {
    // A numeric address must be among the certificate's IP addresses, any
    // other text among its names.
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, expectedHost->c_str()) != 1) {
      ERR_clear_error();
      SSL_set1_host(ssl, expectedHost->c_str());
    }
  }
  SSL_set_fd(ssl, socket.handle());
  socket.setBlocking(false);

  const auto started = std::chrono::steady_clock::now();
  const int code = link->Handshake(started + timeout);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - started);
  ConsoleLine("SSL_connect->time cost: " + std::to_string(seconds.count()) + " seconds");
  if (code != SSL_ERROR_NONE) {
    // The C runtime's errno, then the socket and the system error numbers
    // (one number on POSIX, WSAGetLastError and GetLastError on Windows).
    const int runtimeError = errno;
    const int socketError = platform::LastSocketError();
    const int systemError = platform::LastSystemError();
    ConsoleLine("SSL_ERROR_SYSCALL:" + std::to_string(runtimeError));
    ConsoleLine("WSAGetLastError:" + std::to_string(socketError) + std::to_string(systemError));
    ConsoleLine("SSL_connect fail:error=" + std::to_string(code));
    const long verified = SSL_get_verify_result(ssl);
    if (expectedHost != nullptr && verified != X509_V_OK) {
      const std::string reason = X509_verify_cert_error_string(verified);
      ConsoleLine("SSL verify fail:" + reason);
      if (verifyError != nullptr) *verifyError = reason;
    }
    return nullptr;
  }
  return link;
}

template <typename Call>
std::pair<int, int> TlsLink::Locked(Call call) {
  std::lock_guard<std::mutex> hold(ioLock_);
  ERR_clear_error();  // so SSL_get_error sees only this call's errors
  const int result = call(ssl_.get());
  return {result, result > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl_.get(), result)};
}

int TlsLink::Handshake(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const int code = Locked([](SSL* ssl) { return SSL_connect(ssl); }).second;
    if (code == SSL_ERROR_NONE) return code;
    if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE) return code;
    // A server that accepts TCP but never speaks TLS must not hold the
    // channel forever: the handshake shares the connect time-out.
    if (AwaitReady(code == SSL_ERROR_WANT_READ, deadline) != Readiness::Ready) {
      return SSL_ERROR_SYSCALL;
    }
  }
}

TlsLink::Readiness TlsLink::AwaitReady(bool wantRead,
                                       std::chrono::steady_clock::time_point giveUpAt) {
  const platform::NativeSocket s = socket_.handle();
  while (!socket_.isShutDown()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        giveUpAt - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Readiness::Stalled;
    const int slice = static_cast<int>(
        std::min<int64_t>(left.count(), platform::kShutdownCheckMs));
    if (platform::Poll(s, wantRead, !wantRead, slice) != 0) {
      return Readiness::Ready;  // errors surface from the next OpenSSL call
    }
  }
  return Readiness::ShutDown;
}

template <typename Call>
int TlsLink::Transfer(size_t n, Call call, size_t* transferred,
                      std::optional<std::chrono::milliseconds> stallLimit) {
  using Clock = std::chrono::steady_clock;
  const auto giveUpAfterProgress = [&] {
    return stallLimit ? Clock::now() + *stallLimit : Clock::time_point::max();
  };
  Clock::time_point giveUpAt = giveUpAfterProgress();
  size_t done = 0;
  int code = SSL_ERROR_NONE;
  while (done < n) {
    const auto [result, error] = Locked([&](SSL* ssl) { return call(ssl, done); });
    if (result > 0) {
      done += static_cast<size_t>(result);
      giveUpAt = giveUpAfterProgress();
    } else if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      const Readiness ready = AwaitReady(error == SSL_ERROR_WANT_READ, giveUpAt);
      if (ready == Readiness::Stalled) {
        ConsoleLine("SSL transfer stalled: no progress for " +
                    std::to_string(stallLimit ? stallLimit->count() : 0) + " ms");
        code = error;
        break;
      }
      if (ready == Readiness::ShutDown) {
        code = SSL_ERROR_SYSCALL;
        break;
      }
    } else {
      code = error;
      break;
    }
  }
  if (transferred != nullptr) *transferred = done;
  return code;
}

int TlsLink::WriteAll(const uint8_t* buffer, size_t n, std::chrono::milliseconds stallLimit) {
  return Transfer(
      n,
      [&](SSL* ssl, size_t done) {
        return SSL_write(ssl, buffer + done, static_cast<int>(n - done));
      },
      nullptr, stallLimit);
}

int TlsLink::TryWrite(const uint8_t* buffer, size_t n) {
  return Locked([&](SSL* ssl) { return SSL_write(ssl, buffer, static_cast<int>(n)); }).second;
}

std::string TlsLink::StateString() {
  std::lock_guard<std::mutex> hold(ioLock_);
  return SSL_state_string(ssl_.get());
}

int TlsLink::Hold(size_t n) {
  const size_t held = receivedEnd_ - receivedBegin_;
  if (held >= n) return SSL_ERROR_NONE;
  if (receivedBegin_ > 0) {  // what is held moves to the front
    std::memmove(received_.data(), received_.data() + receivedBegin_, held);
    receivedBegin_ = 0;
    receivedEnd_ = held;
  }
  // Room for a whole TLS record beyond what is needed, so that one read
  // takes what the peer sent together.
  const size_t room = std::max(n, held + kReceiveSlack);
  if (received_.size() < room) received_.resize(room);
  size_t got = 0;
  const int code = Transfer(
      n - held,
      [&](SSL* ssl, size_t done) {
        const size_t at = receivedEnd_ + done;
        return SSL_read(ssl, received_.data() + at, static_cast<int>(received_.size() - at));
      },
      &got, std::nullopt);
  receivedEnd_ += got;
  return code;
}

size_t TlsLink::NextFrame(const uint8_t*& frame, bool skipBadMagic,
                          const char* readErrorLogTag) {
  const uint8_t* header = nullptr;
  for (;;) {
    const int code = Hold(kHeaderSize);
    if (code != SSL_ERROR_NONE) {
      const int socketError = platform::PendingSocketError(socket_.handle());
      ConsoleLine("SSL_state_string:" + StateString());
      ConsoleLine("SSL_read[head] fail:error=" + std::to_string(code) + "," +
                  std::to_string(socketError));
      return 0;
    }
    header = received_.data() + receivedBegin_;
    if (!skipBadMagic || header[0] == static_cast<uint8_t>(kFrameMagic)) break;
    receivedBegin_ += kHeaderSize;
  }
  const uint32_t bodyLength = ReadHeader(header).bodyLength;
  if (AnnouncedFrameSize(header) == 0) {
    ConsoleLine("SSL_read[head] fail:body length " + std::to_string(bodyLength) +
                " over the ceiling");
    CLog::Instance().Write(1, readErrorLogTag, "Error", "content:body length %u", bodyLength);
    return 0;
  }
  const size_t frameSize = FrameSize(bodyLength);
  const int code = Hold(frameSize);
  if (code != SSL_ERROR_NONE) {
    ConsoleLine("SSL_read[body] fail:error=" + std::to_string(code));
    CLog::Instance().Write(1, readErrorLogTag, "Error", "content:%d", code);
    return 0;
  }
  frame = received_.data() + receivedBegin_;
  receivedBegin_ += frameSize;
  return frameSize;
}

}  // namespace tessel
