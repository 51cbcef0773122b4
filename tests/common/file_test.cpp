#include "common/file_test.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vrt::test {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

}  // namespace

bool FileTest::Has(const std::string& name) const { return values_.count(name) != 0; }

const FileTest::Value* FileTest::Find(const std::string& name) {
  auto it = values_.find(name);
  if (it == values_.end()) {
    ADD_FAILURE() << where_ << ": missing attribute " << name;
    return nullptr;
  }
  used_.insert(name);
  return &it->second;
}

std::string FileTest::GetText(const std::string& name) {
  const Value* v = Find(name);
  return v != nullptr ? v->text : std::string();
}

Bytes FileTest::GetBytes(const std::string& name) {
  const Value* v = Find(name);
  if (v == nullptr) return {};
  if (v->quoted) return Bytes(v->text.begin(), v->text.end());
  return FromHex(v->text);
}

uint64_t FileTest::GetInt(const std::string& name) {
  const Value* v = Find(name);
  if (v == nullptr) return 0;
  size_t pos = 0;
  uint64_t n = 0;
  try {
    n = std::stoull(v->text, &pos, 0);
  } catch (...) {
    pos = 0;
  }
  if (pos == 0 || pos != v->text.size()) ADD_FAILURE() << where_ << ": " << name << " is not a number";
  return n;
}

void FileTestRun(const std::string& relative_path, const std::function<void(FileTest&)>& fn) {
  const std::string path = std::string(VRT_VECTORS_DIR) + "/" + relative_path;
  std::ifstream in(path);
  ASSERT_TRUE(in.good()) << "cannot open " << path;

  std::map<std::string, FileTest::Value> section;
  std::set<std::string> section_used;
  int section_line = 0;
  auto close_section = [&] {
    for (const auto& [name, value] : section)
      if (!section_used.count(name))
        ADD_FAILURE() << relative_path << ":" << value.line << ": section attribute " << name
                      << " is used by no case";
    section.clear();
    section_used.clear();
  };

  FileTest t;
  int case_line = 0;
  int cases = 0;
  auto run_case = [&] {
    if (t.values_.empty()) return;
    for (const auto& [name, value] : section) t.values_.emplace(name, value);
    t.where_ = relative_path + ":" + std::to_string(case_line);
    {
      SCOPED_TRACE(t.where_);
      fn(t);
    }
    for (const auto& [name, value] : t.values_) {
      if (value.section) {
        if (t.used_.count(name)) section_used.insert(name);
      } else if (!t.used_.count(name)) {
        ADD_FAILURE() << relative_path << ":" << value.line << ": attribute " << name << " was not used";
      }
    }
    ++cases;
    t.values_.clear();
    t.used_.clear();
  };

  std::string raw;
  int line_no = 0;
  while (std::getline(in, raw)) {
    ++line_no;
    std::string line = Trim(raw);
    if (!line.empty() && line[0] == '#') continue;
    if (line.empty()) {
      run_case();
      continue;
    }
    bool header = line.front() == '[';
    if (header) {
      if (line.back() != ']') {
        ADD_FAILURE() << relative_path << ":" << line_no << ": unterminated section header";
        return;
      }
      run_case();
      if (section_line != 0 || !section.empty()) close_section();
      section_line = line_no;
      line = Trim(line.substr(1, line.size() - 2));
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      ADD_FAILURE() << relative_path << ":" << line_no << ": expected 'Name = value'";
      return;
    }
    FileTest::Value v;
    std::string name = Trim(line.substr(0, eq));
    v.text = Trim(line.substr(eq + 1));
    v.line = line_no;
    v.section = header;
    if (v.text.size() >= 2 && v.text.front() == '"' && v.text.back() == '"') {
      v.text = v.text.substr(1, v.text.size() - 2);
      v.quoted = true;
    }
    auto& target = header ? section : t.values_;
    if (target.empty() && !header) case_line = line_no;
    if (!target.emplace(name, v).second) {
      ADD_FAILURE() << relative_path << ":" << line_no << ": duplicate attribute " << name;
      return;
    }
  }
  run_case();
  close_section();
  EXPECT_GT(cases, 0) << relative_path << " holds no cases";
}

}  // namespace vrt::test
