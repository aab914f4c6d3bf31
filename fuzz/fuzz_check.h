#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// Ends the run with the broken invariant's name, so libFuzzer keeps the input
// that broke it.
inline void Check(bool holds, const char* invariant, std::string_view detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "Invariant broken: %s [%.*s]\n", invariant, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline bool IsCanonicalDecimal(std::string_view text) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}
