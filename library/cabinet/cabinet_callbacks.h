// The callbacks through which the cabinet writer reaches memory and files: the C runtime's heap
// and low-level file operations (through the platform layer), a temporary-name service, and the
// open-info callback that gives each source's DOS date, time and attributes. File callbacks with
// an error slot store the runtime's error number there when they fail and still return the
// runtime's result.
//
// The client context is the build's CabinetOutput (or null, for plain runtime files only). The
// cabinet file itself, which the writer creates at the location the builder registered from the
// cabinet parameters, is not made at its name: it is written to a ReplacementFile, which the
// builder commits once the writer has flushed the cabinet. A failed build therefore leaves any
// earlier cabinet of that name as it was, and the writer's removal of a cabinet it could not
// finish removes only the new file. The cabinet is written, and may be sought in (the system's
// own writer puts its signature last), but never read.
//
// The writer's temporary files lose their names as soon as the writer has opened them, where the
// system lets an open file be removed: a process killed in the middle of a build leaves none
// behind. The writer's own removal of such a file then has nothing left to remove.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/support/replacement_file.h"
#include "platform/cabinet_interface/fci.h"

// The cabinet of one build, between the writer's open and the builder's commit.
class CabinetOutput {
 public:
  // Puts the cabinet in the place of its name; false when the writer left it open or it could
  // not be put in place ("Cannot create file: " traced). True when there is nothing to put in
  // place: the writer made no cabinet, or removed the one it could not finish.
  bool commit();

  // Registers where the writer will create the cabinet of these parameters: the path and the
  // name joined. A path without a separator at its end gives two such names, the path and the
  // name one after the other (as the system's cabinet library on Windows joins them) and with a
  // separator between them (as the writer module does).
  void expectCabinet(const CCAB& parameters);

  // For the callbacks: whether a file the writer creates under `name` is the cabinet (a
  // registered location), whether a name or a handle is the cabinet being written, and the
  // runtime handle that stands for it (an address, which no runtime descriptor can equal).
  bool takesAsCabinet(const char* name) const;
  bool isCabinet(const char* name) const { return open_ && name && name_ == name; }
  bool isCabinet(std::intptr_t file) const { return open_ && file == handle(); }
  std::intptr_t handle() const { return reinterpret_cast<std::intptr_t>(this); }
  bool start(const char* name);
  std::int64_t write(const void* bytes, std::size_t count);
  // Moves within the cabinet written so far (a writer may come back to finish its header); the
  // new position, or -1 when it is out of the runtime's 32-bit range.
  std::int32_t seek(std::int32_t distance, int origin);
  void close() { closed_ = open_; }
  void discard();
  // The names handed out for the writer's temporary files.
  void rememberTemporaryName(const char* name) { temporaryNames_.emplace_back(name); }
  bool isTemporaryName(const char* name) const;
  // A temporary whose name was removed while the writer holds it open.
  void markUnnamed(const char* name) { unnamed_.emplace_back(name); }
  bool takeUnnamed(const char* name);

 private:
  ReplacementFile file_;
  std::string name_;
  bool open_ = false;
  bool closed_ = false;
  std::vector<std::string> locations_;
  std::vector<std::string> temporaryNames_;
  std::vector<std::string> unnamed_;
};

void* cabinetAllocate(std::uint32_t size);
void cabinetRelease(void* block);
std::intptr_t cabinetOpen(char* name, int flags, int mode, int* error, void* context);
unsigned int cabinetRead(std::intptr_t file, void* buffer, unsigned int count, int* error,
                         void* context);
unsigned int cabinetWrite(std::intptr_t file, void* buffer, unsigned int count, int* error,
                          void* context);
int cabinetClose(std::intptr_t file, int* error, void* context);
std::int32_t cabinetSeek(std::intptr_t file, std::int32_t distance, int origin, int* error,
                         void* context);
int cabinetDelete(char* name, int* error, void* context);

// A new temporary file's name, prefix "xx", into `name` (capacity bytes). 1 when it fits with
// its terminating zero; 0 when no temporary file could be made or its name would not fit (the
// file is then removed again).
int cabinetTempName(char* name, int capacity, void* context);

int cabinetFilePlaced(CCAB* parameters, char* file, std::int32_t size, int continuation,
                      void* context);
std::int32_t cabinetStatus(unsigned int kind, std::uint32_t value1, std::uint32_t value2,
                           void* context);
int cabinetNextCabinet(CCAB* parameters, std::uint32_t previousSize, void* context);

// Opens a source for the writer: its last write as local DOS date and time, its attributes
// masked with 0x27 (read-only, hidden, system, archive; 0 when they cannot be read), and a
// read-only runtime handle, or -1 when it cannot be opened. The error slot is left alone.
std::intptr_t cabinetOpenInfo(char* name, std::uint16_t* date, std::uint16_t* time,
                              std::uint16_t* attributes, int* error, void* context);
