// Base64 (RFC 4648, standard alphabet, padded, no line breaks) between bytes
// and wide text.
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "text/internal.h"
#include "vrt.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';

// Decoding classes of the ASCII characters, derived from the alphabet: the
// 6-bit value of an alphabet character, kStop for the pad character, kSkip
// for everything else.
constexpr uint8_t kSkip = 0x80;
constexpr uint8_t kStop = 0x40;

constexpr std::array<uint8_t, 128> MakeDecodeTable() {
  std::array<uint8_t, 128> t{};
  for (auto& v : t) v = kSkip;
  for (uint8_t i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = i;
  t[static_cast<unsigned char>(kPad)] = kStop;
  return t;
}
constexpr std::array<uint8_t, 128> kDecode = MakeDecodeTable();

}  // namespace

extern "C" {

VRT_API int EncodeGetRequiredLength(size_t len) {
  if (len > static_cast<size_t>(INT_MAX) / 4) throw std::runtime_error("EncodeGetRequiredLength");
  const int n4 = static_cast<int>(len) * 4;
  const int v = n4 / 3 + n4 % 3;
  const int e = (v / 76 + 1) * 2;
  if (v % 76 == 0 || v % 4 == 0) return v + e;
  return (v + 3) / 4 * 4 + e;
}

VRT_API size_t DecodeGetRequiredLength(size_t len) { return len; }

VRT_API std::wstring Encode(const unsigned char* data, size_t len) {
  (void)EncodeGetRequiredLength(len);  // refuses inputs beyond the int range
  std::wstring out;
  if (len == 0) return out;
  if (data == nullptr) throw std::runtime_error("Encode");
  out.reserve((len + 2) / 3 * 4);
  // Encoded a piece at a time into a small buffer and appended from there:
  // sizing the string first would make it write every character twice.
  constexpr size_t kPieceBytes = 768;  // whole vector blocks and whole groups
  wchar_t piece[kPieceBytes / 3 * 4];
  const bool avx2 = vrt::text::HaveAvx2();
  size_t i = 0;
  while (len - i >= 3) {
    const size_t take = std::min((len - i) / 3 * 3, kPieceBytes);
    const unsigned char* in = data + i;
    wchar_t* o = piece;
    size_t j = 0;
    if (avx2) {
      j = vrt::text::base64_encode_blocks_avx2(o, in, std::min(len - i, take + 4));
      o += j / 3 * 4;
    }
    for (; j < take; j += 3, o += 4) {
      const uint32_t g = uint32_t{in[j]} << 16 | uint32_t{in[j + 1]} << 8 | in[j + 2];
      o[0] = static_cast<unsigned char>(kAlphabet[g >> 18]);
      o[1] = static_cast<unsigned char>(kAlphabet[(g >> 12) & 63]);
      o[2] = static_cast<unsigned char>(kAlphabet[(g >> 6) & 63]);
      o[3] = static_cast<unsigned char>(kAlphabet[g & 63]);
    }
    out.append(piece, static_cast<size_t>(o - piece));
    i += take;
  }
  if (i < len) {
    // One or two bytes left: zero-fill the group, keep count + 1 characters.
    const size_t left = len - i;
    const uint32_t g = uint32_t{data[i]} << 16 | (left == 2 ? uint32_t{data[i + 1]} << 8 : 0);
    const wchar_t last[4] = {static_cast<unsigned char>(kAlphabet[g >> 18]),
                             static_cast<unsigned char>(kAlphabet[(g >> 12) & 63]),
                             left == 2 ? static_cast<unsigned char>(kAlphabet[(g >> 6) & 63]) : kPad, kPad};
    out.append(last, 4);
  }
  return out;
}

namespace {

// Decoding state between pieces of the text.
struct Decoder {
  unsigned char* out;
  uint32_t acc = 0;  // the 6-bit values collected so far
  int have = 0;      // how many
  bool stopped = false;

  // Whole groups of four alphabet characters while the group boundary holds;
  // returns where it stopped.
  const wchar_t* Groups(const wchar_t* p, const wchar_t* end) {
    if (have != 0) return p;
    if (vrt::text::HaveAvx2()) {
      const size_t used = vrt::text::base64_decode_blocks_avx2(out, p, static_cast<size_t>(end - p));
      p += used;
      out += used / 4 * 3;
    }
    while (end - p >= 4) {
      const uint32_t c0 = static_cast<uint32_t>(p[0]), c1 = static_cast<uint32_t>(p[1]);
      const uint32_t c2 = static_cast<uint32_t>(p[2]), c3 = static_cast<uint32_t>(p[3]);
      if ((c0 | c1 | c2 | c3) >= 128) break;
      const uint32_t d0 = kDecode[c0], d1 = kDecode[c1], d2 = kDecode[c2], d3 = kDecode[c3];
      if ((d0 | d1 | d2 | d3) & (kSkip | kStop)) break;
      const uint32_t g = d0 << 18 | d1 << 12 | d2 << 6 | d3;
      out[0] = static_cast<unsigned char>(g >> 16);
      out[1] = static_cast<unsigned char>(g >> 8);
      out[2] = static_cast<unsigned char>(g);
      out += 3;
      p += 4;
    }
    return p;
  }

  // Character by character over [p, end) until the pad character.
  const wchar_t* Chars(const wchar_t* p, const wchar_t* end) {
    while (p < end) {
      const uint32_t c = static_cast<uint32_t>(*p++);
      if (c >= 128) {
        if (!vrt::text::IsScalarValue(c)) vrt::text::ThrowConversionFailed(vrt::text::kUtf32, vrt::text::kUtf8);
        continue;  // not in the alphabet: skipped
      }
      const uint32_t d = kDecode[c];
      if (d & kSkip) continue;
      if (d & kStop) {
        stopped = true;
        break;
      }
      acc = acc << 6 | d;
      if (++have == 4) {
        out[0] = static_cast<unsigned char>(acc >> 16);
        out[1] = static_cast<unsigned char>(acc >> 8);
        out[2] = static_cast<unsigned char>(acc);
        out += 3;
        acc = 0;
        have = 0;
      }
    }
    return p;
  }
};

}  // namespace

VRT_API std::vector<unsigned char> Decode(const std::wstring& text) {
  const wchar_t* p = text.data();
  const wchar_t* const end = p + text.size();
  std::vector<unsigned char> out(text.size() / 4 * 3 + 2);
  Decoder d{out.data()};
  while (p < end && !d.stopped) {
    p = d.Groups(p, end);
    // A piece that the group loops refused (a skipped character, the pad, a
    // split group) goes character by character; then back to whole groups.
    p = d.Chars(p, end - p > 32 ? p + 32 : end);
  }
  // Text after the pad is ignored, but like the rest it has to be text.
  for (; p < end; ++p)
    if (!vrt::text::IsScalarValue(static_cast<uint32_t>(*p)))
      vrt::text::ThrowConversionFailed(vrt::text::kUtf32, vrt::text::kUtf8);
  // A last group of k = 2 or 3 characters carries k - 1 bytes; one character
  // alone carries none.
  if (d.have == 2) {
    *d.out++ = static_cast<unsigned char>(d.acc >> 4);
  } else if (d.have == 3) {
    *d.out++ = static_cast<unsigned char>(d.acc >> 10);
    *d.out++ = static_cast<unsigned char>(d.acc >> 2);
  }
  // Drop the unused tail. (Not resize: its growing half is a vector member
  // defined outside the class, and std's members get default visibility, so
  // the shared object would export it.)
  const size_t used = static_cast<size_t>(d.out - out.data());
  while (out.size() > used) out.pop_back();
  return out;
}

}  // extern "C"
