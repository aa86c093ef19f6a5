// Page decoding and HTML-to-text reduction for the fallback view.
#include "page_text.h"
#include <windows.h>
#include <cwctype>

namespace htmlview {

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The value after "charset=" in a header or tag text, or "".
std::string charset_in(const std::string& s) {
  std::string l = lower(s);
  size_t p = l.find("charset=");
  if (p == std::string::npos) return {};
  p += 8;
  while (p < l.size() && (l[p] == '"' || l[p] == '\'' || l[p] == ' ')) ++p;
  size_t e = p;
  while (e < l.size() && (isalnum(static_cast<unsigned char>(l[e])) || l[e] == '-' || l[e] == '_')) ++e;
  return l.substr(p, e - p);
}

bool valid_utf8(const std::string& s) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                             nullptr, 0) > 0;
}

std::wstring to_wide(const std::string& s, unsigned cp) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

bool starts_with_ci(const std::wstring& s, size_t at, const wchar_t* word) {
  for (size_t i = 0; word[i]; ++i)
    if (at + i >= s.size() || towlower(s[at + i]) != word[i]) return false;
  return true;
}

// Name of the tag starting at s[at] == '<' (lower case, without '/').
std::wstring tag_name(const std::wstring& s, size_t at) {
  size_t p = at + 1;
  if (p < s.size() && s[p] == L'/') ++p;
  std::wstring name;
  while (p < s.size() && iswalnum(s[p])) name += static_cast<wchar_t>(towlower(s[p++]));
  return name;
}

bool is_block(const std::wstring& tag) {
  static const wchar_t* blocks[] = {L"p", L"div", L"br", L"li", L"ul", L"ol", L"tr", L"table",
                                    L"h1", L"h2", L"h3", L"h4", L"h5", L"h6", L"section",
                                    L"article", L"header", L"footer", L"pre", L"blockquote",
                                    L"hr", L"dt", L"dd", L"form", L"nav"};
  for (const wchar_t* b : blocks)
    if (tag == b) return true;
  return false;
}

wchar_t entity(const std::wstring& name) {
  struct E { const wchar_t* n; wchar_t c; };
  static const E table[] = {{L"amp", L'&'},  {L"lt", L'<'},       {L"gt", L'>'},
                            {L"quot", L'"'}, {L"apos", L'\''},    {L"nbsp", L' '},
                            {L"copy", 0xA9}, {L"reg", 0xAE},      {L"middot", 0xB7},
                            {L"mdash", 0x2014}, {L"ndash", 0x2013}, {L"hellip", 0x2026}};
  if (!name.empty() && name[0] == L'#') {
    unsigned long v = name.size() > 1 && (name[1] == L'x' || name[1] == L'X')
                          ? wcstoul(name.c_str() + 2, nullptr, 16)
                          : wcstoul(name.c_str() + 1, nullptr, 10);
    return v > 0 && v < 0xFFFF ? static_cast<wchar_t>(v) : 0;
  }
  for (const E& e : table)
    if (name == e.n) return e.c;
  return 0;
}

// Appends text with entities resolved and white space collapsed to single spaces.
void append_text(std::wstring& out, const std::wstring& s, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    wchar_t c = s[i];
    if (c == L'&') {
      size_t semi = s.find(L';', i);
      if (semi != std::wstring::npos && semi < to && semi - i <= 10) {
        if (wchar_t e = entity(s.substr(i + 1, semi - i - 1))) {
          c = e;
          i = semi;
        }
      }
    }
    if (iswspace(c)) {
      if (!out.empty() && out.back() != L' ' && out.back() != L'\n') out += L' ';
    } else {
      out += c;
    }
  }
}

// Collapses the raw text: trims each line, keeps at most one blank line between paragraphs.
std::wstring tidy(const std::wstring& raw) {
  std::wstring out;
  size_t start = 0;
  int blanks = 0;
  while (start <= raw.size()) {
    size_t end = raw.find(L'\n', start);
    if (end == std::wstring::npos) end = raw.size();
    size_t a = start, b = end;
    while (a < b && iswspace(raw[a])) ++a;
    while (b > a && iswspace(raw[b - 1])) --b;
    if (a == b) {
      ++blanks;
    } else {
      if (!out.empty()) out += blanks > 0 ? L"\n\n" : L"\n";
      out.append(raw, a, b - a);
      blanks = 0;
    }
    start = end + 1;
  }
  return out;
}

}  // namespace

unsigned code_page_for(const std::string& charset) {
  struct C { const char* name; unsigned cp; };
  static const C table[] = {{"utf-8", CP_UTF8},       {"utf8", CP_UTF8},      {"gbk", 936},
                            {"gb2312", 936},          {"x-gbk", 936},         {"gb18030", 54936},
                            {"big5", 950},            {"shift_jis", 932},     {"euc-kr", 949},
                            {"iso-8859-1", 1252},     {"windows-1252", 1252}, {"us-ascii", 1252},
                            {"ascii", 1252}};
  std::string l = lower(charset);
  for (const C& c : table)
    if (l == c.name) return c.cp;
  return 0;
}

std::wstring decode_page(const std::string& bytes, const std::string& content_type) {
  unsigned cp = code_page_for(charset_in(content_type));
  if (!cp) {
    std::string head = bytes.substr(0, 4096);
    for (size_t p = lower(head).find("<meta"); p != std::string::npos && !cp;
         p = lower(head).find("<meta", p + 5)) {
      size_t e = head.find('>', p);
      cp = code_page_for(charset_in(head.substr(p, e == std::string::npos ? std::string::npos : e - p)));
    }
  }
  if (!cp) cp = valid_utf8(bytes) ? CP_UTF8 : 936;
  std::wstring w = to_wide(bytes, cp);
  if (!w.empty() && w[0] == 0xFEFF) w.erase(0, 1);
  return w;
}

PageText page_text(const std::wstring& html, bool is_html) {
  PageText page;
  if (!is_html) {
    page.text = tidy(html);
    return page;
  }
  std::wstring raw;
  size_t i = 0, n = html.size();
  bool in_head_title = false;
  size_t text_from = 0;
  while (i < n) {
    if (html[i] != L'<') {
      ++i;
      continue;
    }
    if (starts_with_ci(html, i, L"<!--")) {  // comment
      append_text(raw, html, text_from, i);
      size_t e = html.find(L"-->", i + 4);
      i = text_from = e == std::wstring::npos ? n : e + 3;
      continue;
    }
    std::wstring tag = tag_name(html, i);
    size_t close = html.find(L'>', i);
    if (tag.empty() && html.compare(i, 2, L"<!") != 0 && html.compare(i, 2, L"<?") != 0 &&
        (i + 1 >= n || html[i + 1] != L'/')) {
      ++i;  // a lone '<' in text
      continue;
    }
    append_text(in_head_title ? page.title : raw, html, text_from, i);
    bool closing = i + 1 < n && html[i + 1] == L'/';
    i = text_from = close == std::wstring::npos ? n : close + 1;
    if (tag == L"script" || tag == L"style" || tag == L"noscript") {
      if (closing) continue;
      std::wstring end = L"</" + tag;
      size_t e = i;
      while (e < n && !starts_with_ci(html, e, end.c_str())) ++e;
      size_t gt = html.find(L'>', e);
      i = text_from = gt == std::wstring::npos ? n : gt + 1;
    } else if (tag == L"title") {
      in_head_title = !closing && page.title.empty();
    } else if (is_block(tag)) {
      raw += L'\n';
    } else if ((tag == L"td" || tag == L"th") && !raw.empty() && raw.back() != L' ' &&
               raw.back() != L'\n') {
      raw += L' ';
    }
  }
  append_text(raw, html, text_from, n);
  page.text = tidy(raw);
  page.title = tidy(page.title);
  return page;
}

}  // namespace htmlview
