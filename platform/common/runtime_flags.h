// The C runtime's open flags and permission modes of the original platform, in which the
// runtime-style file operations (platform.h) and the cabinet interface's open callback
// (cabinet_interface/fci.h) are both written. Each platform translates them to its own; on
// Windows they are the runtime's own values.
#pragma once

namespace platform {

constexpr int kRuntimeReadOnly = 0x0000;
constexpr int kRuntimeWriteOnly = 0x0001;
constexpr int kRuntimeReadWrite = 0x0002;
constexpr int kRuntimeAppend = 0x0008;
constexpr int kRuntimeCreate = 0x0100;
constexpr int kRuntimeTruncate = 0x0200;
constexpr int kRuntimeExclusive = 0x0400;
constexpr int kRuntimeBinary = 0x8000;  // every file is opened binary, asked or not
constexpr int kRuntimePermissionRead = 0x0100;
constexpr int kRuntimePermissionWrite = 0x0080;

}  // namespace platform
