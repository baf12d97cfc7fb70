#pragma once
// Test data and reference digests for the digest tests and benchmarks: messages from a fast
// xorshift generator, different for each seed so that lanes mixed up with each other show, and
// digests from Python's hashlib, an implementation independent of ours.

#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"

inline const char* const PythonForDigests = "/usr/bin/python3";

// length bytes of xorshift output, seeded by seed.
inline std::string XorshiftMessage(size_t length, unsigned seed = 0) {
  std::string message(length, '\0');
  uint32_t x = 2463534242u ^ (seed * 2654435761u);
  for (auto& c : message) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x);
  }
  return message;
}

// hashlib's digest of each message (algorithm "sha1", "sha256", ...), as lower-case hex, in order.
// Fewer digests than messages come back only when Python failed.
inline std::vector<std::string> HashlibDigests(std::string_view algorithm,
                                               const std::vector<std::string>& messages) {
  TTempDir dir;
  std::string command = std::string(PythonForDigests) +
                        " -c 'import hashlib, sys\nfor name in sys.argv[2:]: "
                        "print(hashlib.new(sys.argv[1], open(name, \"rb\").read()).hexdigest())' " +
                        std::string(algorithm);
  for (size_t i = 0; i < messages.size(); ++i) command += " " + dir.Write(std::to_string(i), messages[i]);
  std::vector<std::string> digests;
  const std::string output = RunShell(command).Out;
  for (size_t pos = 0, end; (end = output.find('\n', pos)) != std::string::npos; pos = end + 1)
    digests.push_back(output.substr(pos, end - pos));
  return digests;
}

// What this test program prints when run again with only `test` selected and `assignment`
// (VARIABLE=value) in its environment: for choices a process makes once.
inline std::string RunOwnTest(const std::string& assignment, const std::string& test) {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "cannot find this test program";
  return RunShell(assignment + " '" + std::string(self, size_t(length)) + "' --gtest_filter=" + test +
                  " 2>&1")
      .Out;
}
