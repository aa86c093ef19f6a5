// Page text: decodes fetched page bytes (GBK, UTF-8, ...) and turns HTML into a title and
// readable text for the fallback view.
#pragma once
#include <string>

namespace htmlview {

// Code page for a charset name ("utf-8", "gb2312", ...), or 0 when unknown.
unsigned code_page_for(const std::string& charset);

// Decodes page bytes: the charset from the Content-Type header wins, then a <meta> charset
// in the page, then UTF-8 when the bytes are valid UTF-8, else GBK.
std::wstring decode_page(const std::string& bytes, const std::string& content_type);

struct PageText {
  std::wstring title;
  std::wstring text;  // paragraphs separated by "\n", no runs of blank lines
};

// The title and the readable text of an HTML page (scripts, styles and tags removed,
// entities resolved, white space collapsed; block elements break lines). Plain text
// (is_html false) keeps its lines.
PageText page_text(const std::wstring& html, bool is_html = true);

}  // namespace htmlview
