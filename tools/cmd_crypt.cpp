// vrt encrypt and vrt decrypt: files sealed under a password, in chunks of
// Kuznyechik-MGM under a PBKDF2-HMAC-Streebog-512 key (the format is in
// crypt.h and the README).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "crypt.h"
#include "pkey.h"
#include "vrt.h"

namespace vrt::cli {
namespace {

constexpr const char* kEncryptHelp =
    "usage: vrt encrypt [--iter N] [--pass-file FILE] [-o OUT] [IN]\n"
    "\n"
    "Encrypts IN (- or none: standard input) under a password into OUT (- or\n"
    "none: standard output, never a terminal). The key is PBKDF2-HMAC-Streebog-512\n"
    "of the password over a random salt; the data are sealed in 64 KiB chunks\n"
    "with Kuznyechik-MGM, so any change to the file is detected by decrypt.\n"
    "OUT appears only when it is complete.\n"
    "\n"
    "  --iter N          PBKDF2 iterations, 1000 to 10000000 (default 500000,\n"
    "                    under a second); more slows password guessing, and\n"
    "                    decrypting by as much\n"
    "  --pass-file FILE  read the password from the first line of FILE; without\n"
    "                    it the password is asked for twice on the terminal\n"
    "  -o, --out OUT     the encrypted file\n"
    "  -h, --help        print this text\n"
    "\n"
    "Exit status: 0 encrypted, 1 failed, 2 bad usage.\n";

constexpr const char* kDecryptHelp =
    "usage: vrt decrypt [--pass-file FILE] [-o OUT] [IN]\n"
    "\n"
    "Decrypts IN (- or none: standard input), a file of vrt encrypt, into OUT\n"
    "(- or none: standard output). Every chunk is authenticated before its\n"
    "plaintext is released. A wrong password, a changed, missing or moved\n"
    "chunk and a file cut short are refused: exit 1, and no OUT file (the\n"
    "plaintext goes to a temporary file beside OUT, renamed only after the\n"
    "last chunk authenticated). To standard output the plaintext is written\n"
    "chunk by chunk (64 KiB), each once it has authenticated, so a damaged\n"
    "file may leave the chunks before the damage there: trust the output only\n"
    "when the exit status is 0. Files asking for more than 10000000 PBKDF2\n"
    "iterations (some seconds of work) are refused.\n"
    "\n"
    "  --pass-file FILE  read the password from the first line of FILE; without\n"
    "                    it the password is asked for on the terminal\n"
    "  -o, --out OUT     the decrypted file (mode 0600)\n"
    "  -h, --help        print this text\n"
    "\n"
    "Exit status: 0 decrypted, 1 failed or refused, 2 bad usage.\n";

// The input, read with read(2) so no stdio buffer keeps a copy of it.
class FdSource : public crypt::Source {
 public:
  ~FdSource() {
    if (fd_ > 0) close(fd_);
  }
  bool Open(const std::string& name) {
    if (name == "-") {
      fd_ = STDIN_FILENO;
    } else {
      fd_ = open(name.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return false;
    }
    struct stat st;
    if (fstat(fd_, &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
      }
      if (S_ISREG(st.st_mode)) size_ = static_cast<uint64_t>(st.st_size);
    }
    return true;
  }
  bool Read(uint8_t* p, size_t n, size_t* got) override {
    for (;;) {
      ssize_t r = read(fd_, p, n);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return false;
      *got = static_cast<size_t>(r);
      return true;
    }
  }
  // The size of a regular file; 0 when unknown.
  uint64_t size() const { return size_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

class FileSink : public crypt::Sink {
 public:
  explicit FileSink(OutputFile* out) : out_(out) {}
  bool Write(const uint8_t* p, size_t n) override { return out_->Write(p, n); }

 private:
  OutputFile* out_;
};

// "vrt: encrypting: 42% (108 of 256 MiB)" on a terminal's standard error, a
// few times a second, for inputs over 4 MiB.
class TerminalProgress : public crypt::Progress {
 public:
  TerminalProgress(const char* verb, uint64_t total) : verb_(verb), total_(total), on_(isatty(STDERR_FILENO)) {}
  ~TerminalProgress() { Clear(); }
  void Update(uint64_t done) override {
    if (!on_ || done < kThreshold || (total_ != 0 && total_ < kThreshold)) return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
    if (shown_ && ms - last_ms_ < 250) return;
    last_ms_ = ms;
    shown_ = true;
    if (total_ != 0)
      std::fprintf(stderr, "\r%s: %s: %3u%% (%llu of %llu MiB)", g_prog, verb_,
                   static_cast<unsigned>(done * 100 / total_), static_cast<unsigned long long>(done >> 20),
                   static_cast<unsigned long long>(total_ >> 20));
    else
      std::fprintf(stderr, "\r%s: %s: %llu MiB", g_prog, verb_, static_cast<unsigned long long>(done >> 20));
    std::fflush(stderr);
  }
  // Removes the line (before a message, and at the end).
  void Clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  static constexpr uint64_t kThreshold = 4 << 20;
  const char* verb_;
  uint64_t total_;
  bool on_;
  bool shown_ = false;
  uint64_t last_ms_ = 0;
};

// Print the message (as Fail and FailErrno do) and return false.
bool Refuse(const char* message) {
  Fail("%s", message);
  return false;
}
bool RefuseErrno(const std::string& name, int err) {
  FailErrno(name, err);
  return false;
}

// The terminal's settings while echo is off, put back on a signal too.
int g_tty = -1;
struct termios g_saved_tty;

void RestoreTty() {
  if (g_tty >= 0) tcsetattr(g_tty, TCSAFLUSH, &g_saved_tty);
}

void OnSignal(int sig) {
  RestoreTty();
  signal(sig, SIG_DFL);
  raise(sig);
}

// Asks for one line on the terminal without echo. False after printing why.
bool AskPassword(int tty, const char* prompt, SecretBytes* out) {
  if (write(tty, prompt, std::strlen(prompt)) < 0) return RefuseErrno("/dev/tty", errno);
  struct termios quiet;
  if (tcgetattr(tty, &g_saved_tty) != 0) return RefuseErrno("/dev/tty", errno);
  quiet = g_saved_tty;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  g_tty = tty;
  struct sigaction sa = {}, old[3];
  sa.sa_handler = OnSignal;
  const int sigs[3] = {SIGINT, SIGTERM, SIGHUP};
  for (int k = 0; k < 3; ++k) sigaction(sigs[k], &sa, &old[k]);
  bool ok = tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
  int err = errno;
  out->clear();
  uint8_t buf[256];
  while (ok) {
    ssize_t n = read(tty, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : 0;
      ok = n == 0 && !out->empty();
      break;
    }
    out->Append(buf, static_cast<size_t>(n));
    // The terminal hands over whole lines; the newline is no secret.
    uint32_t end = CtRangeMask(buf[n - 1], '\n', '\n');
    VRT_DECLASSIFY(&end, sizeof end);
    if (end != 0) break;
  }
  Wipe(buf, sizeof buf);
  RestoreTty();
  g_tty = -1;
  for (int k = 0; k < 3; ++k) sigaction(sigs[k], &old[k], nullptr);
  if (!ok) {
    if (err != 0) return RefuseErrno("/dev/tty", err);
    return Refuse("no password given");
  }
  crypt::FirstLine(out);
  return true;
}

// The password: the first line of pass_file, or asked for on the terminal
// (twice when confirm). False after printing why.
bool GetPassword(const std::string& pass_file, bool confirm, SecretBytes* out) {
  if (!pass_file.empty()) {
    if (!ReadSecretFile(pass_file, out)) return RefuseErrno(pass_file, errno);
    crypt::FirstLine(out);
  } else {
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return Refuse("no terminal to ask for the password on: give --pass-file FILE");
    bool ok = AskPassword(tty, "Password: ", out);
    if (ok && confirm) {
      SecretBytes again;
      ok = AskPassword(tty, "Password again: ", &again);
      if (ok && !crypt::SamePassword(*out, again)) ok = Refuse("the passwords do not match");
    }
    close(tty);
    if (!ok) return false;
  }
  if (out->empty()) return Refuse("the password is empty");
  return true;
}

// The operands and options both commands take.
struct Args {
  std::string in = "-", out = "-", pass_file, iter;
  bool have_in = false;
};

// Returns -1 to go on, or the exit code.
int ParseArgs(const std::vector<std::string>& args, const char* help, bool takes_iter, Args* a) {
  ArgReader r(args);
  while (r.Next()) {
    if (r.operand()) {
      if (a->have_in) return Usage("only one input file ('%s')", r.arg().c_str());
      a->in = r.arg();
      a->have_in = true;
      continue;
    }
    if (r.Flag("-h", "--help")) {
      std::fputs(help, stdout);
      return FlushStdout() ? 0 : FailErrno("standard output", errno);
    }
    if (r.Option("", "--pass-file", &a->pass_file) || r.Option("-o", "--out", &a->out)) continue;
    if (takes_iter && r.Option("", "--iter", &a->iter)) continue;
    return r.Fail();
  }
  if (r.bad()) return r.Fail();
  if (a->out.empty()) a->out = "-";
  if (a->pass_file == "-" && a->in == "-")
    return Usage("the password file and the input cannot both be standard input");
  return -1;
}

int RunEncrypt(const std::vector<std::string>& args) {
  Args a;
  int rc = ParseArgs(args, kEncryptHelp, true, &a);
  if (rc >= 0) return rc;
  uint32_t iterations = crypt::kDefaultIterations;
  if (!a.iter.empty()) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(a.iter.c_str(), &end, 10);
    if (a.iter[0] < '0' || a.iter[0] > '9' || *end != '\0' || errno != 0 || v < crypt::kMinIterations ||
        v > crypt::kMaxIterations)
      return Usage("--iter takes a count from 1000 to 10000000, not '%s'", a.iter.c_str());
    iterations = static_cast<uint32_t>(v);
  }
  if (RefuseBinaryTerminal(a.out, "use -o OUT")) return 1;

  FdSource in;
  if (!in.Open(a.in)) return FailErrno(a.in, errno);
  SecretBytes password;
  if (!GetPassword(a.pass_file, true, &password)) return 1;
  crypt::Header h;
  uint32_t st = crypt::NewHeader(iterations, &h);
  if (st != VRT_SUCCESS) return FailStatus("random generator", st);
  MaskedKey key;
  st = crypt::DeriveKey(password.data(), password.size(), h, &key);
  password.clear();
  if (st != VRT_SUCCESS) return FailStatus("key derivation", st);

  OutputFile out;
  if (!out.Open(a.out, 0644)) return FailErrno(a.out, errno);
  FileSink sink(&out);
  TerminalProgress progress("encrypting", in.size());
  crypt::Result r = crypt::Encrypt(&in, &sink, h, key.get(), &progress);
  progress.Clear();
  if (!r.ok()) return Fail("%s", crypt::Describe(r, a.in, a.out).c_str());
  if (!out.Commit()) return FailErrno(out.name(), errno);
  return 0;
}

int RunDecrypt(const std::vector<std::string>& args) {
  Args a;
  int rc = ParseArgs(args, kDecryptHelp, false, &a);
  if (rc >= 0) return rc;

  FdSource in;
  if (!in.Open(a.in)) return FailErrno(a.in, errno);
  // The header is checked before the password is asked for.
  crypt::Header h;
  uint8_t raw[crypt::kHeaderSize];
  crypt::Result r = crypt::ReadHeader(&in, &h, raw);
  if (!r.ok()) return Fail("%s", crypt::Describe(r, a.in, a.out).c_str());
  SecretBytes password;
  if (!GetPassword(a.pass_file, false, &password)) return 1;
  MaskedKey key;
  uint32_t st = crypt::DeriveKey(password.data(), password.size(), h, &key);
  password.clear();
  if (st != VRT_SUCCESS) return FailStatus("key derivation", st);

  OutputFile out;
  if (!out.Open(a.out, 0600, true)) return FailErrno(a.out, errno);
  FileSink sink(&out);
  TerminalProgress progress("decrypting", in.size());
  r = crypt::Decrypt(&in, &sink, raw, h, key.get(), &progress);
  progress.Clear();
  if (!r.ok()) {
    out.Abandon();
    return Fail("%s", crypt::Describe(r, a.in, a.out).c_str());
  }
  if (!out.Commit()) return FailErrno(out.name(), errno);
  return 0;
}

}  // namespace

const Command kEncryptCommand = {"encrypt", "encrypt a file under a password (Kuznyechik-MGM)", kEncryptHelp,
                                 RunEncrypt};
const Command kDecryptCommand = {"decrypt", "decrypt and authenticate a file of vrt encrypt", kDecryptHelp,
                                 RunDecrypt};

}  // namespace vrt::cli
