#include "tools/bench/bare_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <json/reader.h>
#include <openssl/err.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "messages/inbound/answer_conventions.h"
#include "messages/outbound/order_requests.h"
#include "messages/outbound/session_requests.h"
#include "net/wire.h"
#include "tools/bench/bench_requests.h"
#include "tools/bench/latency.h"

namespace tessel::bench {
namespace {

// The terminal id only fills a fixed header field; its text does not
// change the frame's size.
constexpr char kTerminalId[] = "BENCH";

// The body the library packs for the host's `json`, by the same table.
Frame Pack(const RequestLayout& layout, const std::string& json) {
  Json::Value request;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  reader->parse(json.data(), json.data() + json.size(), &request, nullptr);
  Frame body;
  Refusal refusal;
  FillRequest(layout, request, body, refusal);
  return body;
}

}  // namespace

BareClient::BareClient()
    : body_(Pack(kModifyPwdRequest, kModifyPwdJson)),
      orders_{Pack(kOrderSubmitRequest, kOrderSubmitJson[0]),
              Pack(kOrderSubmitRequest, kOrderSubmitJson[1])} {}

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

bool BareClient::Write(uint32_t funcId, const Frame& body, uint64_t requestId,
                       int64_t& writeNs) {
  const Frame request = BuildFrame(funcId, body.data(), static_cast<uint32_t>(body.size()),
                                   requestId, kTerminalId);
  const Clock::time_point start = Clock::now();
  const int wrote = SSL_write(ssl_, request.data(), static_cast<int>(request.size()));
  writeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
  return wrote == static_cast<int>(request.size());
}

bool BareClient::ReadAnswer(uint64_t requestId) {
  for (;;) {
    answer_.resize(kHeaderSize);
    if (!ReadExact(answer_.data(), kHeaderSize)) return false;
    const FrameHeader header = ReadHeader(answer_.data());
    if (header.bodyLength > kMaxBodyLength) return false;
    answer_.resize(FrameSize(header.bodyLength));
    if (!ReadExact(answer_.data() + kHeaderSize, header.bodyLength + kTrailerSize)) return false;
    if (header.requestId == requestId) return true;
  }
}

bool BareClient::ModifyPwd(uint64_t requestId, int64_t& writeNs) {
  if (!Write(kModifyPwdRequest.funcId, body_, requestId, writeNs) || !ReadAnswer(requestId)) {
    return false;
  }
  // A refused change would be answered just as fast and measure nothing.
  const FrameHeader header = ReadHeader(answer_.data());
  const uint8_t* body = answer_.data() + kHeaderSize;
  return header.messageType == kModifyPwdRequest.funcId && header.bodyLength == kAnswerHeadSize &&
         wire::Load<int32_t>(body + kAnswerHeadErrorNoOffset) == 0;
}

std::vector<int64_t> BareClient::OrderSubmitWrites(int count, uint64_t firstId) {
  std::vector<int64_t> samples;
  samples.reserve(static_cast<size_t>(count));
  uint64_t id = firstId;
  for (int i = 0; i < count; ++i) {
    int64_t writeNs = 0;
    if (!ModifyPwd(id++, writeNs) ||
        !Write(kOrderSubmitRequest.funcId, orders_[i % 2], id++, writeNs)) {
      return {};
    }
    samples.push_back(writeNs);
  }
  return samples;
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
