#include "platform/text/code_page.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

int g_codePage = 1252;

constexpr std::array kSupported = {874, 1250, 1251, 1252, 1253, 1254, 1255,
                                   1256, 1257, 1258, 866, 65001};

std::string Normalised(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '-' && c != '_' && c != ' ') {
      // ASCII alone: a Turkish locale would keep 'I' as it is.
      out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
  }
  return out;
}

std::optional<int> Number(const std::string& digits) {
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    return std::nullopt;
  }
  const int value = std::stoi(digits);
  if (std::find(kSupported.begin(), kSupported.end(), value) == kSupported.end()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

int AnsiCodePage() { return g_codePage; }

void SetAnsiCodePage(int codePage) { g_codePage = codePage; }

std::optional<int> ParseCodePage(const std::string& text) {
  const std::string name = Normalised(text);
  if (name == "utf8") return 65001;
  for (const char* prefix : {"windows", "cp", "ibm", ""}) {
    const std::string p(prefix);
    if (name.compare(0, p.size(), p) == 0) {
      if (auto value = Number(name.substr(p.size()))) return value;
    }
  }
  return std::nullopt;
}
