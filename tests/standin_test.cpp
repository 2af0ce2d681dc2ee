// The stand-in seen from a plain OpenSSL client, the way the plug-in will
// see it: TLS verified against the certificate file it writes, frames in,
// answers out.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "net/frame.h"
#include "net/wire.h"
#include "platform/sockets.h"
#include "tools/standin/layouts.h"
#include "tools/standin/standin.h"

namespace tessel::standin {
namespace {

using platform::NativeSocket;

constexpr int kReadTimeoutSeconds = 10;  // only bounds a broken test; never reached when passing

enum class ReadResult { Frame, Closed, TimedOut };

NativeSocket ConnectLoopback(uint16_t port) {
  // The stand-in may close first (refusing, dropping, stopping); a write
  // must then fail, not kill the test.
  platform::ShieldThreadFromBrokenPipe();
  const NativeSocket s = platform::OpenStreamSocket(platform::AddressFamily::IPv4);
  const auto address = platform::BuildAddress(platform::AddressFamily::IPv4, "127.0.0.1", port);
  if (s == platform::kInvalidSocket || !address ||
      platform::StartConnect(s, *address) != platform::ConnectStart::Connected) {
    if (s != platform::kInvalidSocket) platform::CloseSocket(s);
    return platform::kInvalidSocket;
  }
  timeval timeout{kReadTimeoutSeconds, 0};
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  return s;
}

// A blocking client that trusts only the stand-in's certificate file and
// checks it names 127.0.0.1.
class TlsClient {
 public:
  static std::unique_ptr<TlsClient> Connect(uint16_t port, const std::string& caPath) {
    std::unique_ptr<TlsClient> client(new TlsClient);
    client->context_ = SSL_CTX_new(TLS_client_method());
    if (client->context_ == nullptr ||
        SSL_CTX_load_verify_locations(client->context_, caPath.c_str(), nullptr) != 1) {
      return nullptr;
    }
    SSL_CTX_set_verify(client->context_, SSL_VERIFY_PEER, nullptr);
    client->socket_ = ConnectLoopback(port);
    if (client->socket_ == platform::kInvalidSocket) return nullptr;
    client->ssl_ = SSL_new(client->context_);
    if (client->ssl_ == nullptr || SSL_set_fd(client->ssl_, client->socket_) != 1 ||
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(client->ssl_), "127.0.0.1") != 1 ||
        SSL_connect(client->ssl_) != 1) {
      ERR_clear_error();
      return nullptr;
    }
    return client;
  }

  ~TlsClient() {
    SSL_free(ssl_);
    SSL_CTX_free(context_);
    if (socket_ != platform::kInvalidSocket) platform::CloseSocket(socket_);
  }

  bool SendBytes(const void* data, size_t size) {
    return SSL_write(ssl_, data, static_cast<int>(size)) == static_cast<int>(size);
  }
  bool Send(const Frame& frame) { return SendBytes(frame.data(), frame.size()); }

  ReadResult Read(Frame& frame) {
    frame.assign(kHeaderSize, 0);
    if (const ReadResult r = ReadExact(frame.data(), kHeaderSize); r != ReadResult::Frame) return r;
    const uint32_t bodyLength = ReadHeader(frame.data()).bodyLength;
    if (bodyLength > kMaxBodyLength) return ReadResult::Closed;
    frame.resize(FrameSize(bodyLength));
    return ReadExact(frame.data() + kHeaderSize, frame.size() - kHeaderSize);
  }

  // The next frame, which the test expects to exist.
  Frame Next() {
    Frame frame;
    EXPECT_EQ(Read(frame), ReadResult::Frame);
    return frame;
  }

 private:
  TlsClient() = default;

  ReadResult ReadExact(uint8_t* at, size_t size) {
    while (size > 0) {
      const int n = SSL_read(ssl_, at, static_cast<int>(size));
      if (n > 0) {
        at += n;
        size -= static_cast<size_t>(n);
        continue;
      }
      const int error = SSL_get_error(ssl_, n);
      ERR_clear_error();
      // A blocking socket past SO_RCVTIMEO reports a retry.
      return error == SSL_ERROR_WANT_READ ? ReadResult::TimedOut : ReadResult::Closed;
    }
    return ReadResult::Frame;
  }

  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  NativeSocket socket_ = platform::kInvalidSocket;
};

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  ASSERT_TRUE(wire::StoreText(field, N, text.data(), text.size()));
}

Frame LoginFrame(const std::string& user, const std::string& password, uint64_t requestId) {
  LoginBody body{};
  Put(body.user_name, user);
  Put(body.pass_word, password);
  body.heart_beat = 30;
  return BuildFrame(kLoginType, &body, sizeof body, requestId, "T-1");
}

Frame ModifyPwdFrame(const std::string& user, const std::string& current, const std::string& next,
                     uint64_t requestId) {
  ModifyPwdBody body{};
  Put(body.user_name, user);
  Put(body.pass_word, current);
  Put(body.new_pass_word, next);
  return BuildFrame(kModifyPwdType, &body, sizeof body, requestId, "T-1");
}

// An answer head decoded into plain values, so failures print readably.
struct Answer {
  std::string user;
  int32_t errorNo = -1;
  std::string info;
};

template <size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// The answer head of an answer frame; fails the test when the frame has none.
Answer HeadOf(const Frame& frame) {
  Answer answer;
  EXPECT_EQ(frame.size(), FrameSize(sizeof(AnswerHead)));
  if (frame.size() != FrameSize(sizeof(AnswerHead))) return answer;
  const auto head = wire::Load<AnswerHead>(frame.data() + kHeaderSize);
  answer.user = Text(head.user_name);
  answer.errorNo = head.error_no;
  answer.info = Text(head.error_info);
  return answer;
}

uint32_t TypeOf(const Frame& frame) { return ReadHeader(frame.data()).messageType; }
uint64_t IdOf(const Frame& frame) { return ReadHeader(frame.data()).requestId; }

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    certPath_ = ::testing::TempDir() + "standin_test_" + std::to_string(::getpid()) + "_" +
                std::to_string(serial++) + ".pem";
    Options options;
    options.certPath = certPath_;
    options.password = "secret";
    server_ = std::make_unique<StandIn>(options);
    ASSERT_TRUE(server_->Start());
  }

  void TearDown() override {
    server_.reset();
    std::remove(certPath_.c_str());
  }

  std::unique_ptr<TlsClient> Connect(Channel channel) {
    const uint16_t port = channel == Channel::Main ? server_->MainPort() : server_->PushPort();
    return TlsClient::Connect(port, certPath_);
  }

  std::string certPath_;
  std::unique_ptr<StandIn> server_;
};

TEST_F(StandInTest, LoginChecksPasswordAndAnswersWithTheRequestsTypeAndId) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);

  ASSERT_TRUE(client->Send(LoginFrame("alice", "wrong", 41)));
  Frame answer = client->Next();
  EXPECT_EQ(TypeOf(answer), kLoginType);
  EXPECT_EQ(IdOf(answer), 41u);
  EXPECT_EQ(ReadHeader(answer.data()).terminalId[0], '\0');
  Answer head = HeadOf(answer);
  EXPECT_EQ(head.errorNo, kWrongPasswordError);
  EXPECT_EQ(head.info, kWrongPasswordText);
  EXPECT_EQ(head.user, "alice");

  // The same connection stays usable after a refused login.
  ASSERT_TRUE(client->Send(LoginFrame("alice", "secret", 42)));
  answer = client->Next();
  EXPECT_EQ(IdOf(answer), 42u);
  head = HeadOf(answer);
  EXPECT_EQ(head.errorNo, kNoError);
  EXPECT_EQ(head.info, "");
  EXPECT_EQ(head.user, "alice");
}

TEST_F(StandInTest, ModifyPwdReplacesPasswordOnlyWhenCurrentMatches) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);

  ASSERT_TRUE(client->Send(ModifyPwdFrame("alice", "guess", "new", 1)));
  Frame answer = client->Next();
  EXPECT_EQ(TypeOf(answer), kModifyPwdType);
  EXPECT_EQ(HeadOf(answer).errorNo, kWrongPasswordError);
  ASSERT_TRUE(client->Send(LoginFrame("alice", "secret", 2)));
  EXPECT_EQ(HeadOf(client->Next()).errorNo, kNoError);

  ASSERT_TRUE(client->Send(ModifyPwdFrame("alice", "secret", "new", 3)));
  answer = client->Next();
  EXPECT_EQ(IdOf(answer), 3u);
  EXPECT_EQ(HeadOf(answer).errorNo, kNoError);

  // The password is server-wide: another connection sees the change.
  auto other = Connect(Channel::Main);
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->Send(LoginFrame("alice", "secret", 4)));
  EXPECT_EQ(HeadOf(other->Next()).errorNo, kWrongPasswordError);
  ASSERT_TRUE(other->Send(LoginFrame("alice", "new", 5)));
  EXPECT_EQ(HeadOf(other->Next()).errorNo, kNoError);
}

TEST_F(StandInTest, LogoutNamesTheLastUserLoggedInOnThatConnection) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);

  ASSERT_TRUE(client->Send(BuildFrame(kLogoutType, nullptr, 0, 7, {})));
  Frame answer = client->Next();
  EXPECT_EQ(TypeOf(answer), kLogoutType);
  EXPECT_EQ(IdOf(answer), 7u);
  EXPECT_EQ(HeadOf(answer).user, "");

  ASSERT_TRUE(client->Send(LoginFrame("bob", "secret", 8)));
  EXPECT_EQ(HeadOf(client->Next()).errorNo, kNoError);
  ASSERT_TRUE(client->Send(BuildFrame(kLogoutType, nullptr, 0, 9, {})));
  answer = client->Next();
  EXPECT_EQ(HeadOf(answer).errorNo, kNoError);
  EXPECT_EQ(HeadOf(answer).user, "bob");
}

TEST_F(StandInTest, ShortLoginBodyIsAnsweredAsMalformed) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);
  const std::string shortBody(100, 'x');
  ASSERT_TRUE(client->Send(BuildFrame(kLoginType, shortBody.data(), 100, 3, {})));
  const Frame answer = client->Next();
  EXPECT_EQ(IdOf(answer), 3u);
  EXPECT_EQ(HeadOf(answer).errorNo, kMalformedRequestError);
  EXPECT_EQ(server_->Snapshot()[Channel::Main].frames.at(0).body.size(), 100u);
}

TEST_F(StandInTest, HeartbeatIsEchoedWithItsRequestId) {
  auto push = Connect(Channel::Push);
  ASSERT_TRUE(push);
  ASSERT_TRUE(push->Send(BuildHeartbeat(9)));
  const Frame answer = push->Next();
  EXPECT_EQ(answer.size(), kFrameOverhead);
  EXPECT_EQ(TypeOf(answer), kHeartbeatType);
  EXPECT_EQ(IdOf(answer), 9u);

  const Observed seen = server_->Snapshot();
  ASSERT_EQ(seen[Channel::Push].frames.size(), 1u);
  EXPECT_EQ(seen[Channel::Push].frames[0].connection, 1u);
  EXPECT_TRUE(seen[Channel::Main].frames.empty());
}

TEST_F(StandInTest, SilentChannelRecordsRequestsButAnswersNone) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);
  server_->SetSilent(Channel::Main, true);
  ASSERT_TRUE(client->Send(BuildHeartbeat(1)));
  ASSERT_TRUE(client->Send(LoginFrame("alice", "secret", 2)));
  ASSERT_TRUE(server_->WaitFor(FramesOfType(Channel::Main, kLoginType, 1)));

  // Had either request been answered, that answer would come before this one.
  server_->SetSilent(Channel::Main, false);
  ASSERT_TRUE(client->Send(BuildHeartbeat(3)));
  const Frame answer = client->Next();
  EXPECT_EQ(TypeOf(answer), kHeartbeatType);
  EXPECT_EQ(IdOf(answer), 3u);

  const std::vector<ReceivedFrame> frames = server_->Snapshot()[Channel::Main].frames;
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].requestId, 1u);
  EXPECT_EQ(frames[1].requestId, 2u);
  EXPECT_EQ(frames[1].body.size(), sizeof(LoginBody));
}

TEST_F(StandInTest, UnansweredTypeIsRecordedWithItsHeaderFields) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);
  const uint8_t body[] = {1, 2, 3, 4, 5};
  ASSERT_TRUE(client->Send(BuildFrame(555, body, sizeof body, 77, "TERM-9", 5)));
  Frame corrupt = BuildHeartbeat(78);
  corrupt.back() ^= 0x5A;
  ASSERT_TRUE(client->Send(corrupt));
  ASSERT_TRUE(client->Send(BuildHeartbeat(79)));

  // Type 555 has no answer: the first answer is the corrupt heartbeat's,
  // since the checksum is recorded but never enforced.
  EXPECT_EQ(IdOf(client->Next()), 78u);
  EXPECT_EQ(IdOf(client->Next()), 79u);

  const std::vector<ReceivedFrame> frames = server_->Snapshot()[Channel::Main].frames;
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].messageType, 555u);
  EXPECT_EQ(frames[0].requestId, 77u);
  EXPECT_EQ(frames[0].secondLength, 5u);
  EXPECT_EQ(frames[0].terminalId, "TERM-9");
  EXPECT_EQ(frames[0].body, std::vector<uint8_t>(body, body + sizeof body));
  EXPECT_TRUE(frames[0].checksumOk);
  EXPECT_FALSE(frames[1].checksumOk);
}

TEST_F(StandInTest, FramesSplitOrJoinedAcrossRecordsAreAllAnswered) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);
  Frame stream;
  for (uint64_t id = 1; id <= 3; ++id) {
    const Frame heartbeat = BuildHeartbeat(id);
    stream.insert(stream.end(), heartbeat.begin(), heartbeat.end());
  }
  const Frame login = LoginFrame("alice", "secret", 4);
  stream.insert(stream.end(), login.begin(), login.end());

  // Two whole frames and a part in one record, a header byte by byte, then the rest.
  size_t at = 0;
  ASSERT_TRUE(client->SendBytes(stream.data(), 110));
  for (at = 110; at < 160; ++at) ASSERT_TRUE(client->SendBytes(stream.data() + at, 1));
  ASSERT_TRUE(client->SendBytes(stream.data() + at, stream.size() - at));

  for (uint64_t id = 1; id <= 3; ++id) EXPECT_EQ(IdOf(client->Next()), id);
  const Frame answer = client->Next();
  EXPECT_EQ(IdOf(answer), 4u);
  EXPECT_EQ(HeadOf(answer).errorNo, kNoError);
}

TEST_F(StandInTest, LargestBodyIsReadAndOneByteMoreClosesTheConnection) {
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);
  const std::vector<uint8_t> body(kMaxBodyLength, 0xAB);
  ASSERT_TRUE(client->Send(BuildFrame(600, body.data(), kMaxBodyLength, 1, {})));
  ASSERT_TRUE(client->Send(BuildHeartbeat(2)));
  EXPECT_EQ(IdOf(client->Next()), 2u);
  EXPECT_EQ(server_->Snapshot()[Channel::Main].frames.at(0).body.size(), kMaxBodyLength);

  FrameHeader header{};
  header.magic = kFrameMagic;
  header.messageType = 600;
  header.bodyLength = kMaxBodyLength + 1;
  uint8_t raw[kHeaderSize];
  wire::Store(raw, header);
  ASSERT_TRUE(client->SendBytes(raw, sizeof raw));
  Frame frame;
  EXPECT_EQ(client->Read(frame), ReadResult::Closed);
  EXPECT_TRUE(server_->WaitFor(OpenConnections(Channel::Main, 0)));
  EXPECT_EQ(server_->Snapshot()[Channel::Main].frames.size(), 2u);
}

TEST_F(StandInTest, InjectedFrameReachesEveryConnectionOfThatChannelOnly) {
  auto push1 = Connect(Channel::Push);
  auto push2 = Connect(Channel::Push);
  auto main = Connect(Channel::Main);
  ASSERT_TRUE(push1 && push2 && main);
  ASSERT_TRUE(server_->WaitFor(AcceptedAtLeast(Channel::Push, 2)));

  const char text[] = "pushed";
  const Frame injected = BuildFrame(777, text, sizeof text, 0, {});
  server_->SendFrame(Channel::Push, injected);
  EXPECT_EQ(push1->Next(), injected);
  EXPECT_EQ(push2->Next(), injected);

  ASSERT_TRUE(main->Send(BuildHeartbeat(5)));
  EXPECT_EQ(IdOf(main->Next()), 5u);
}

TEST_F(StandInTest, DropConnectionsFailsTheClientsReadAndAReconnectIsServed) {
  auto main = Connect(Channel::Main);
  auto push = Connect(Channel::Push);
  ASSERT_TRUE(main && push);

  server_->DropConnections(Channel::Main);
  Frame frame;
  EXPECT_EQ(main->Read(frame), ReadResult::Closed);
  ASSERT_TRUE(push->Send(BuildHeartbeat(1)));
  EXPECT_EQ(IdOf(push->Next()), 1u);

  auto again = Connect(Channel::Main);
  ASSERT_TRUE(again);
  ASSERT_TRUE(again->Send(BuildHeartbeat(2)));
  EXPECT_EQ(IdOf(again->Next()), 2u);
  const Observed seen = server_->Snapshot();
  EXPECT_EQ(seen[Channel::Main].accepted, 2u);
  EXPECT_EQ(seen[Channel::Main].frames.at(0).connection, 2u);
}

TEST_F(StandInTest, RefusedConnectionsFailTheHandshakeUntilLifted) {
  server_->RefuseConnections(Channel::Main, true);
  EXPECT_FALSE(Connect(Channel::Main));
  EXPECT_TRUE(Connect(Channel::Push));
  Observed seen = server_->Snapshot();
  EXPECT_EQ(seen[Channel::Main].refused, 1u);
  EXPECT_EQ(seen[Channel::Main].accepted, 0u);

  server_->RefuseConnections(Channel::Main, false);
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->Send(BuildHeartbeat(1)));
  EXPECT_EQ(IdOf(client->Next()), 1u);
}

TEST_F(StandInTest, StopEndsServedAndHalfOpenConnections) {
  auto push = Connect(Channel::Push);
  ASSERT_TRUE(push);
  // A peer that connects and never starts the handshake.
  const NativeSocket idle = ConnectLoopback(server_->MainPort());
  ASSERT_NE(idle, platform::kInvalidSocket);
  ASSERT_TRUE(server_->WaitFor(AcceptedAtLeast(Channel::Main, 1)));

  server_->Stop();
  Frame frame;
  EXPECT_EQ(push->Read(frame), ReadResult::Closed);
  char byte = 0;
  EXPECT_EQ(::recv(idle, &byte, 1, 0), 0);
  platform::CloseSocket(idle);
  const Observed seen = server_->Snapshot();
  EXPECT_EQ(seen[Channel::Main].open, 0u);
  EXPECT_EQ(seen[Channel::Push].open, 0u);
}

TEST_F(StandInTest, RestartServesTheSamePortsWithTheSameCertificate) {
  const uint16_t mainPort = server_->MainPort();
  const uint16_t pushPort = server_->PushPort();
  const std::string pem = server_->CertificatePem();
  {
    auto client = Connect(Channel::Main);
    ASSERT_TRUE(client);
  }
  server_->Stop();
  ASSERT_TRUE(server_->Start());
  EXPECT_EQ(server_->MainPort(), mainPort);
  EXPECT_EQ(server_->PushPort(), pushPort);
  EXPECT_EQ(server_->CertificatePem(), pem);

  // The rewritten certificate file is the one a client loaded before the restart.
  auto client = Connect(Channel::Main);
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->Send(LoginFrame("alice", "secret", 1)));
  EXPECT_EQ(HeadOf(client->Next()).errorNo, kNoError);
}

}  // namespace
}  // namespace tessel::standin
