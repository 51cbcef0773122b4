#include "cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

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

bool IsHelp(const std::string& arg) { return arg == "-h" || arg == "--help"; }

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

bool FlushStdout() {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    if (errno == 0) errno = EIO;
    return false;
  }
  return true;
}

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& name, unsigned mode) {
  Abandon();
  name_ = name.empty() ? "-" : name;
  failed_ = false;
  if (name_ == "-") {
    to_stdout_ = true;
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
  return true;
}

bool OutputFile::Write(const void* p, size_t n) {
  if (failed_) return false;
  if (to_stdout_) {
    failed_ = !WriteStdout(p, n);
    return !failed_;
  }
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  const uint8_t* b = static_cast<const uint8_t*>(p);
  while (n > 0) {
    ssize_t w = ::write(fd_, b, n);
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
  if (to_stdout_) return FlushStdout();
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
    temp_.clear();
    errno = saved;
    failed_ = true;
    return false;
  }
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
    temp_.clear();
  }
}

}  // namespace vrt::cli
