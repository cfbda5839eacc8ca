// A cpp-httplib server (HTTP or HTTPS) on 127.0.0.1 running on its own thread.
#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "support/certificate.h"

namespace ravelkin::test {

class HttpServer {
 public:
  HttpServer() : server_(std::make_unique<httplib::Server>()) {}
  explicit HttpServer(const TestCertificate& cert)
      : server_(std::make_unique<httplib::SSLServer>(cert.certFile.c_str(), cert.keyFile.c_str())),
        secure_(true) {}
  ~HttpServer() { stop(); }
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  httplib::Server& routes() { return *server_; }

  // Enough server threads that the server never limits how many requests are in flight.
  static constexpr int kThreads = 32;

  // Binds and serves; call after the routes are set.
  void start() {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    // Clients keep connections alive; a short timeout lets stop() return promptly.
    server_->set_keep_alive_timeout(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
  }

  int port() const { return port_; }
  std::string url(const std::string& path) const {
    return std::string(secure_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  std::unique_ptr<httplib::Server> server_;
  bool secure_ = false;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace ravelkin::test
