#include "der.h"

#include <cstdio>
#include <cstring>

namespace vrt::der {
namespace {

std::string TagName(uint8_t tag) {
  switch (tag) {
    case kInteger: return "an INTEGER";
    case kBitString: return "a BIT STRING";
    case kOctetString: return "an OCTET STRING";
    case kNull: return "a NULL";
    case kOid: return "an OBJECT IDENTIFIER";
    case kSequence: return "a SEQUENCE";
    case kContext0: return "a [0] element";
    default: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "tag 0x%02x", tag);
      return buf;
    }
  }
}

void AppendLength(cli::SecretBytes* out, size_t len) {
  if (len < 0x80) {
    out->push_back(static_cast<uint8_t>(len));
    return;
  }
  uint8_t bytes[sizeof(size_t)];
  size_t k = 0;
  for (size_t v = len; v != 0; v >>= 8) bytes[k++] = static_cast<uint8_t>(v);
  out->push_back(static_cast<uint8_t>(0x80 | k));
  while (k > 0) out->push_back(bytes[--k]);
}

}  // namespace

bool Reader::Fail(const std::string& why) {
  if (ok()) error_ = why;
  n_ = 0;
  return false;
}

bool Reader::Read(uint8_t tag, const uint8_t** body, size_t* len) {
  if (!ok()) return false;
  if (n_ == 0) return Fail("truncated: " + TagName(tag) + " is missing");
  const uint8_t t = p_[0];
  if ((t & 0x1f) == 0x1f) return Fail("high tag numbers are not used in key files");
  if (t != tag) return Fail("expected " + TagName(tag) + ", found " + TagName(t));
  if (n_ < 2) return Fail("truncated: the length of " + TagName(tag) + " is missing");
  size_t header = 2, length = p_[1];
  if (length == 0x80) return Fail("indefinite length (not DER)");
  if (length > 0x80) {
    const size_t k = length & 0x7f;
    if (k > 4) return Fail("a length of more than 4 bytes");
    if (n_ < 2 + k) return Fail("truncated: the length of " + TagName(tag) + " runs past the end");
    if (p_[2] == 0) return Fail("a length with a leading zero byte (not DER)");
    length = 0;
    for (size_t i = 0; i < k; ++i) length = length << 8 | p_[2 + i];
    if (length < 0x80) return Fail("a long-form length below 128 (not DER)");
    header = 2 + k;
  }
  if (length > n_ - header) return Fail("truncated: " + TagName(tag) + " runs past the end");
  *body = p_ + header;
  *len = length;
  p_ += header + length;
  n_ -= header + length;
  return true;
}

bool Reader::Read(uint8_t tag, Reader* body) {
  const uint8_t* p;
  size_t n;
  if (!Read(tag, &p, &n)) return false;
  *body = Reader(p, n);
  return true;
}

bool Reader::ReadSmallInteger(uint64_t* value) {
  const uint8_t* p;
  size_t n;
  if (!Read(kInteger, &p, &n)) return false;
  if (n == 0) return Fail("an empty INTEGER");
  if (p[0] & 0x80) return Fail("a negative INTEGER");
  if (n > 1 && p[0] == 0 && !(p[1] & 0x80)) return Fail("an INTEGER with a superfluous leading zero (not DER)");
  if (n > 9 || (n == 9 && p[0] != 0)) return Fail("an INTEGER too large here");
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
  *value = v;
  return true;
}

bool Reader::ReadOid(std::string* dotted) {
  const uint8_t* p;
  size_t n;
  if (!Read(kOid, &p, &n)) return false;
  if (n == 0) return Fail("an empty OBJECT IDENTIFIER");
  if (p[n - 1] & 0x80) return Fail("an OBJECT IDENTIFIER that ends inside a component");
  std::string text;
  bool first = true;
  for (size_t i = 0; i < n;) {
    if (p[i] == 0x80) return Fail("an OBJECT IDENTIFIER component with a leading zero (not DER)");
    uint64_t v = 0;
    do {
      if (v >> 56) return Fail("an OBJECT IDENTIFIER component too large");
      v = v << 7 | (p[i] & 0x7f);
    } while (p[i++] & 0x80);
    char buf[48];
    if (first) {
      const uint64_t top = v < 40 ? 0 : v < 80 ? 1 : 2;
      std::snprintf(buf, sizeof buf, "%llu.%llu", static_cast<unsigned long long>(top),
                    static_cast<unsigned long long>(v - 40 * top));
      first = false;
    } else {
      std::snprintf(buf, sizeof buf, ".%llu", static_cast<unsigned long long>(v));
    }
    text += buf;
  }
  *dotted = text;
  return true;
}

bool Reader::ExpectEnd(const char* what) {
  if (!ok()) return false;
  if (n_ != 0) return Fail(std::to_string(n_) + " unexpected byte" + (n_ == 1 ? "" : "s") + " after " + what);
  return true;
}

void Append(cli::SecretBytes* out, uint8_t tag, const uint8_t* body, size_t len) {
  out->push_back(tag);
  AppendLength(out, len);
  out->Append(body, len);
}

void AppendSmallInteger(cli::SecretBytes* out, uint64_t value) {
  uint8_t bytes[9];
  size_t k = 0;
  do {
    bytes[k++] = static_cast<uint8_t>(value);
    value >>= 8;
  } while (value != 0);
  if (bytes[k - 1] & 0x80) bytes[k++] = 0;
  uint8_t body[9];
  for (size_t i = 0; i < k; ++i) body[i] = bytes[k - 1 - i];
  Append(out, kInteger, body, k);
}

bool AppendOid(cli::SecretBytes* out, const std::string& dotted) {
  uint64_t parts[32];
  size_t count = 0;
  size_t i = 0;
  while (i <= dotted.size()) {
    if (count == 32 || i == dotted.size() || dotted[i] < '0' || dotted[i] > '9') return false;
    uint64_t v = 0;
    const size_t start = i;
    while (i < dotted.size() && dotted[i] >= '0' && dotted[i] <= '9') {
      if (v >> 56) return false;
      v = v * 10 + static_cast<uint64_t>(dotted[i++] - '0');
    }
    if (i - start > 1 && dotted[start] == '0') return false;
    parts[count++] = v;
    if (i == dotted.size()) break;
    if (dotted[i] != '.') return false;
    ++i;
  }
  if (count < 2 || parts[0] > 2 || (parts[0] < 2 && parts[1] >= 40)) return false;
  uint8_t body[32 * 10];
  size_t n = 0;
  for (size_t k = 1; k < count; ++k) {
    uint64_t v = k == 1 ? parts[0] * 40 + parts[1] : parts[k];
    uint8_t group[10];
    size_t g = 0;
    do {
      group[g++] = static_cast<uint8_t>(v & 0x7f);
      v >>= 7;
    } while (v != 0);
    while (g > 0) {
      --g;
      body[n++] = static_cast<uint8_t>(group[g] | (g > 0 ? 0x80 : 0));
    }
  }
  Append(out, kOid, body, n);
  return true;
}

}  // namespace vrt::der
