#include "scripted_server.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

#include "platform/windows/system_error.h"
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>

namespace testsupport {

// ---- Platform differences -------------------------------------------------

namespace {

template <typename Option>
void SetOption(NativeSocket socket, int level, int name, const Option& value) {
  // Winsock takes the value as const char*, POSIX as const void*.
  ::setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

#if defined(_WIN32)

static_assert(std::is_same_v<NativeSocket, SOCKET>);

using IoResult = int;                    // what recv/send return
constexpr int kNoWait = 0;               // sockets are made non-blocking instead
constexpr int kNoSignal = 0;             // no SIGPIPE on Windows
constexpr int kShutdownSend = SD_SEND;

// Winsock takes an int length; a partial send is resumed by the caller.
int IoLength(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

int LastSocketErrorCode() { return ::WSAGetLastError(); }

bool Retryable(int code) { return code == WSAEWOULDBLOCK || code == WSAEINTR; }

// The system's words for a Winsock error, with the number.
std::string SocketErrorText(int code) {
  return platform::SystemMessage(static_cast<DWORD>(code)) + " (" + std::to_string(code) + ")";
}

int PollSockets(pollfd* sockets, unsigned long count, int timeout_ms) {
  return ::WSAPoll(sockets, count, timeout_ms);
}

void CloseSocket(NativeSocket socket) { ::closesocket(socket); }

// Child processes started by the code under test must not keep our sockets
// open; blocking calls are replaced by polling, so the socket never blocks.
void PrepareSocket(NativeSocket socket) {
  ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
  u_long on = 1;
  ::ioctlsocket(socket, FIONBIO, &on);
}

NativeSocket NewStreamSocket() { return ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

NativeSocket AcceptClient(NativeSocket listener) { return ::accept(listener, nullptr, nullptr); }

// On Windows SO_REUSEADDR would let this socket take over a port another
// program is listening on; a fresh listener may rebind a port whose old
// connections linger in TIME_WAIT without it.
void AllowRebind(NativeSocket) {}

#else

using IoResult = ssize_t;
constexpr int kNoWait = MSG_DONTWAIT;
constexpr int kNoSignal = MSG_NOSIGNAL;  // a vanished client must not raise SIGPIPE
constexpr int kShutdownSend = SHUT_WR;

std::size_t IoLength(std::size_t size) { return size; }

int LastSocketErrorCode() { return errno; }

bool Retryable(int code) { return code == EAGAIN || code == EWOULDBLOCK || code == EINTR; }

std::string SocketErrorText(int code) { return std::strerror(code); }

int PollSockets(pollfd* sockets, nfds_t count, int timeout_ms) {
  return ::poll(sockets, count, timeout_ms);
}

void CloseSocket(NativeSocket socket) { ::close(socket); }

void PrepareSocket(NativeSocket) {}  // close-on-exec already; I/O uses MSG_DONTWAIT

NativeSocket NewStreamSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

NativeSocket AcceptClient(NativeSocket listener) {
  return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

// Lets a fixed port be bound again while the last server's connections are in TIME_WAIT.
void AllowRebind(NativeSocket socket) { SetOption(socket, SOL_SOCKET, SO_REUSEADDR, 1); }

#endif

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + SocketErrorText(LastSocketErrorCode()));
}

}  // namespace

// ---- SocketLibrary --------------------------------------------------------

#if defined(_WIN32)
SocketLibrary::SocketLibrary() {
  WSADATA data;
  if (const int code = ::WSAStartup(MAKEWORD(2, 2), &data); code != 0)
    throw std::runtime_error("WSAStartup: " + SocketErrorText(code));
}

SocketLibrary::~SocketLibrary() { ::WSACleanup(); }
#else
SocketLibrary::SocketLibrary() = default;
SocketLibrary::~SocketLibrary() = default;
#endif

// ---- UniqueSocket ---------------------------------------------------------

UniqueSocket::UniqueSocket(UniqueSocket&& other) noexcept
    : socket_(std::exchange(other.socket_, kNoSocket)) {}

UniqueSocket& UniqueSocket::operator=(UniqueSocket&& other) noexcept {
  if (this != &other) {
    Reset();
    socket_ = std::exchange(other.socket_, kNoSocket);
  }
  return *this;
}

UniqueSocket::~UniqueSocket() { Reset(); }

void UniqueSocket::Reset() noexcept {
  if (Valid()) CloseSocket(socket_);
  socket_ = kNoSocket;
}

// ---- Reply ----------------------------------------------------------------

Reply Reply::Ok(std::string body) { return Status(200, std::move(body)); }

Reply Reply::Status(int status, std::string page) {
  Reply r;
  r.status = status;
  r.body = std::move(page);
  return r;
}

Reply Reply::Generated(std::uint64_t size) {
  Reply r;
  r.kind = Kind::Generated;
  r.announced = size;
  return r;
}

Reply Reply::Truncated(std::string body, std::uint64_t announced) {
  Reply r;
  r.kind = Kind::Truncated;
  r.body = std::move(body);
  r.announced = announced;
  return r;
}

Reply Reply::Reset(std::string partial, std::uint64_t announced) {
  Reply r = Truncated(std::move(partial), announced);
  r.kind = Kind::Reset;
  return r;
}

Reply Reply::Stall() {
  Reply r;
  r.kind = Kind::Stall;
  return r;
}

Reply Reply::Redirect(int status, std::string location) {
  Reply r;
  r.kind = Kind::Redirect;
  r.status = status;
  r.location = std::move(location);
  return r;
}

Reply Reply::Chunked(std::string body) {
  Reply r = Ok(std::move(body));
  r.kind = Kind::Chunked;
  return r;
}

Reply Reply::Trickle(std::string body, std::chrono::milliseconds interval) {
  Reply r = Ok(std::move(body));
  r.kind = Kind::Trickle;
  r.interval = interval;
  return r;
}

Reply Reply::Endless() {
  Reply r;
  r.kind = Kind::Endless;
  return r;
}

Reply Reply::Raw(std::string bytes) {
  Reply r;
  r.kind = Kind::Raw;
  r.body = std::move(bytes);
  return r;
}

Reply Reply::EndlessHead() {
  Reply r;
  r.kind = Kind::EndlessHead;
  return r;
}

Reply Reply::Paced(std::uint64_t size, std::chrono::milliseconds interval) {
  Reply r = Generated(size);
  r.kind = Kind::Paced;
  r.interval = interval;
  return r;
}

namespace {

using namespace std::chrono_literals;

constexpr auto kPollSlice = 50ms;  // bounds how long shutdown waits for any thread
constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kPatternPeriod = 251;
constexpr std::size_t kChunkSize = 1024;

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

UniqueSocket BoundSocket(std::uint16_t port) {
  UniqueSocket socket(NewStreamSocket());
  if (!socket.Valid()) throw SystemError("socket");
  PrepareSocket(socket.Get());
  AllowRebind(socket.Get());
  sockaddr_in addr = Loopback(port);
  if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw SystemError("bind 127.0.0.1:" + std::to_string(port));
  return socket;
}

std::uint16_t LocalPort(NativeSocket socket) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw SystemError("getsockname");
  return ntohs(addr.sin_port);
}

std::string_view ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

std::string Head(int status, const std::string& field) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " ";
  head += ReasonPhrase(status);
  return head + "\r\n" + field + "\r\nConnection: close\r\n\r\n";
}

std::string LengthField(std::uint64_t length) {
  return "Content-Length: " + std::to_string(length);
}

// Request target from a head such as "GET /a/b HTTP/1.1\r\n...".
std::string RequestTarget(const std::string& head) {
  std::size_t start = head.find(' ');
  if (start == std::string::npos) return {};
  std::size_t end = head.find_first_of(" \r\n", start + 1);
  return head.substr(start + 1, end == std::string::npos ? end : end - start - 1);
}

// Whole periods of the i % 251 pattern, so any slice starting at offset
// (position % 251) continues the pattern.
std::string PatternBlock() { return GeneratedBody(kPatternPeriod * 256); }

std::string ChunkedBody(std::string_view body) {
  std::string out;
  for (std::size_t pos = 0; pos < body.size(); pos += kChunkSize) {
    std::string_view chunk = body.substr(pos, kChunkSize);
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
    out.append(size).append(chunk).append("\r\n");
  }
  return out + "0\r\n\r\n";
}

// Socket I/O for one connection that gives up when the client goes away or
// the server is stopping. Every wait is sliced so `stop` is seen promptly.
class Connection {
 public:
  Connection(NativeSocket socket, const std::atomic<bool>& stop) : socket_(socket), stop_(stop) {}

  // Reads up to the blank line ending the request head.
  bool ReadHead(std::string& head) {
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      if (head.size() > kMaxHead || !WaitFor(POLLIN)) return false;
      IoResult n = ::recv(socket_, buf, sizeof buf, kNoWait);
      if (n == 0 || (n < 0 && !Retry())) return false;
      if (n > 0) head.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }

  // Sends everything; false if the client went away (EPIPE, ECONNRESET) or stop.
  bool Send(std::string_view data) {
    while (!data.empty()) {
      if (!WaitFor(POLLOUT)) return false;
      IoResult n = ::send(socket_, data.data(), IoLength(data.size()), kNoSignal | kNoWait);
      if (n < 0 && !Retry()) return false;
      if (n > 0) data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // Waits `span` while discarding input; false if the client closed or stop.
  bool Idle(std::chrono::milliseconds span) {
    auto deadline = std::chrono::steady_clock::now() + span;
    while (!stop_) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left <= 0ms) return true;
      if (PollOnce(POLLIN, std::min(left, kPollSlice)) && !Discard()) return false;
    }
    return false;
  }

  // Holds the connection, discarding input, until the client closes or stop.
  bool IdleForever() {
    while (!stop_) {
      if (PollOnce(POLLIN, kPollSlice) && !Discard()) return false;
    }
    return false;
  }

 private:
  static bool Retry() { return Retryable(LastSocketErrorCode()); }

  // True once `events` (or an error/hangup) is reported; false on stop.
  bool WaitFor(short events) {
    while (!stop_) {
      if (PollOnce(events, kPollSlice)) return true;
    }
    return false;
  }

  bool PollOnce(short events, std::chrono::milliseconds timeout) {
    pollfd p{socket_, events, 0};
    return PollSockets(&p, 1, static_cast<int>(timeout.count())) > 0;
  }

  // Reads and drops pending input; false on end of stream or a socket error.
  bool Discard() {
    char buf[4096];
    IoResult n = ::recv(socket_, buf, sizeof buf, kNoWait);
    return n > 0 || (n < 0 && Retry());
  }

  NativeSocket socket_;
  const std::atomic<bool>& stop_;
};

// The pattern body, `size` bytes long, or endless when there is no size,
// with a pause after each block when `pause` is not zero.
void SendGenerated(Connection& conn, std::optional<std::uint64_t> size,
                   std::chrono::milliseconds pause = {}) {
  if (!conn.Send(Head(200, size ? LengthField(*size) : "Content-Type: application/octet-stream")))
    return;
  const std::string block = PatternBlock();
  for (std::uint64_t sent = 0; !size || sent < *size;) {
    std::size_t offset = sent % kPatternPeriod;
    std::size_t len = block.size() - offset;
    if (size) len = static_cast<std::size_t>(std::min<std::uint64_t>(*size - sent, len));
    if (!conn.Send(std::string_view(block).substr(offset, len))) return;
    sent += len;
    if (pause.count() > 0 && !conn.Idle(pause)) return;
  }
}

void SendEndlessHead(Connection& conn) {
  if (!conn.Send("HTTP/1.1 200 OK\r\n")) return;
  const std::string line = "X-Fill: " + std::string(1000, 'a') + "\r\n";
  while (conn.Send(line)) {
  }
}

void SendTrickle(Connection& conn, const Reply& reply) {
  if (!conn.Send(Head(200, LengthField(reply.body.size())))) return;
  for (char byte : reply.body) {
    if (!conn.Idle(reply.interval) || !conn.Send(std::string_view(&byte, 1))) return;
  }
}

// Plays one reply. Returns true when the connection must end with a RST.
bool Play(Connection& conn, const Reply& reply) {
  using Kind = Reply::Kind;
  switch (reply.kind) {
    case Kind::Fixed:
      conn.Send(Head(reply.status, LengthField(reply.body.size())) + reply.body);
      return false;
    case Kind::Generated:
      SendGenerated(conn, reply.announced);
      return false;
    case Kind::Truncated:
    case Kind::Reset:
      conn.Send(Head(200, LengthField(reply.announced)) + reply.body);
      return reply.kind == Kind::Reset;
    case Kind::Stall:
      conn.IdleForever();
      return false;
    case Kind::Redirect:
      conn.Send(Head(reply.status, "Location: " + reply.location + "\r\n" + LengthField(0)));
      return false;
    case Kind::Chunked:
      conn.Send(Head(200, "Transfer-Encoding: chunked") + ChunkedBody(reply.body));
      return false;
    case Kind::Trickle:
      SendTrickle(conn, reply);
      return false;
    case Kind::Endless:
      SendGenerated(conn, std::nullopt);
      return false;
    case Kind::Raw:
      conn.Send(reply.body);
      return false;
    case Kind::Paced:
      SendGenerated(conn, reply.announced, reply.interval);
      return false;
    case Kind::EndlessHead:
      SendEndlessHead(conn);
      return false;
  }
  return false;
}

// Ends the connection: FIN after everything sent, or RST when `abort`.
void Close(UniqueSocket& socket, bool abort) {
  if (abort) {
    linger lin{};
    lin.l_onoff = 1;  // with a zero timeout, closing sends RST and drops unsent data
    SetOption(socket.Get(), SOL_SOCKET, SO_LINGER, lin);
  } else {
    ::shutdown(socket.Get(), kShutdownSend);
  }
  socket.Reset();
}

}  // namespace

std::string GeneratedBody(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % kPatternPeriod);
  return bytes;
}

// ---- ScriptedServer -------------------------------------------------------

ScriptedServer::ScriptedServer() : ScriptedServer(0) {}

ScriptedServer::ScriptedServer(std::uint16_t port) : listener_(BoundSocket(port)) {
  if (::listen(listener_.Get(), SOMAXCONN) != 0) throw SystemError("listen");
  port_ = LocalPort(listener_.Get());
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  acceptor_.join();
  // The acceptor is gone, so workers_ no longer changes.
  for (std::thread& worker : workers_) worker.join();
}

std::uint16_t ScriptedServer::Port() const { return port_; }

std::string ScriptedServer::Host() const { return "127.0.0.1:" + std::to_string(port_); }

std::string ScriptedServer::Url(const std::string& path) const { return "http://" + Host() + path; }

void ScriptedServer::On(const std::string& path, std::vector<Reply> replies) {
  std::lock_guard lock(mutex_);
  script_[path] = std::move(replies);
}

int ScriptedServer::Requests(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = requests_.find(path);
  return it == requests_.end() ? 0 : it->second;
}

int ScriptedServer::OpenConnections() const {
  std::lock_guard lock(mutex_);
  return open_;
}

std::uint16_t ScriptedServer::RefusedPort() {
  // Bound but never listening, then closed: connecting to it is refused.
  SocketLibrary library;
  UniqueSocket socket = BoundSocket(0);
  return LocalPort(socket.Get());
}

void ScriptedServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listener_.Get(), POLLIN, 0};
    if (PollSockets(&p, 1, static_cast<int>(kPollSlice.count())) <= 0) continue;
    UniqueSocket client(AcceptClient(listener_.Get()));
    if (!client.Valid()) continue;
    PrepareSocket(client.Get());
    std::lock_guard lock(mutex_);
    ++open_;
    workers_.emplace_back([this, fd = std::move(client)]() mutable { Serve(std::move(fd)); });
  }
}

void ScriptedServer::Serve(UniqueSocket client) {
  Connection conn(client.Get(), stopping_);
  std::string head;
  bool abort = false;
  if (conn.ReadHead(head)) abort = Play(conn, NextReply(RequestTarget(head)));
  Close(client, abort);
  std::lock_guard lock(mutex_);
  --open_;
}

Reply ScriptedServer::NextReply(const std::string& path) {
  std::lock_guard lock(mutex_);
  int n = requests_[path]++;
  auto it = script_.find(path);
  if (it == script_.end() || it->second.empty()) return Reply::Status(404, "not found");
  const std::vector<Reply>& replies = it->second;
  return replies[std::min<std::size_t>(static_cast<std::size_t>(n), replies.size() - 1)];
}

}  // namespace testsupport
