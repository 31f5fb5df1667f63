// The simulated system's full-path rule.
#pragma once

#include <string>
#include <vector>

namespace simbase {

// The components of `path` split at `separator`, with "." and empty ones
// dropped and each ".." taking the one before it away, as text.
std::vector<std::string> ResolveDots(const std::string& path, char separator);

}  // namespace simbase
