#include "metainfo/PathRules.h"

std::string ComponentProblem(std::string_view part) {
  if (part.empty()) return "is empty";
  if (part == ".") return "is \".\"";
  if (part == "..") return "is \"..\"";
  if (part.front() == '/') return "is absolute";
  if (part.find('/') != std::string_view::npos) return "contains \"/\"";
  if (part.find('\0') != std::string_view::npos) return "contains a NUL byte";
  return "";
}
