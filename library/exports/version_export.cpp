// The interface version the Java VM asks for before it calls any native method.
#include "library/exports/exports.h"

std::int32_t RNIGetCompatibleVersion() { return 0x00020000; }
