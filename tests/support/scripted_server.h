// A scripted HTTP/1.1 server on 127.0.0.1 for tests: each path answers with a
// list of canned replies, including broken ones (truncated, reset, stalled).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

#if defined(_WIN32)
using NativeSocket = std::uintptr_t;                          // SOCKET
inline constexpr NativeSocket kNoSocket = ~NativeSocket{0};  // INVALID_SOCKET
#else
using NativeSocket = int;  // file descriptor
inline constexpr NativeSocket kNoSocket = -1;
#endif

// Owns a socket and closes it on destruction.
class UniqueSocket {
 public:
  UniqueSocket() noexcept = default;
  explicit UniqueSocket(NativeSocket socket) noexcept : socket_(socket) {}
  UniqueSocket(UniqueSocket&& other) noexcept;
  UniqueSocket& operator=(UniqueSocket&& other) noexcept;
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  ~UniqueSocket();

  NativeSocket Get() const noexcept { return socket_; }
  bool Valid() const noexcept { return socket_ != kNoSocket; }
  void Reset() noexcept;

 private:
  NativeSocket socket_ = kNoSocket;
};

// Keeps the socket library usable while alive: Winsock needs WSAStartup before
// the first socket call and WSACleanup after the last; nothing to do on POSIX.
class SocketLibrary {
 public:
  SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
  ~SocketLibrary();
};

// Whether the platform's request object sees a chunked body's last chunk,
// and so takes a chunked body as whole: libcurl does; WinHTTP does not tell
// it from a connection that just closed.
#ifdef _WIN32
inline constexpr bool kChunkedEndSeen = false;
#else
inline constexpr bool kChunkedEndSeen = true;
#endif

// The body that Generated, Paced and Endless send: byte i is i % 251.
std::string GeneratedBody(std::size_t size);

// One scripted answer to one request.
struct Reply {
  enum class Kind { Fixed, Generated, Truncated, Reset, Stall, Redirect, Chunked, Trickle, Endless, Raw,
                    EndlessHead, Paced };

  // 200 with Content-Length.
  static Reply Ok(std::string body);
  // Any status (e.g. 404, 500) with a page body and Content-Length.
  static Reply Status(int status, std::string page);
  // 200 with Content-Length `size`; byte i of the body is i % 251. The body is
  // streamed, never held in memory.
  static Reply Generated(std::uint64_t size);
  // Announces `announced` bytes (> body.size()), sends `body`, then closes cleanly (FIN).
  static Reply Truncated(std::string body, std::uint64_t announced);
  // Announces `announced` bytes, sends `partial`, then aborts the connection (RST).
  static Reply Reset(std::string partial, std::uint64_t announced);
  // Reads the request and never answers; holds the connection until the
  // client goes away or the server stops.
  static Reply Stall();
  // 3xx with a Location header and an empty body.
  static Reply Redirect(int status, std::string location);
  // 200 with Transfer-Encoding: chunked and no Content-Length.
  static Reply Chunked(std::string body);
  // Content-Length = body.size(), then one byte every `interval` until done or
  // the client is gone.
  static Reply Trickle(std::string body, std::chrono::milliseconds interval);
  // 200 with no length, then the i % 251 pattern until the client is gone.
  static Reply Endless();
  // Exactly these bytes, head included, then a clean close: for answers that
  // are not well-formed HTTP.
  static Reply Raw(std::string bytes);
  // A status line, then header lines without end until the client is gone.
  static Reply EndlessHead();
  // As Generated, pausing `interval` after every 64 KB or so: a download that
  // takes a while, whose every stage can be watched.
  static Reply Paced(std::uint64_t size, std::chrono::milliseconds interval);

  Kind kind = Kind::Fixed;
  int status = 200;
  std::string body;             // body, page or partial body
  std::uint64_t announced = 0;  // Content-Length sent (Generated/Truncated/Reset)
  std::string location;         // Redirect target
  std::chrono::milliseconds interval{0};  // Trickle pace
};

// Listens on 127.0.0.1, serves one request per connection, a thread per
// connection, and replays the replies scripted with On().
class ScriptedServer {
 public:
  ScriptedServer();  // ephemeral port
  // Fixed port, which may be bound again at once after an earlier server on
  // it stopped (SO_REUSEADDR on POSIX; Windows allows that by default); throws
  // std::runtime_error if it cannot bind.
  explicit ScriptedServer(std::uint16_t port);
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;
  // Stops within about 50 ms, even with stalled connections, and joins all threads.
  ~ScriptedServer();

  std::uint16_t Port() const;
  std::string Host() const;                        // "127.0.0.1:<port>"
  std::string Url(const std::string& path) const;  // "http://127.0.0.1:<port>" + path

  // The n-th request (0-based) to `path` (exact request target) gets
  // replies[min(n, size-1)]. Unknown paths get 404 "not found".
  void On(const std::string& path, std::vector<Reply> replies);
  // Requests whose request line named `path` so far.
  int Requests(const std::string& path) const;
  // Connections accepted and not yet closed by the server.
  int OpenConnections() const;
  // A loopback port with nothing listening on it.
  static std::uint16_t RefusedPort();

 private:
  void AcceptLoop();
  void Serve(UniqueSocket client);
  Reply NextReply(const std::string& path);

  SocketLibrary library_;  // first: outlives every socket below
  UniqueSocket listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};

  mutable std::mutex mutex_;
  std::map<std::string, std::vector<Reply>> script_;
  std::map<std::string, int> requests_;
  int open_ = 0;
  std::vector<std::thread> workers_;

  std::thread acceptor_;  // last: starts once everything above is ready
};

}  // namespace testsupport
