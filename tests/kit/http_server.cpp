// The test HTTP server: one connection at a time, one request per connection.
#include "http_server.h"

namespace kit {

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener_, 16);
  int len = sizeof a;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { serve(); });
}

HttpServer::~HttpServer() {
  stop_ = true;
  closesocket(listener_);
  thread_.join();
  for (SOCKET s : hung_) closesocket(s);
  WSACleanup();
}

std::string HttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpServer::Request> HttpServer::requests() {
  std::lock_guard<std::mutex> l(mutex_);
  return requests_;
}

size_t HttpServer::count() {
  std::lock_guard<std::mutex> l(mutex_);
  return requests_.size();
}

void HttpServer::serve() {
  while (!stop_) {
    SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) break;
    answer(s);
  }
}

void HttpServer::answer(SOCKET s) {
  std::string in;
  char buf[4096];
  DWORD timeout = 5000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  while (in.find("\r\n\r\n") == std::string::npos) {
    int n = recv(s, buf, sizeof buf, 0);
    if (n <= 0) break;
    in.append(buf, n);
  }
  Request r{"", "", GetTickCount()};
  size_t sp1 = in.find(' '), sp2 = in.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) {
    closesocket(s);
    return;
  }
  r.method = in.substr(0, sp1);
  r.path = in.substr(sp1 + 1, sp2 - sp1 - 1);
  {
    std::lock_guard<std::mutex> l(mutex_);
    requests_.push_back(r);
  }
  Response resp;
  if (handler_) resp = handler_(r);
  else resp.body = "<html><head><title>Test page</title></head><body><p>Hello</p></body></html>";
  if (resp.hang) {
    hung_.push_back(s);
    return;
  }
  std::string out = "HTTP/1.1 " + std::to_string(resp.status) + " X\r\nContent-Length: " +
                    std::to_string(resp.body.size()) + "\r\nConnection: close\r\n";
  if (resp.headers.find("Content-Type") == std::string::npos) out += "Content-Type: text/html\r\n";
  out += resp.headers + "\r\n" + resp.body;
  send(s, out.data(), static_cast<int>(out.size()), 0);
  shutdown(s, SD_SEND);
  while (recv(s, buf, sizeof buf, 0) > 0) {
  }
  closesocket(s);
}

}  // namespace kit
