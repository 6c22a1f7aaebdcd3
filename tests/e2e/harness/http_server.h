#pragma once
// A small HTTP server on 127.0.0.1 for the engine's requests under Wine: it
// answers only there, serves one connection at a time, records each request
// and ends by itself after a bounded time.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ks::e2e {

struct Received {
  std::string request_line;
  std::string user_agent;
  std::string headers;  // the header lines after the request line, each ending in CR LF
  std::string body;     // as many bytes as Content-Length says

  // The value of the first header `name` (as written, case included); "" when missing.
  std::string Header(const std::string& name) const {
    const std::string key = "\r\n" + name + ": ";
    const std::size_t at = ("\r\n" + headers).find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() - 2;
    return headers.substr(start, headers.find("\r\n", start) - start);
  }
};

// Serves one connection at a time on 127.0.0.1. With `answer` off it accepts
// and then never says anything, like a hung server.
class LocalHttpServer {
 public:
  explicit LocalHttpServer(bool answer, int lifetime_seconds = 120) : answer_(answer) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd_, 8) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return;
    }
    port_ = ntohs(addr.sin_port);
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime_seconds);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalHttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : held_) close(fd);
    if (fd_ >= 0) close(fd_);
  }

  int port() const { return port_; }
  std::vector<Received> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  bool Running() const { return !stop_ && std::chrono::steady_clock::now() < deadline_; }

  void Serve() {
    while (Running()) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const int client = accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      if (!answer_) {
        held_.push_back(client);
        continue;
      }
      Handle(client);
      close(client);
    }
  }

  void Handle(int client) {
    std::string data;
    char buffer[4096];
    while (Running() && data.find("\r\n\r\n") == std::string::npos && data.size() < 65536) {
      pollfd p{client, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
    }
    Received r;
    const std::size_t line_end = data.find("\r\n");
    const std::size_t head_end = data.find("\r\n\r\n");
    r.request_line = data.substr(0, line_end);
    if (line_end != std::string::npos && head_end != std::string::npos)
      r.headers = data.substr(line_end + 2, head_end + 2 - (line_end + 2));
    r.user_agent = r.Header("User-Agent");
    // The body follows the empty line; a POST says how long it is.
    const std::size_t length = std::strtoul(r.Header("Content-Length").c_str(), nullptr, 10);
    std::string body = head_end == std::string::npos ? std::string() : data.substr(head_end + 4);
    while (Running() && body.size() < length && length <= (64u << 20)) {
      pollfd p{client, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      body.append(buffer, static_cast<std::size_t>(n));
    }
    r.body = body.substr(0, length);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(r);
    }
    const std::string reply = "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
  }

  bool answer_;
  int fd_ = -1;
  int port_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<int> held_;
  std::mutex mutex_;
  std::vector<Received> requests_;
};

}  // namespace ks::e2e
