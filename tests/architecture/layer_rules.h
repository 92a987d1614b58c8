#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dova::architecture {

// How an include names its header: "..." for the program's own headers (written from src/),
// <...> for everything else (the C++ library, Qt, the OS).
enum class Brackets { Quotes, Angles };

// Checks one include against the layer table of the design: `file` is the including file's
// path relative to src/ ("graphs/temp_graph.cpp"), `included` what stands between the
// quotes or angle brackets. Returns what is wrong, or nothing when the include is allowed.
std::optional<std::string> CheckInclude(std::string_view file, std::string_view included,
                                        Brackets brackets = Brackets::Quotes);

struct Violation {
  std::string file;      // relative to src/
  std::string included;  // as written between the brackets
  int line = 0;
  std::string reason;
};

// Every include of every C++ file under src_root that goes against the table, in path
// order.
std::vector<Violation> ScanTree(const std::filesystem::path& src_root);

}  // namespace dova::architecture
