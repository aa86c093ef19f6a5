// A small HTTP server on 127.0.0.1 for tests: records every request with its arrival time and
// answers from a handler (default: a small page). Runs on its own thread until destroyed.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kit {

class HttpServer {
 public:
  struct Request {
    std::string method, path;
    DWORD tick;  // GetTickCount() at arrival
  };
  struct Response {
    int status = 200;
    std::string headers;  // extra header lines, each ending in "\r\n"
    std::string body;
    bool hang = false;    // accept and never answer (for time-outs)
  };
  using Handler = std::function<Response(const Request&)>;

  explicit HttpServer(Handler handler = nullptr);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  std::vector<Request> requests();
  size_t count();

 private:
  void serve();
  void answer(SOCKET s);
  Handler handler_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<Request> requests_;
  std::vector<SOCKET> hung_;
  volatile bool stop_ = false;
  std::thread thread_;
};

}  // namespace kit
