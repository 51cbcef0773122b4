// Shared pieces of the vrt commands: usage errors, hex, checked output and
// output files that appear only when complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vrt.h"

#if defined(VRT_CT_CHECK)
#include <valgrind/memcheck.h>
#endif

namespace vrt::cli {

extern const char* g_prog;

// One command of the tool: its name, a one-line summary for `vrt --help`, the
// full help text for `vrt COMMAND --help`, and its body (returns the exit code).
struct Command {
  const char* name;
  const char* summary;
  const char* help;
  int (*run)(const std::vector<std::string>& args);
};

// Prints "vrt: <message>" and the hint to standard error; returns 2 (bad usage).
int Usage(const char* fmt, const char* arg = "");
// Prints "vrt: <message>" to standard error; returns 1 (the command failed).
int Fail(const char* fmt, const char* arg = "");
// Prints "vrt: NAME: <strerror(err)>" to standard error; returns 1.
int FailErrno(const std::string& name, int err);
// Prints "vrt: WHAT: library status N" to standard error; returns 1.
int FailStatus(const std::string& what, uint32_t status);

// True when args[i] is -h or --help.
bool IsHelp(const std::string& arg);

std::string ToHex(const uint8_t* p, size_t n);
// Parses an even-length hex string (either case); false on anything else.
bool FromHex(const std::string& hex, std::vector<uint8_t>* out);

// Reads a whole file ("-" = standard input). False with errno set on failure.
bool ReadFile(const std::string& name, std::vector<uint8_t>* out);

// Opens a file for reading ("-" = standard input); null with errno on failure.
FILE* OpenInput(const std::string& name);
void CloseInput(FILE* f);

// Checked writes to standard output: false (errno kept) when a write or the
// final flush fails, so a command can report lost output.
bool WriteStdout(const void* p, size_t n);
bool PrintStdout(const std::string& s);
bool FlushStdout();
// Flushes and closes standard output at the end of a run: false (errno set)
// when it or any earlier write to it failed.
bool CloseStdout();

// Reads a command's arguments in order. Options come as -x VALUE, -xVALUE,
// --long VALUE or --long=VALUE, flags as -x or --long; "-" is an operand and
// "--" makes every later argument one.
class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
  // Moves to the next argument; false at the end or after a missing value.
  bool Next();
  // The current argument is an operand (a file name).
  bool operand() const { return operand_; }
  const std::string& arg() const { return args_[i_]; }
  // The current argument is this flag.
  bool Flag(const char* short_name, const char* long_name) const;
  // The current argument is this option; its value goes to *value. A
  // missing value ends the walk with bad() set.
  bool Option(const char* short_name, const char* long_name, std::string* value);
  // Prints the usage error for the missing value (bad() set) or for an
  // unknown option, and returns 2.
  int Fail() const;
  bool bad() const { return !missing_.empty(); }

 private:
  const std::vector<std::string>& args_;
  size_t i_ = 0;
  bool started_ = false;
  bool operand_ = false;
  bool options_done_ = false;
  std::string missing_;
};

// Overwrites n bytes at p with zeros by stores the compiler keeps.
void Wipe(void* p, size_t n);

// Marks n bytes computed from secrets as public (a validity bit, a length the
// format fixes) for the constant-time check, which builds the tool's sources
// with VRT_CT_CHECK and runs them under valgrind; elsewhere it does nothing.
#if defined(VRT_CT_CHECK)
#define VRT_DECLASSIFY(p, n) VALGRIND_MAKE_MEM_DEFINED(p, n)
#else
#define VRT_DECLASSIFY(p, n) ((void)(p), (void)(n))
#endif

// Mask arithmetic for code that handles secrets: no branch and no table
// index depends on the values. Masks are all-ones or zero.
inline uint32_t CtBarrier(uint32_t v) {
  __asm__("" : "+r"(v));
  return v;
}
// All-ones when x >= k (both below 2^31).
inline uint32_t CtGeMask(uint32_t x, uint32_t k) { return 0u - (CtBarrier(k - 1 - x) >> 31); }
// All-ones when lo <= x <= hi.
inline uint32_t CtRangeMask(uint32_t x, uint32_t lo, uint32_t hi) { return CtGeMask(x, lo) & ~CtGeMask(x, hi + 1); }

// A heap buffer for secret bytes: never copied, and wiped before its memory
// is released or left behind by a resize.
class SecretBytes {
 public:
  SecretBytes() = default;
  explicit SecretBytes(size_t n) { resize(n); }
  ~SecretBytes() { clear(); }
  SecretBytes(SecretBytes&& o) noexcept;
  SecretBytes& operator=(SecretBytes&& o) noexcept;
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;

  uint8_t* data() { return p_; }
  const uint8_t* data() const { return p_; }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  uint8_t& operator[](size_t i) { return p_[i]; }
  const uint8_t& operator[](size_t i) const { return p_[i]; }
  // New bytes are zero. Growing moves the contents to a new block and wipes
  // the old one.
  void resize(size_t n);
  void Append(const void* p, size_t n);
  void push_back(uint8_t b) { Append(&b, 1); }
  // Wipes and releases the bytes.
  void clear();

 private:
  uint8_t* p_ = nullptr;
  size_t n_ = 0;
  size_t cap_ = 0;
};

// Lower-case hex of secret bytes (a derived key), the digits computed
// without a table lookup.
void SecretToHex(const uint8_t* p, size_t n, SecretBytes* out);

// Parses an even number of hex digits (either case) that may be a secret key,
// without a branch or table index on the digits; false on anything else.
bool SecretFromHex(const char* hex, size_t n, SecretBytes* out);

// Reads a whole file ("-" = standard input) that holds a secret by read(2),
// so no stdio buffer keeps a copy. False with errno set on failure.
bool ReadSecretFile(const std::string& name, SecretBytes* out);

// Fills n bytes at out from the library's main generator, which the first
// call seeds from the operating system's random source (getrandom). Returns
// 0, VRT_ERROR_FAILED (errno set) when the system source fails, or the
// generator's status.
uint32_t RandomBytes(void* out, size_t n);

// A secret key held masked under a fresh random mask (GOST89_KEY_XOR), as
// the library's calls take it; the plain bytes given to Load are not kept.
class MaskedKey {
 public:
  MaskedKey() = default;
  ~MaskedKey() { genkey_free(&g_); }
  MaskedKey(const MaskedKey&) = delete;
  MaskedKey& operator=(const MaskedKey&) = delete;
  // Returns 0 or the library's status (allocation, random source).
  uint32_t Load(const uint8_t* plain, size_t n);
  // An n-byte record of random bytes under a fresh random mask, for a call
  // that writes a key into it and masks it there (a key derivation).
  uint32_t Prepare(size_t n);
  const genkey_t* get() const { return &g_; }
  genkey_t* get() { return &g_; }

 private:
  genkey_t g_{};
};

// An output that appears only when it is complete. For a named file the bytes
// go to a temporary file beside it, which Commit renames into place and the
// destructor removes when Commit was never reached; "-" or an empty name write
// to standard output. mode is the permission of the new file (0600 for keys).
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False with errno set when the temporary file cannot be created. A
  // secret output to standard output bypasses the stdio buffer, so no copy
  // of it stays behind there.
  bool Open(const std::string& name, unsigned mode = 0644, bool secret = false);
  bool Write(const void* p, size_t n);
  // Flushes, syncs and renames into place; false with errno on any failure.
  bool Commit();
  // Removes the temporary file (also done by the destructor).
  void Abandon();
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string temp_;
  int fd_ = -1;
  bool to_stdout_ = false;
  bool secret_ = false;
  bool failed_ = false;
};

}  // namespace vrt::cli
