// Library list entries: splitting into fields and reducing field 0 to the library's name.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "image/library_loader.h"

namespace {

TEST(LibraryEntry, SplitsIntoAtMostSixFields) {
  struct Case {
    const char* entry;
    std::vector<std::string> fields;
  } cases[] = {
      {"a\rb\rc\rd\re", {"a", "b", "c", "d", "e"}},
      {"a\rb\rc\rd\re\rf", {"a", "b", "c", "d", "e", "f"}},
      {"a\rb\rc\rd\re\rf\rg", {"a", "b", "c", "d", "e", "f\rg"}},  // the sixth keeps the rest
      {"a\rb\rc\rd", {"a", "b", "c", "d"}},
      {"a\r\r\r\r", {"a", "", "", "", ""}},
      {"only", {"only"}},
  };
  for (const Case& c : cases) EXPECT_EQ(image::entry_fields(c.entry), c.fields) << c.entry;
}

TEST(LibraryEntry, FieldZeroIsReducedToTheName) {
  struct Case {
    const char* field0;
    const char* name;
  } cases[] = {
      {"C:\\some\\dir\\abc.vlb", "abc"},
      {"abc.vlr", "abc"},
      {"abc", "abc"},
      {"dir.d\\abc", "abc"},            // a dot in the directory is not an extension
      {"a.b.c", "a.b"},                 // only the last extension
      {"\\\\server\\share\\lib.x", "lib"},
      {"pack.wpa", "pack.wpa"},         // packaging libraries keep their extension
      {"C:\\x\\PACK.WCA", "PACK.WCA"},  // compared without case, directory still removed
      {"@ctl.ocx", "@ctl.ocx"},         // OCX entries keep theirs
      {"@@types.tlb", "@@types.tlb"},
      {"C:\\x\\@ctl.ocx", "@ctl.ocx"},
  };
  for (const Case& c : cases) EXPECT_EQ(image::library_file_name(c.field0), c.name) << c.field0;
}

}  // namespace
