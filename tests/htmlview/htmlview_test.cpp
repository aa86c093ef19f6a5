// The HTML view's reading mode: decoding, text reduction, fetching and the window itself,
// against a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>
#include <objbase.h>
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
