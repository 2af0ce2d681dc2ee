#include "tools/bench/bare_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include "messages/inbound/answer_conventions.h"
#include "messages/outbound/session_requests.h"
#include "net/wire.h"
#include "tools/bench/latency.h"

namespace tessel::bench {
namespace {

// The terminal id only fills a fixed header field; its text does not
// change the frame's size.
constexpr char kTerminalId[] = "BENCH";

}  // namespace

BareClient::BareClient() {
  // The same request the library sends, filled by the same table.
  Refusal refusal;
  Json::Value request(Json::objectValue);
  request["user_name"] = "trader01";
  request["pass_word"] = "secret";
  request["new_pass_word"] = "secret";
  FillRequest(kModifyPwdRequest, request, body_, refusal);
}

bool BareClient::Connect(uint16_t port, std::string& why) {
  socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int on = 1;
  if (socket_ < 0 || ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
      ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    why = std::string("TCP connect failed: ") + std::strerror(errno);
    return false;
  }
  context_ = SSL_CTX_new(TLS_client_method());
  ssl_ = context_ != nullptr ? SSL_new(context_) : nullptr;
  if (ssl_ == nullptr || SSL_set_fd(ssl_, socket_) != 1 || SSL_connect(ssl_) != 1) {
    why = "TLS handshake failed";
    ERR_clear_error();
    return false;
  }
  return true;
}

bool BareClient::ReadExact(uint8_t* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const int got = SSL_read(ssl_, buffer + done, static_cast<int>(n - done));
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool BareClient::ModifyPwd(uint64_t requestId) {
  const Frame request = BuildFrame(kModifyPwdRequest.funcId, body_.data(),
                                   static_cast<uint32_t>(body_.size()), requestId, kTerminalId);
  if (SSL_write(ssl_, request.data(), static_cast<int>(request.size())) !=
      static_cast<int>(request.size())) {
    return false;
  }
  answer_.resize(kHeaderSize);
  if (!ReadExact(answer_.data(), kHeaderSize)) return false;
  const FrameHeader header = ReadHeader(answer_.data());
  if (header.bodyLength > kMaxBodyLength) return false;
  answer_.resize(FrameSize(header.bodyLength));
  if (!ReadExact(answer_.data() + kHeaderSize, header.bodyLength + kTrailerSize)) return false;
  // A refused change would be answered just as fast and measure nothing.
  const uint8_t* body = answer_.data() + kHeaderSize;
  return header.requestId == requestId && header.messageType == kModifyPwdRequest.funcId &&
         header.bodyLength == kAnswerHeadSize &&
         wire::Load<int32_t>(body + kAnswerHeadErrorNoOffset) == 0;
}

int64_t BareClient::Pipelined(int window, std::chrono::steady_clock::duration duration) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + duration;
  const Frame one = BuildFrame(kModifyPwdRequest.funcId, body_.data(),
                               static_cast<uint32_t>(body_.size()), 1, kTerminalId);
  Frame out;
  std::vector<uint8_t> in;
  uint8_t chunk[16384];
  int64_t outstanding = 0;
  int64_t answered = 0;
  bool sending = true;
  while (outstanding > 0 || sending) {
    sending = sending && Clock::now() < end;
    if (sending && outstanding <= RefillLevel(window)) {
      out.clear();
      for (; outstanding < window; ++outstanding) out.insert(out.end(), one.begin(), one.end());
      if (SSL_write(ssl_, out.data(), static_cast<int>(out.size())) !=
          static_cast<int>(out.size())) {
        return -1;
      }
    }
    const int got = SSL_read(ssl_, chunk, sizeof chunk);
    if (got <= 0) return -1;
    in.insert(in.end(), chunk, chunk + got);
    size_t at = 0;
    while (const size_t size = CompleteFrameSize(in.data() + at, in.size() - at)) {
      if (ReadHeader(in.data() + at).messageType != kModifyPwdRequest.funcId) return -1;
      at += size;
      --outstanding;
      if (Clock::now() < end) ++answered;
    }
    in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return answered;
}

void BareClient::Close() {
  // No close_notify: the stand-in treats the end of the socket as the end.
  if (ssl_ != nullptr) SSL_free(ssl_);
  if (context_ != nullptr) SSL_CTX_free(context_);
  if (socket_ >= 0) ::close(socket_);
  ssl_ = nullptr;
  context_ = nullptr;
  socket_ = -1;
}

}  // namespace tessel::bench
