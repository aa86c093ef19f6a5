// The HTML view's reading mode: decoding, text reduction, fetching and the window itself,
// against a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <objbase.h>
#include <tlhelp32.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include "fetch.h"
#include "http_server.h"
#include "kit.h"
#include "page_text.h"
#include "view.h"

using htmlview::decode_page;
using htmlview::page_text;

TEST(PageText, TitleAndReadableText) {
  struct Case { const wchar_t* html; const wchar_t* title; const wchar_t* text; } cases[] = {
      {L"<html><head><title> A  page </title><style>p{x:1}</style></head>"
       L"<body><p>one</p><p>two &amp; three</p></body></html>", L"A page", L"one\n\ntwo & three"},
      {L"<script>var a = '<p>no</p>';</script>text", L"", L"text"},
      {L"a<br>b<!-- <p>hidden</p> -->c", L"", L"a\nbc"},
      {L"x &lt;y&gt; &#20013;&#x6587; &nbsp;z", L"", L"x <y> 中文 z"},
      {L"<table><tr><td>1</td><td>2</td></tr></table>", L"", L"1 2"},
      {L"html  text\r\n\r\n\r\n\r\nnext", L"", L"html text next"},
      {L"a < b and c", L"", L"a < b and c"},
      {L"<p>unterminated <b", L"", L"unterminated"},
  };
  for (const auto& c : cases) {
    auto t = page_text(c.html);
    EXPECT_EQ(t.title, c.title) << c.html;
    EXPECT_EQ(t.text, c.text) << c.html;
  }
  EXPECT_EQ(page_text(L"plain <b>\r\n\r\n\r\nnext", false).text, L"plain <b>\n\nnext");
}

TEST(PageText, DecodingFollowsHeaderThenMetaThenBytes) {
  const std::string gbk = "\xD6\xD0\xCE\xC4";  // 中文 in GBK
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87";
  EXPECT_EQ(decode_page(utf8, "text/html; charset=UTF-8"), L"中文");
  EXPECT_EQ(decode_page(gbk, "text/html; charset=gb2312"), L"中文");
  EXPECT_EQ(decode_page("<meta charset=\"gbk\">" + gbk, "text/html"), L"<meta charset=\"gbk\">中文");
  EXPECT_EQ(decode_page(utf8, "text/html"), L"中文");   // valid UTF-8
  EXPECT_EQ(decode_page(gbk, "text/html"), L"中文");    // not UTF-8: GBK
  EXPECT_EQ(decode_page("\xEF\xBB\xBFok", ""), L"ok");  // byte order mark dropped
}

TEST(Fetch, EveryCallIsARealRequestAndRedirectsAreFollowed) {
  kit::HttpServer server([](const kit::HttpServer::Request& r) {
    kit::HttpServer::Response resp;
    if (r.path == "/old") {
      resp.status = 302;
      resp.headers = "Location: /new\r\n";
    } else if (r.path == "/gone") {
      resp.status = 404;
      resp.body = "missing";
    } else {
      resp.headers = "Cache-Control: max-age=3600\r\n";
      resp.body = "<title>T</title>body";
    }
    return resp;
  });
  auto a = htmlview::fetch(std::wstring(L"http://127.0.0.1:") + std::to_wstring(server.port()) + L"/p", 5000);
  auto b = htmlview::fetch(std::wstring(L"http://127.0.0.1:") + std::to_wstring(server.port()) + L"/p", 5000);
  ASSERT_TRUE(a.ok);
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(a.status, 200u);
  EXPECT_EQ(a.body, "<title>T</title>body");
  EXPECT_EQ(server.count(), 2u);  // a cacheable page is still fetched twice

  auto r = htmlview::fetch(std::wstring(L"http://127.0.0.1:") + std::to_wstring(server.port()) + L"/old", 5000);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.status, 200u);
  EXPECT_NE(r.final_url.find(L"/new"), std::wstring::npos);
  auto g = htmlview::fetch(std::wstring(L"http://127.0.0.1:") + std::to_wstring(server.port()) + L"/gone", 5000);
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.status, 404u);
}

TEST(Fetch, UnreachableAndSilentServersGiveErrors) {
  int closed_port;
  {
    kit::HttpServer gone;
    closed_port = gone.port();
  }
  auto refused = htmlview::fetch(L"http://127.0.0.1:" + std::to_wstring(closed_port) + L"/", 3000);
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.error, 0u);

  kit::HttpServer silent([](const kit::HttpServer::Request&) {
    kit::HttpServer::Response r;
    r.hang = true;
    return r;
  });
  DWORD start = GetTickCount();
  auto hung = htmlview::fetch(L"http://127.0.0.1:" + std::to_wstring(silent.port()) + L"/", 1000);
  EXPECT_FALSE(hung.ok);
  EXPECT_LT(GetTickCount() - start, 10000u);
}

class ViewWindow : public ::testing::Test {
 protected:
  HWND parent = nullptr;
  void SetUp() override {
    CoInitialize(nullptr);
    parent = CreateWindowA("STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400,
                           nullptr, nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    DestroyWindow(parent);
    CoUninitialize();
  }
  // Pumps messages until `cond` holds or `ms` pass.
  static bool pump_until(const std::function<bool()>& cond, DWORD ms = 8000) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      if (cond()) return true;
      Sleep(5);
    }
    return false;
  }
};

TEST_F(ViewWindow, ShowsTheStartPageAndBrowsesOncePerCall) {
  if (htmlview::View::engine_present()) GTEST_SKIP() << "the platform's HTML engine draws the page";
  kit::HttpServer server([](const kit::HttpServer::Request&) {
    kit::HttpServer::Response r;
    r.headers = "Content-Type: text/html; charset=gbk\r\n";
    r.body = "<title>\xB2\xE2\xCA\xD4</title><p>ok</p>";  // 测试
    return r;
  });
  std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/start";
  auto* v = htmlview::View::create(parent, WS_VISIBLE, 100, 12, 32, 528, 267, url);
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(pump_until([&] { return !v->busy(); }));
  EXPECT_EQ(v->title(), L"测试");
  EXPECT_EQ(v->status().rfind(L"HTTP 200", 0), 0u) << v->status().size();
  EXPECT_EQ(server.count(), 1u);

  v->set_address(url + L"?next");  // stored only
  EXPECT_EQ(v->address(), url + L"?next");
  Sleep(200);
  EXPECT_EQ(server.count(), 1u);
  v->browse(url);
  ASSERT_TRUE(pump_until([&] { return !v->busy(); }));
  EXPECT_EQ(server.count(), 2u);
}

TEST_F(ViewWindow, UnreachableAddressShowsAnErrorAndKeepsTheWindowResponsive) {
  if (htmlview::View::engine_present()) GTEST_SKIP();
  int closed_port;
  {
    kit::HttpServer gone;
    closed_port = gone.port();
  }
  auto* v = htmlview::View::create(parent, WS_VISIBLE, 100, 0, 0, 300, 200, L"");
  ASSERT_NE(v, nullptr);
  v->browse(L"http://127.0.0.1:" + std::to_wstring(closed_port) + L"/");
  EXPECT_TRUE(v->busy());  // browse returns at once; the fetch runs on a worker
  ASSERT_TRUE(pump_until([&] { return !v->busy(); }));
  EXPECT_EQ(v->status().rfind(L"错误", 0), 0u);
  EXPECT_TRUE(v->title().empty());
}

// Hostile servers: scripted on 127.0.0.1, one connection at a time; the script answers on the
// socket itself and may keep it open unanswered.
class ScriptedServer {
 public:
  using Script = std::function<bool(SOCKET, const std::string& path)>;  // true: hold it open
  explicit ScriptedServer(Script script) : script_(std::move(script)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 16);
    int len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedServer() {
    closesocket(listener_);
    thread_.join();
    for (SOCKET s : held_) closesocket(s);
    WSACleanup();
  }
  std::wstring url(const std::string& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + std::wstring(path.begin(), path.end());
  }
  size_t count(const std::string& prefix = "/") {
    std::lock_guard<std::mutex> l(mutex_);
    size_t n = 0;
    for (const auto& p : paths_) n += p.rfind(prefix, 0) == 0;
    return n;
  }

 private:
  void serve() {
    for (;;) {
      SOCKET s = accept(listener_, nullptr, nullptr);
      if (s == INVALID_SOCKET) return;
      DWORD bound = 5000;  // neither side of a test waits on the other for long
      setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&bound), sizeof bound);
      setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&bound), sizeof bound);
      std::string in;
      char buf[4096];
      int n;
      while (in.find("\r\n\r\n") == std::string::npos && (n = recv(s, buf, sizeof buf, 0)) > 0) in.append(buf, n);
      size_t sp1 = in.find(' '), sp2 = in.find(' ', sp1 + 1);
      std::string path = sp2 == std::string::npos ? "" : in.substr(sp1 + 1, sp2 - sp1 - 1);
      {
        std::lock_guard<std::mutex> l(mutex_);
        paths_.push_back(path);
      }
      if (script_(s, path)) {
        held_.push_back(s);
        continue;
      }
      shutdown(s, SD_SEND);
      closesocket(s);
    }
  }
  Script script_;
  SOCKET listener_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> paths_;
  std::vector<SOCKET> held_;
  std::thread thread_;
};

bool send_all(SOCKET s, const std::string& data) {
  return send(s, data.data(), static_cast<int>(data.size()), 0) == static_cast<int>(data.size());
}

size_t thread_count() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 te{};
  te.dwSize = sizeof te;
  size_t n = 0;
  if (Thread32First(snap, &te)) {
    do n += te.th32OwnerProcessID == GetCurrentProcessId();
    while (Thread32Next(snap, &te));
  }
  CloseHandle(snap);
  return n;
}

class HtmlViewHostile : public ViewWindow {
 protected:
  htmlview::View* view = nullptr;
  void SetUp() override {
    ViewWindow::SetUp();
    if (htmlview::View::engine_present()) GTEST_SKIP() << "the platform's HTML engine fetches the page";
  }
  // `timeout_ms`: through the environment, as a test of the whole program would set it.
  void create_view(const wchar_t* timeout_ms = nullptr) {
    SetEnvironmentVariableW(L"ORVEL_HTMLVIEW_TIMEOUT_MS", timeout_ms);
    view = htmlview::View::create(parent, WS_VISIBLE, 100, 0, 0, 500, 300, L"");
    SetEnvironmentVariableW(L"ORVEL_HTMLVIEW_TIMEOUT_MS", nullptr);
    ASSERT_NE(view, nullptr);
    pump_until([] { return false; }, 100);  // the view is chosen
  }
};

// A server that never answers: a time-out ends the fetch's thread, and browses that replace a
// running fetch never leave more than one fetch thread behind.
TEST_F(HtmlViewHostile, TimedOutFetchLeavesNoThreadOrConnectionBehind) {
  ScriptedServer silent([](SOCKET, const std::string&) { return true; });
  create_view(L"1500");
  const size_t base = thread_count();
  size_t most = 0;
  for (int i = 0; i < 3; ++i) view->browse(silent.url("/hang"));
  ASSERT_TRUE(pump_until([&] {
    most = std::max(most, thread_count());
    return !view->busy();
  }, 10000));
  const DWORD timed_out = GetTickCount();
  EXPECT_LE(most, base + 1) << "fetches in flight at once";
  EXPECT_EQ(view->status().rfind(L"错误", 0), 0u);
  EXPECT_NE(view->text().find(L"超时"), std::wstring::npos);
  EXPECT_TRUE(pump_until([&] { return thread_count() == base; }, 2000))
      << thread_count() - base << " threads left after " << GetTickCount() - timed_out << " ms";
  std::printf("threads: base %u, at most %u, back to base %lu ms after the time-out\n",
              static_cast<unsigned>(base), static_cast<unsigned>(most),
              static_cast<unsigned long>(GetTickCount() - timed_out));
}

// A redirect loop: at most 20 redirects are followed, then an error page; a loop replaced by
// another browse stops at once.
TEST_F(HtmlViewHostile, RedirectLoopEndsWithAnErrorPageAndWithItsBrowse) {
  ScriptedServer loop([](SOCKET s, const std::string& path) {
    if (path.rfind("/loop", 0) == 0)
      send_all(s, "HTTP/1.1 302 Found\r\nLocation: /loop" + std::to_string(GetTickCount() % 1000) +
                      "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    else
      send_all(s, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 22\r\n"
                  "Connection: close\r\n\r\n<title>P</title>plain.");
    return false;
  });
  create_view();
  view->browse(loop.url("/loop"));
  ASSERT_TRUE(pump_until([&] { return !view->busy(); }));
  EXPECT_EQ(loop.count("/loop"), 21u);
  EXPECT_EQ(view->status().rfind(L"错误", 0), 0u);
  EXPECT_NE(view->text().find(L"重定向"), std::wstring::npos) << view->text().size();

  const size_t before = loop.count("/loop");
  view->browse(loop.url("/loop"));
  view->browse(loop.url("/page"));
  ASSERT_TRUE(pump_until([&] { return !view->busy(); }));
  EXPECT_EQ(view->title(), L"P");
  const size_t after = loop.count("/loop");
  EXPECT_LE(after - before, 21u);
  pump_until([] { return false; }, 300);
  EXPECT_EQ(loop.count("/loop"), after) << "the loop went on after its browse was replaced";
  std::printf("redirect loop: %u requests, then %u for the replaced browse\n",
              static_cast<unsigned>(before), static_cast<unsigned>(after - before));
}

// A 50 MB body: the window answers throughout, reading stops at the 4 MiB cap and the page is
// shown while the server is still sending; the shown text is capped. (How much more is sent
// depends on the platform: where closing the request reads the rest of the body, that happens
// on the fetch's thread after the page is shown.)
TEST_F(HtmlViewHostile, LargeBodyIsCappedAndTheWindowKeepsAnswering) {
  constexpr size_t kBody = 50u << 20;
  create_view();
  std::atomic<size_t> sent{0};
  ScriptedServer big([&](SOCKET s, const std::string&) {
    std::string line = "a line of plain text that repeats, with a number 0123456789.\n";
    std::string chunk;
    while (chunk.size() < 65536) chunk += line;
    send_all(s, "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                    std::to_string(kBody) + "\r\nConnection: close\r\n\r\n");
    while (sent < kBody) {
      int n = send(s, chunk.data(), static_cast<int>(std::min(chunk.size(), kBody - sent)), 0);
      if (n <= 0) break;
      sent += n;
    }
    return false;
  });
  std::atomic<bool> probing{true};
  std::atomic<DWORD> slowest{0};
  std::atomic<int> unanswered{0};
  std::atomic<bool> prober_done{false};
  HWND w = view->hwnd();
  std::thread prober([&] {
    while (probing) {
      DWORD start = GetTickCount(), result = 0;
      if (!SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 500, reinterpret_cast<PDWORD_PTR>(&result))) ++unanswered;
      slowest = std::max<DWORD>(slowest, GetTickCount() - start);
      Sleep(20);
    }
    prober_done = true;
  });
  view->browse(big.url("/big"));
  const DWORD start = GetTickCount();
  bool done = pump_until([&] { return !view->busy(); }, 20000);
  const size_t sent_when_shown = sent;
  const DWORD shown_after = GetTickCount() - start;
  pump_until([] { return false; }, 1000);  // the swap and the painting of the result
  probing = false;
  pump_until([&] { return prober_done.load(); }, 1000);  // its last probe is answered, not left to time out
  prober.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(unanswered, 0) << "slowest answer " << slowest << " ms";
  EXPECT_LT(sent_when_shown, kBody / 4) << "the page waited for the body past the cap";
  EXPECT_EQ(view->status().rfind(L"HTTP 200", 0), 0u);
  EXPECT_LE(view->text().size(), 4u << 20);
  EXPECT_GT(view->text().size(), 3u << 20);
  std::printf("slowest answer %lu ms; page shown after %lu ms with %u bytes sent; %u sent in all\n",
              static_cast<unsigned long>(slowest.load()), static_cast<unsigned long>(shown_after),
              static_cast<unsigned>(sent_when_shown), static_cast<unsigned>(sent.load()));
}
