#pragma once
#include <string>
#include <vector>

namespace postello {

// text with each non-empty secret replaced by "***", for messages built
// from what a server said, in case it echoes what it was sent.
std::string WithoutSecrets(std::string text, const std::vector<std::string>& secrets);

} // namespace postello
