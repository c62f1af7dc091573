// The callbacks through which the cabinet writer reaches memory and files: the C runtime's heap
// and low-level file operations (through the platform layer), a temporary-name service, and the
// open-info callback that gives each source's DOS date, time and attributes. File callbacks with
// an error slot store the runtime's error number there when they fail and still return the
// runtime's result. The client context is never read.
#pragma once

#include <cstdint>

#include "platform/cabinet_interface/fci.h"

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
