// Heap and global-memory blocks. Every allocation that fails shows "Sorry, not enough memory"
// and gives null; a block is freed by the free operation of the family that allocated it.
#pragma once

#include <cstddef>
#include <cstdint>

// Global-memory flags as callers pass them; only kGlobalZeroFill changes what the caller sees.
constexpr std::uint32_t kGlobalMovable = 0x0002;
constexpr std::uint32_t kGlobalZeroFill = 0x0040;
constexpr std::uint32_t kGlobalShare = 0x2000;

// A heap block of `size` bytes, all zero.
void* allocZeroed(std::size_t size);

// A null block gives allocZeroed(size); otherwise the block resized with its first bytes kept
// and new bytes undefined. On failure the old block stays valid.
void* reallocBlock(void* block, std::size_t size);

void freeBlock(void* block);

// A block of fixed address for its whole life; zero-filled only with kGlobalZeroFill.
void* allocGlobalBlock(std::size_t size, std::uint32_t flags);

void freeGlobalBlock(void* block);
