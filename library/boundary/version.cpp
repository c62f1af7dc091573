#include "library/boundary/exports.h"

std::int32_t RNIGetCompatibleVersion() { return 0x00020000; }
