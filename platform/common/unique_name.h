// Fresh short names for files made beside others (the replacement file's sibling).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Six letters and digits for a fresh name: `entropy` (the caller's clock and process id) mixed
// with a counter of this process, so that two threads, two processes or two quick calls do not
// keep meeting on the same name. Letters of one case only where the system's names do not tell
// cases apart.
std::string uniqueNameSuffix(std::uint64_t entropy, bool namesTellCasesApart);

}  // namespace platform
