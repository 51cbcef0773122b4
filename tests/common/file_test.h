// Reader for the known-answer files under tests/vectors/.
//
// Format: "Name = value" lines; a blank line ends a case; "[Name = value]"
// sets an attribute for every case below it until the next such header; "#"
// starts a comment. A value is hex, or text in double quotes. Every case
// attribute must be read by the test, and every section attribute by at
// least one case of its section, so a misspelt name fails instead of being
// skipped silently.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/test_util.h"

namespace vrt::test {

class FileTest {
 public:
  bool Has(const std::string& name) const;
  // The value as written (quotes removed from text).
  std::string GetText(const std::string& name);
  // Hex or quoted text as bytes.
  Bytes GetBytes(const std::string& name);
  // Decimal, or hex with 0x.
  uint64_t GetInt(const std::string& name);
  // "file:line" of the case, for failure messages.
  const std::string& Where() const { return where_; }

 private:
  friend void FileTestRun(const std::string&, const std::function<void(FileTest&)>&);
  struct Value {
    std::string text;
    bool quoted = false;
    int line = 0;
    bool section = false;
  };
  const Value* Find(const std::string& name);
  std::map<std::string, Value> values_;
  std::set<std::string> used_;
  std::string where_;
};

// Runs fn on every case of tests/vectors/<relative_path>, each under a trace
// naming its line.
void FileTestRun(const std::string& relative_path, const std::function<void(FileTest&)>& fn);

}  // namespace vrt::test
