// The cabinet builder: binds the cabinet writer module ("CABINET") and feeds it a list of files,
// a new folder at every entry "+", into one MSZIP cabinet. Failures are written as one line each
// on standard output ("FCIAddFile() failed: code 1 [...]").
//
// Safe on any number of threads at once: each build binds the module for itself, and nothing
// depends on the current directory beyond what the caller's names mean. A relative entry is read
// from the cabinet path and stored under its own text; a relative cabinet path is taken from the
// current directory. The names of files are in the platform layer's form (UTF-8); the names
// stored in the cabinet are the entries' own 8-bit texts, which readers take as Latin-1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cabinet_interface/fci.h"

constexpr int kErrorTextSize = 256;

// The error code printed when the writer module cannot be loaded or lacks an entry point: the
// writer has set none then.
constexpr int kWriterUnavailable = -1;

// Fills the parameters record: zeros, then the size limits 0x7FFFFFFF, sequence number 1, set
// identifier 12345, the cabinet's name and path copied unchanged (each cut to 255 bytes).
void fillCabinetParameters(CCAB& parameters, const char* cabPath, const char* cabName);

// The fixed text for a writer error code ("Unknown error" for any code it does not know).
const char* cabinetErrorText(int code);

// One entry of the list: the text the cabinet stores as the file's name (the caller's 8-bit text
// as it is) and the name of the file to read it from, as the platform layer takes names (UTF-8);
// "+" in both for a folder break. An empty source names no file: it is refused as unopenable.
struct CabinetEntry {
  char* stored;
  char* source;
};

// Builds the cabinet cabPath + cabName (UTF-8, as the platform layer takes names) from `count`
// entries. 1 when the cabinet was written and the writer released, 0 otherwise. `errorText`
// receives cabinetErrorText of the writer's code ("<text>: '<entry>'" when an entry could not be
// added), cut to fit.
int buildCabinet(std::int32_t count, const CabinetEntry* entries, const char* cabPath,
                 const char* cabName, char (&errorText)[kErrorTextSize]);
