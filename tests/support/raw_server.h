// A bare TCP server on 127.0.0.1 for tests that must see or shape the bytes on the wire
// (exact request blocks, stalls, proxies). Each connection runs its handler on a thread of its
// own; stopping the server shuts every connection down so blocked handlers return.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ravelkin::test {

inline bool sendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Reads one request: the head up to the blank line, then Content-Length bytes of body.
inline std::string readRequest(int fd) {
  std::string data;
  char buf[4096];
  size_t headEnd;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return data;
    data.append(buf, static_cast<size_t>(n));
  }
  size_t length = 0;
  for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
    const size_t at = data.find(name);
    if (at != std::string::npos && at < headEnd) length = std::stoul(data.substr(at + 17));
  }
  while (data.size() < headEnd + 4 + length) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  return data;
}

inline int connectLocal(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Copies bytes both ways between two sockets until either side closes.
inline void pump(int a, int b) {
  char buf[16384];
  for (;;) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    if (::poll(fds, 2, 10000) <= 0) return;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
      if (n <= 0 || !sendAll(i == 0 ? b : a, std::string_view(buf, static_cast<size_t>(n)))) {
        return;
      }
    }
  }
}

class RawServer {
 public:
  using Handler = std::function<void(int fd)>;

  explicit RawServer(Handler handler) : handler_(std::move(handler)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_, 64) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~RawServer() {
    stopping_ = true;
    acceptor_.join();
    {
      std::lock_guard lock(mutex_);
      for (const int fd : open_) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : workers_) t.join();
    ::close(listen_);
  }

  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  int connections() const { return accepted_; }

 private:
  void acceptLoop() {
    while (!stopping_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      ++accepted_;
      std::lock_guard lock(mutex_);
      open_.insert(fd);
      workers_.emplace_back([this, fd] {
        handler_(fd);
        {
          std::lock_guard l(mutex_);
          open_.erase(fd);
        }
        ::close(fd);
      });
    }
  }

  Handler handler_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread acceptor_;
  std::mutex mutex_;
  std::set<int> open_;
  std::vector<std::thread> workers_;
};

// A handler that answers every request on a connection with the same canned response and
// keeps each request it saw.
class Recorder {
 public:
  explicit Recorder(std::string response) : response_(std::move(response)) {}
  RawServer::Handler handler() {
    return [this](int fd) {
      for (;;) {
        const std::string request = readRequest(fd);
        if (request.empty()) return;
        {
          std::lock_guard lock(mutex_);
          requests_.push_back(request);
        }
        if (!sendAll(fd, response_)) return;
      }
    };
  }
  std::vector<std::string> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  std::string response_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

}  // namespace ravelkin::test
