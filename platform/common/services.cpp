// The memory and message services as every caller reaches them: the system's own, or the
// replacement a test has installed.
#include "platform/common/services.h"

#include <atomic>

#include "platform/testing/platform_testing.h"

namespace platform {
namespace {

// Swapped by tests only, but read by every thread of the process; null while none is installed.
std::atomic<MemoryService*> memoryReplacement{nullptr};
std::atomic<MessageService*> messageReplacement{nullptr};

}  // namespace

MemoryService& memory() {
  MemoryService* replacement = memoryReplacement.load();
  return replacement ? *replacement : systemMemory();
}

MessageService& messages() {
  MessageService* replacement = messageReplacement.load();
  return replacement ? *replacement : systemMessages();
}

void setMemoryService(MemoryService* service) { memoryReplacement = service; }

void setMessageService(MessageService* service) { messageReplacement = service; }

}  // namespace platform
