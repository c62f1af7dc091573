// The swappable services' real implementations, which each system's files provide: memory()
// and messages() give these unless a test has put a replacement in their place.
#pragma once

#include "platform/platform.h"

namespace platform {

// The system's heap and message boxes; objects that live as long as the process.
MemoryService& systemMemory();
MessageService& systemMessages();

// The base of each system's message service: the real service discards diagnostic texts.
class DesktopMessageService : public MessageService {
 public:
  void trace(const char*) override {}
};

}  // namespace platform
