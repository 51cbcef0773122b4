// Plain models of the MAC and ACPKM constructions, written from their
// definitions over the single-block model of modes_helpers.h: whole
// messages at once, a fresh key schedule for every key, no state carried
// between calls.
#pragma once

#include <vector>

#include "cipher15/modes_helpers.h"
#include "common/test_util.h"

namespace vrt::test {

inline Bytes XorBytes(const Bytes& a, const Bytes& b) {
  Bytes r(a.size());
  for (size_t i = 0; i < a.size(); ++i) r[i] = a[i] ^ b[i];
  return r;
}

// v << 1 with the field constant folded in when the top bit was set.
inline Bytes Double(const Bytes& v) {
  Bytes r(v.size());
  for (size_t i = 0; i < v.size(); ++i) r[i] = static_cast<uint8_t>((v[i] << 1) | (i + 1 < v.size() ? v[i + 1] >> 7 : 0));
  if (v[0] & 0x80) r.back() ^= v.size() == 16 ? 0x87 : 0x1b;
  return r;
}

// The ACPKM key conversion: the ECB encryption of 80 81 .. 9f.
inline Bytes AcpkmConvert(size_t n, const Bytes& key) {
  const Model m(n, key);
  Bytes d(32), out;
  for (size_t i = 0; i < 32; ++i) d[i] = static_cast<uint8_t>(0x80 + i);
  for (size_t i = 0; i < 32; i += n) {
    const Bytes y = m.E(Bytes(d.begin() + i, d.begin() + i + n));
    out.insert(out.end(), y.begin(), y.end());
  }
  return out;
}

// CTR-ACPKM from the n-byte counter block ctr with sections of N bytes:
// block j runs under the key converted floor(j * n / N) times.
inline Bytes CtrAcpkm(size_t n, Bytes key, Bytes ctr, size_t section, const Bytes& msg) {
  Bytes out;
  size_t converted = 0;
  for (size_t off = 0; off < msg.size(); off += n) {
    const size_t j = off / n;
    for (; converted < j * n / section; ++converted) key = AcpkmConvert(n, key);
    const Bytes g = Model(n, key).E(ctr);
    for (size_t i = 0; i < n && off + i < msg.size(); ++i) out.push_back(msg[off + i] ^ g[i]);
    for (size_t i = n; i-- > 0;)
      if (++ctr[i] != 0) break;
  }
  return out;
}

// The counter block from an IV of n/2 bytes: IV || 0.
inline Bytes HalfIvCounter(size_t n, const Bytes& iv) {
  Bytes c(iv.begin(), iv.begin() + n / 2);
  c.resize(n, 0);
  return c;
}

// OMAC over block cipher model m: CBC-MAC, the last block whole with K1 or
// padded (0x80, zeros) with K2; the empty message is one padded block.
inline Bytes Omac(size_t n, const Bytes& key, const Bytes& msg) {
  const Model m(n, key);
  const Bytes k1 = Double(m.E(Bytes(n, 0))), k2 = Double(k1);
  const bool whole = !msg.empty() && msg.size() % n == 0;
  Bytes padded = msg;
  if (!whole) {
    padded.push_back(0x80);
    padded.resize((padded.size() + n - 1) / n * n, 0);
  }
  Bytes c(n, 0);
  for (size_t off = 0; off < padded.size(); off += n) {
    Bytes x(padded.begin() + off, padded.begin() + off + n);
    if (off + n == padded.size()) x = XorBytes(x, whole ? k1 : k2);
    c = m.E(XorBytes(c, x));
  }
  return c;
}

// The first count key packets of the ACPKM-Master generator: CTR-ACPKM
// under key with sections of frame bytes from ff..ff 00..00 over zeros,
// read as 32 key bytes and n bytes of K1 each.
struct KeyPacket {
  Bytes key, k1;
};
inline std::vector<KeyPacket> MasterPackets(size_t n, const Bytes& key, size_t frame, size_t count) {
  Bytes ctr(n, 0);
  for (size_t i = 0; i < n / 2; ++i) ctr[i] = 0xff;
  const Bytes stream = CtrAcpkm(n, key, ctr, frame, Bytes(count * (n + 32), 0));
  std::vector<KeyPacket> packets;
  for (size_t i = 0; i < count; ++i) {
    const auto p = stream.begin() + i * (n + 32);
    packets.push_back({Bytes(p, p + 32), Bytes(p + 32, p + 32 + n)});
  }
  return packets;
}

// OMAC-ACPKM: section i (N / n blocks) under the key of packet i; the last
// block padded as for OMAC and XORed with the subkey from its own packet's
// K1 (K1 for a whole block, its double for a padded one).
inline Bytes OmacAcpkm(size_t n, const Bytes& key, size_t section, size_t frame, const Bytes& msg) {
  const bool whole = !msg.empty() && msg.size() % n == 0;
  Bytes padded = msg;
  if (!whole) {
    padded.push_back(0x80);
    padded.resize((padded.size() + n - 1) / n * n, 0);
  }
  const size_t blocks = padded.size() / n, per = section / n;
  const std::vector<KeyPacket> packets = MasterPackets(n, key, frame, (blocks + per - 1) / per);
  Bytes c(n, 0);
  for (size_t b = 0; b < blocks; ++b) {
    const KeyPacket& p = packets[b / per];
    Bytes x(padded.begin() + b * n, padded.begin() + (b + 1) * n);
    if (b + 1 == blocks) x = XorBytes(x, whole ? p.k1 : Double(p.k1));
    c = Model(n, p.key).E(XorBytes(c, x));
  }
  return c;
}

}  // namespace vrt::test
