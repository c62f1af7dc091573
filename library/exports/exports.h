// The library's exports: the native methods of the Java class Kestrilo, as C-linkage functions.
// Each takes the receiver (never read) and the Java arguments in order, and returns a 32-bit
// integer. The JNI bridge (jni/) wraps the JVM's arguments and calls these. Every export and
// every JNI entry runs under guardExport (export_guard.h), with the failure result below.
#pragma once

#include <cstdint>

#include "library/boundary/java_array.h"
#include "library/boundary/java_string.h"

// Exported under the plain C name. A PE file ignores the visibility attribute (and the linker's
// version script), so on Windows only dllexport puts a name in the DLL's export table.
#if defined(_WIN32)
#define KESTRILO_EXPORT extern "C" __declspec(dllexport)
#else
#define KESTRILO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using Receiver = void*;

// The result each export gives when it cannot finish (its documented failure outcome).
constexpr std::int32_t kClipboardFailure = 0;
constexpr std::int32_t kShowFileFailure = 1;
constexpr std::int32_t kMakeCabFailure = 1;
constexpr std::int32_t kMakeTransparentFailure = 0;
constexpr std::int32_t kSaveJpegFailure = 1;
constexpr std::int32_t kWav2AuFailure = 0;

// 1 when the text is on the clipboard; 0 when the clipboard cannot be opened or the block cannot
// be allocated.
KESTRILO_EXPORT std::int32_t Kestrilo_copyToClipboard(Receiver receiver, StringHandle text);

// Opens the document with its program (directory not empty) or the default action. Always 1.
KESTRILO_EXPORT std::int32_t Kestrilo_showFile(Receiver receiver, StringHandle directory,
                                               StringHandle file);

// Packs the listed files into one MSZIP cabinet cabPath + cabName, a new folder at every entry
// "+". Always 1.
KESTRILO_EXPORT std::int32_t Kestrilo_makeCab(Receiver receiver, const ArrayObject* files,
                                              StringHandle cabPath, StringHandle cabName);

// 1 when the file was loaded as a GIF, whatever came of rewriting it; 0 when it could not be.
KESTRILO_EXPORT std::int32_t Kestrilo_makeTransparent(Receiver receiver, StringHandle gifFile);

// Writes width × height packed colours (0x00RRGGBB, top row first) as a JPEG file. Always 1.
KESTRILO_EXPORT std::int32_t Kestrilo_saveJPEG(Receiver receiver, StringHandle jpegFile,
                                               const ArrayObject* pixels, std::int32_t width,
                                               std::int32_t height);

// 1 when the AU file was created; 0 when the WAV file could not be loaded or the AU file could
// not be created.
KESTRILO_EXPORT std::int32_t Kestrilo_wav2au(Receiver receiver, StringHandle wavFile,
                                             StringHandle auFile);

// The version of the native interface the library is written for: 0x00020000.
KESTRILO_EXPORT std::int32_t RNIGetCompatibleVersion();
