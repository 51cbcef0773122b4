#include "cli.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vrt::cli {

const char* g_prog = "vrt";

int Usage(const char* fmt, const char* arg) {
  std::fprintf(stderr, "%s: ", g_prog);
  std::fprintf(stderr, fmt, arg);
  std::fprintf(stderr, "\nTry '%s --help' for more information.\n", g_prog);
  return 2;
}

int Fail(const char* fmt, const char* arg) {
  std::fprintf(stderr, "%s: ", g_prog);
  std::fprintf(stderr, fmt, arg);
  std::fputc('\n', stderr);
  return 1;
}

int FailErrno(const std::string& name, int err) {
  std::fprintf(stderr, "%s: %s: %s\n", g_prog, name.c_str(), std::strerror(err ? err : EIO));
  return 1;
}

int FailStatus(const std::string& what, uint32_t status) {
  std::fprintf(stderr, "%s: %s: library status %u\n", g_prog, what.c_str(), status);
  return 1;
}

bool IsHelp(const std::string& arg) { return arg == "-h" || arg == "--help"; }

bool ArgReader::Next() {
  if (bad()) return false;
  if (started_) ++i_;
  started_ = true;
  if (i_ >= args_.size()) return false;
  const std::string& a = args_[i_];
  if (!options_done_ && a == "--") {
    options_done_ = true;
    return Next();
  }
  operand_ = options_done_ || a.size() < 2 || a[0] != '-';
  return true;
}

bool ArgReader::Flag(const char* short_name, const char* long_name) const {
  return !operand_ && (arg() == short_name || arg() == long_name);
}

bool ArgReader::Option(const char* short_name, const char* long_name, std::string* value) {
  if (operand_) return false;
  const std::string& a = arg();
  const size_t long_len = std::strlen(long_name);
  if (a == short_name || a == long_name) {
    if (i_ + 1 >= args_.size()) {
      missing_ = a;
      return true;
    }
    *value = args_[++i_];
    return true;
  }
  if (a.size() > 2 && a[1] != '-' && a.compare(0, 2, short_name) == 0) {
    *value = a.substr(2);
    return true;
  }
  if (a.size() > long_len && a.compare(0, long_len, long_name) == 0 && a[long_len] == '=') {
    *value = a.substr(long_len + 1);
    return true;
  }
  return false;
}

int ArgReader::Fail() const {
  if (bad()) return Usage("option %s needs a value", missing_.c_str());
  return Usage("unknown option '%s'", arg().c_str());
}

void Wipe(void* p, size_t n) {
  if (p != nullptr && n > 0) vrt_memset_s(p, static_cast<int64_t>(n), 0, n);
}

SecretBytes::SecretBytes(SecretBytes&& o) noexcept : p_(o.p_), n_(o.n_), cap_(o.cap_) {
  o.p_ = nullptr;
  o.n_ = o.cap_ = 0;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& o) noexcept {
  if (this != &o) {
    clear();
    p_ = o.p_;
    n_ = o.n_;
    cap_ = o.cap_;
    o.p_ = nullptr;
    o.n_ = o.cap_ = 0;
  }
  return *this;
}

void SecretBytes::resize(size_t n) {
  if (n > cap_) {
    size_t cap = cap_ < 64 ? 64 : cap_;
    while (cap < n) cap *= 2;
    uint8_t* p = static_cast<uint8_t*>(std::calloc(cap, 1));
    if (p == nullptr) throw std::bad_alloc();
    if (n_ > 0) std::memcpy(p, p_, n_);
    Wipe(p_, cap_);
    std::free(p_);
    p_ = p;
    cap_ = cap;
  } else if (n < n_) {
    Wipe(p_ + n, n_ - n);
  }
  n_ = n;
}

void SecretBytes::Append(const void* p, size_t n) {
  if (n == 0) return;
  size_t old = n_;
  resize(n_ + n);
  std::memcpy(p_ + old, p, n);
}

void SecretBytes::clear() {
  Wipe(p_, cap_);
  std::free(p_);
  p_ = nullptr;
  n_ = cap_ = 0;
}

bool SecretFromHex(const char* hex, size_t n, SecretBytes* out) {
  if (n % 2 != 0) return false;
  out->clear();
  out->resize(n / 2);
  uint32_t bad = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t c = static_cast<uint8_t>(hex[i]);
    const uint32_t digit = CtRangeMask(c, '0', '9'), lower = CtRangeMask(c, 'a', 'f');
    const uint32_t upper = CtRangeMask(c, 'A', 'F');
    const uint32_t v = (digit & (c - '0')) | (lower & (c - 'a' + 10)) | (upper & (c - 'A' + 10));
    bad |= ~(digit | lower | upper);
    (*out)[i / 2] = static_cast<uint8_t>((*out)[i / 2] << 4 | (v & 15));
  }
  bad = CtBarrier(bad);
  VRT_DECLASSIFY(&bad, sizeof bad);
  if (bad != 0) {
    out->clear();
    return false;
  }
  return true;
}

void SecretToHex(const uint8_t* p, size_t n, SecretBytes* out) {
  for (size_t i = 0; i < n; ++i) {
    for (uint32_t v : {static_cast<uint32_t>(p[i] >> 4), static_cast<uint32_t>(p[i] & 15)})
      out->push_back(static_cast<uint8_t>('0' + v + (CtGeMask(v, 10) & 39)));
  }
}

bool ReadSecretFile(const std::string& name, SecretBytes* out) {
  int fd = 0;
  if (name != "-") {
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    errno = EISDIR;
    return false;
  }
  out->clear();
  uint8_t buf[4096];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    out->Append(buf, static_cast<size_t>(n));
  }
  int saved = errno;
  Wipe(buf, sizeof buf);
  if (fd != 0) close(fd);
  errno = saved;
  return ok;
}

uint32_t RandomBytes(void* out, size_t n) {
  static bool seeded = false;
  if (!seeded) {
    random_seed_t seed;
    uint8_t* p = reinterpret_cast<uint8_t*>(&seed);
    size_t got = 0;
    while (got < sizeof seed) {
      ssize_t r = getrandom(p + got, sizeof seed - got, 0);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        Wipe(&seed, sizeof seed);
        if (errno == 0) errno = EIO;
        return VRT_ERROR_FAILED;
      }
      got += static_cast<size_t>(r);
    }
    uint32_t st = random_set_custom_seed(nullptr, &seed, nullptr);
    Wipe(&seed, sizeof seed);
    if (st != VRT_SUCCESS) return st;
    seeded = true;
  }
  return random_generate(nullptr, out, n, nullptr, nullptr);
}

uint32_t MaskedKey::Load(const uint8_t* plain, size_t n) {
  genkey_free(&g_);
  g_ = genkey_t{};
  uint32_t st = genkey_alloc(&g_, n, GOST89_KEY_XOR);
  if (st != VRT_SUCCESS) return st;
  SecretBytes mask(n);
  st = RandomBytes(mask.data(), n);
  if (st != VRT_SUCCESS) {
    genkey_free(&g_);
    return st;
  }
  binstr_t src, msk;
  __binstr_init(&src, const_cast<uint8_t*>(plain), n);
  __binstr_init(&msk, mask.data(), n);
  st = genkey_load(&g_, &src, &msk);
  if (st != VRT_SUCCESS) {
    genkey_free(&g_);
    return st;
  }
  genkey_mask(&g_);
  return VRT_SUCCESS;
}

uint32_t MaskedKey::Prepare(size_t n) {
  SecretBytes filler(n);
  uint32_t st = RandomBytes(filler.data(), n);
  return st != VRT_SUCCESS ? st : Load(filler.data(), n);
}

std::string ToHex(const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    s.push_back(kDigits[p[i] >> 4]);
    s.push_back(kDigits[p[i] & 15]);
  }
  return s;
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool FromHex(const std::string& hex, std::vector<uint8_t>* out) {
  if (hex.size() % 2 != 0) return false;
  std::vector<uint8_t> bytes(hex.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  out->swap(bytes);
  return true;
}

FILE* OpenInput(const std::string& name) {
  if (name == "-") {
    std::clearerr(stdin);
    return stdin;
  }
  FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) return nullptr;
  // fopen succeeds on a directory; the first read would fail with EISDIR.
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    return nullptr;
  }
  return f;
}

void CloseInput(FILE* f) {
  if (f != nullptr && f != stdin) {
    int saved = errno;
    std::fclose(f);
    errno = saved;
  }
}

bool ReadFile(const std::string& name, std::vector<uint8_t>* out) {
  FILE* f = OpenInput(name);
  if (f == nullptr) return false;
  out->clear();
  uint8_t buf[1 << 14];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  if (!ok && errno == 0) errno = EIO;
  CloseInput(f);
  return ok;
}

bool WriteStdout(const void* p, size_t n) {
  if (n == 0) return true;
  if (std::fwrite(p, 1, n, stdout) != n) {
    if (errno == 0) errno = EIO;
    return false;
  }
  return true;
}

bool PrintStdout(const std::string& s) { return WriteStdout(s.data(), s.size()); }

bool CloseStdout() {
  errno = 0;
  const bool had_error = std::ferror(stdout) != 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int flush_errno = errno;
  const bool closed = std::fclose(stdout) == 0;
  if (had_error || !flushed || !closed) {
    if (!flushed && flush_errno != 0) errno = flush_errno;
    if (errno == 0) errno = EIO;
    return false;
  }
  return true;
}

bool FlushStdout() {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    if (errno == 0) errno = EIO;
    return false;
  }
  return true;
}

namespace {

// The temporary file being written, which a signal that ends the process
// removes first: an interrupted command leaves no partial output behind.
char g_temp_path[4096];
volatile sig_atomic_t g_temp_set = 0;

void RemoveTempAndDie(int sig) {
  if (g_temp_set) unlink(g_temp_path);
  signal(sig, SIG_DFL);
  raise(sig);
}

void WatchTemp(const std::string& path) {
  static bool installed = false;
  if (!installed) {
    installed = true;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
      struct sigaction old, sa = {};
      // A signal the caller ignores (nohup) stays ignored.
      if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
      sa.sa_handler = RemoveTempAndDie;
      sigaction(sig, &sa, nullptr);
    }
  }
  g_temp_set = 0;
  if (path.size() >= sizeof g_temp_path) return;
  std::memcpy(g_temp_path, path.c_str(), path.size() + 1);
  g_temp_set = 1;
}

void UnwatchTemp(const std::string& path) {
  if (g_temp_set && path == g_temp_path) g_temp_set = 0;
}

}  // namespace

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& name, unsigned mode, bool secret) {
  Abandon();
  name_ = name.empty() ? "-" : name;
  failed_ = false;
  secret_ = secret;
  if (name_ == "-") {
    to_stdout_ = true;
    // What was printed before goes first; then the bytes go to the
    // descriptor directly.
    if (secret_ && !FlushStdout()) return false;
    return true;
  }
  to_stdout_ = false;
  size_t slash = name_.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : name_.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? name_ : name_.substr(slash + 1);
  std::string templ = dir + "." + base + ".XXXXXX";
  std::vector<char> path(templ.begin(), templ.end());
  path.push_back('\0');
  int fd = mkstemp(path.data());
  if (fd < 0) return false;
  if (fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    int saved = errno;
    close(fd);
    unlink(path.data());
    errno = saved;
    return false;
  }
  fd_ = fd;
  temp_ = path.data();
  WatchTemp(temp_);
  return true;
}

bool OutputFile::Write(const void* p, size_t n) {
  if (failed_) return false;
  if (to_stdout_ && !secret_) {
    failed_ = !WriteStdout(p, n);
    return !failed_;
  }
  const int fd = to_stdout_ ? STDOUT_FILENO : fd_;
  if (fd < 0) {
    errno = EBADF;
    return false;
  }
  const uint8_t* b = static_cast<const uint8_t*>(p);
  while (n > 0) {
    ssize_t w = ::write(fd, b, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return false;
    }
    b += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool OutputFile::Commit() {
  if (failed_) return false;
  if (to_stdout_) return secret_ || FlushStdout();
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (fsync(fd_) != 0 && errno != EINVAL) {
    failed_ = true;
    return false;
  }
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0 || rename(temp_.c_str(), name_.c_str()) != 0) {
    int saved = errno;
    unlink(temp_.c_str());
    UnwatchTemp(temp_);
    temp_.clear();
    errno = saved;
    failed_ = true;
    return false;
  }
  UnwatchTemp(temp_);
  temp_.clear();
  return true;
}

void OutputFile::Abandon() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    int saved = errno;
    unlink(temp_.c_str());
    errno = saved;
    UnwatchTemp(temp_);
    temp_.clear();
  }
}

}  // namespace vrt::cli
