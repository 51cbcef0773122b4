// Shared pieces of the vrt commands: usage errors, hex, checked output and
// output files that appear only when complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

  // False with errno set when the temporary file cannot be created.
  bool Open(const std::string& name, unsigned mode = 0644);
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
  bool failed_ = false;
};

}  // namespace vrt::cli
