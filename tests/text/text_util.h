// Helpers of the text-helper tests.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

// The message of the std::runtime_error that fn raises ("" when it raises
// none, "<other>" for another exception type).
template <typename Fn>
std::string RuntimeErrorOf(Fn&& fn) {
  try {
    fn();
  } catch (const std::runtime_error& e) {
    return e.what();
  } catch (...) {
    return "<other>";
  }
  return "";
}

// ASCII text as a wide string.
inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
