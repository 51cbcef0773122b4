#include "pem.h"

#include <cstring>

namespace vrt::pem {
namespace {

using cli::CtBarrier;
using cli::CtGeMask;
using cli::CtRangeMask;

// The Base64 character of a 6-bit value: A-Z, a-z, 0-9, '+', '/'.
inline uint8_t EncodeSix(uint32_t x) {
  uint32_t r = x + 'A';
  r += CtGeMask(x, 26) & 6;    // 'a' - 26
  r -= CtGeMask(x, 52) & 75;   // '0' - 52
  r -= CtGeMask(x, 62) & 15;   // '+'
  r += CtGeMask(x, 63) & 3;    // '/'
  return static_cast<uint8_t>(r);
}

// The 6-bit value of a Base64 character; *bad becomes all-ones for any other
// character, zero for these.
inline uint32_t DecodeSix(uint32_t c, uint32_t* bad) {
  const uint32_t upper = CtRangeMask(c, 'A', 'Z'), lower = CtRangeMask(c, 'a', 'z');
  const uint32_t digit = CtRangeMask(c, '0', '9'), plus = CtRangeMask(c, '+', '+');
  const uint32_t slash = CtRangeMask(c, '/', '/');
  const uint32_t v = (upper & (c - 'A')) | (lower & (c - 'a' + 26)) | (digit & (c - '0' + 52)) | (plus & 62) |
                     (slash & 63);
  *bad = ~(upper | lower | digit | plus | slash);
  return v & 63;
}

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool StartsWith(const uint8_t* p, size_t n, const char* s) {
  const size_t k = std::strlen(s);
  return n >= k && std::memcmp(p, s, k) == 0;
}

// One line of [p, p + n) from *pos: its text without the line end. Returns
// false at the end of the text.
bool NextLine(const uint8_t* p, size_t n, size_t* pos, const uint8_t** line, size_t* len, bool* ended) {
  if (*pos >= n) return false;
  const uint8_t* start = p + *pos;
  const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(start, '\n', n - *pos));
  size_t end = nl ? static_cast<size_t>(nl - p) : n;
  *ended = nl != nullptr;
  *line = start;
  *len = end - *pos;
  if (*len > 0 && start[*len - 1] == '\r') --*len;
  *pos = nl ? end + 1 : n;
  return true;
}

}  // namespace

void Base64Encode(const uint8_t* in, size_t n, cli::SecretBytes* out) {
  uint8_t q[4];
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    const uint32_t v = static_cast<uint32_t>(in[i]) << 16 | static_cast<uint32_t>(in[i + 1]) << 8 | in[i + 2];
    q[0] = EncodeSix(v >> 18);
    q[1] = EncodeSix((v >> 12) & 63);
    q[2] = EncodeSix((v >> 6) & 63);
    q[3] = EncodeSix(v & 63);
    out->Append(q, 4);
  }
  if (i < n) {
    const bool two = n - i == 2;
    const uint32_t v = static_cast<uint32_t>(in[i]) << 16 | (two ? static_cast<uint32_t>(in[i + 1]) << 8 : 0);
    q[0] = EncodeSix(v >> 18);
    q[1] = EncodeSix((v >> 12) & 63);
    q[2] = two ? EncodeSix((v >> 6) & 63) : static_cast<uint8_t>('=');
    q[3] = '=';
    out->Append(q, 4);
  }
  cli::Wipe(q, sizeof q);
}

bool Base64Decode(const uint8_t* in, size_t n, cli::SecretBytes* out) {
  if (n % 4 != 0) return false;
  uint32_t bad = 0;
  uint8_t b[3];
  for (size_t i = 0; i < n; i += 4) {
    // Only the last group may end in one or two '='.
    uint32_t pad3 = 0, pad2 = 0;
    if (i + 4 == n) {
      pad3 = CtRangeMask(in[i + 3], '=', '=');
      pad2 = pad3 & CtRangeMask(in[i + 2], '=', '=');
    }
    uint32_t b0, b1, b2, b3;
    const uint32_t v = DecodeSix(in[i], &b0) << 18 | DecodeSix(in[i + 1], &b1) << 12 |
                       (DecodeSix(in[i + 2], &b2) & ~pad2) << 6 | (DecodeSix(in[i + 3], &b3) & ~pad3);
    bad |= b0 | b1 | (b2 & ~pad2) | (b3 & ~pad3);
    // A padded group carries no set bits beyond its bytes.
    const uint32_t spare = v & ((pad3 & 0xff) | (pad2 & 0xff00));
    bad |= 0u - (((spare + 0xffffu) >> 16) & 1);
    uint32_t pad = (pad3 & 1) + (pad2 & 1);
    VRT_DECLASSIFY(&pad, sizeof pad);  // the length of the decoded bytes
    b[0] = static_cast<uint8_t>(v >> 16);
    b[1] = static_cast<uint8_t>(v >> 8);
    b[2] = static_cast<uint8_t>(v);
    out->Append(b, 3 - pad);
  }
  cli::Wipe(b, sizeof b);
  bad = CtBarrier(bad);
  VRT_DECLASSIFY(&bad, sizeof bad);
  return bad == 0;
}

void Encode(const char* label, const uint8_t* der, size_t n, cli::SecretBytes* out) {
  cli::SecretBytes b64;
  Base64Encode(der, n, &b64);
  const std::string begin = std::string("-----BEGIN ") + label + "-----\n";
  const std::string end = std::string("-----END ") + label + "-----\n";
  out->Append(begin.data(), begin.size());
  for (size_t i = 0; i < b64.size(); i += 64) {
    const size_t k = b64.size() - i < 64 ? b64.size() - i : 64;
    out->Append(b64.data() + i, k);
    out->push_back('\n');
  }
  out->Append(end.data(), end.size());
}

bool LooksLikePem(const uint8_t* p, size_t n) {
  size_t i = 0;
  while (i < n && IsSpace(p[i])) ++i;
  return StartsWith(p + i, n - i, "-----BEGIN ");
}

bool Decode(const uint8_t* p, size_t n, std::string* label, cli::SecretBytes* der, std::string* error) {
  size_t pos = 0;
  while (pos < n && IsSpace(p[pos])) ++pos;
  const uint8_t* line;
  size_t len;
  bool ended;
  if (!NextLine(p, n, &pos, &line, &len, &ended) || !StartsWith(line, len, "-----BEGIN ") || len < 16 ||
      std::memcmp(line + len - 5, "-----", 5) != 0) {
    *error = "no PEM BEGIN line";
    return false;
  }
  *label = std::string(reinterpret_cast<const char*>(line) + 11, len - 16);
  for (char c : *label)
    if (c < ' ' || c > '~' || c == '-') {
      *error = "a malformed PEM BEGIN line";
      return false;
    }
  const std::string end_line = "-----END " + *label + "-----";
  cli::SecretBytes chars;
  size_t width = 0;
  bool short_line = false, found_end = false;
  while (NextLine(p, n, &pos, &line, &len, &ended)) {
    if (StartsWith(line, len, "-----END ")) {
      if (len != end_line.size() || std::memcmp(line, end_line.data(), len) != 0) {
        *error = "the PEM END line does not match its BEGIN line";
        return false;
      }
      found_end = true;
      break;
    }
    if (len > 0 && std::memchr(line, ':', len) != nullptr) {
      *error = "PEM headers are not supported (is the key encrypted?)";
      return false;
    }
    if (len == 0 || len > 76 || short_line || (width != 0 && len > width)) {
      *error = "a PEM line of the wrong length";
      return false;
    }
    if (width == 0) width = len;
    if (len < width) short_line = true;
    if (len % 4 != 0 && !short_line) {
      *error = "a PEM line of the wrong length";
      return false;
    }
    chars.Append(line, len);
  }
  if (!found_end) {
    *error = "truncated: no PEM END line";
    return false;
  }
  while (pos < n && IsSpace(p[pos])) ++pos;
  if (pos != n) {
    *error = "data after the PEM END line";
    return false;
  }
  if (chars.empty()) {
    *error = "an empty PEM block";
    return false;
  }
  der->clear();
  if (!Base64Decode(chars.data(), chars.size(), der)) {
    der->clear();
    *error = "bad Base64 in the PEM block";
    return false;
  }
  return true;
}

}  // namespace vrt::pem
