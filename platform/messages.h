// Messages for the user and diagnostic texts.
#pragma once

namespace platform {

// Where messages for the user and diagnostic texts go. Tests swap it for a recording fake.
class MessageService {
 public:
  virtual ~MessageService() = default;
  // A modal error message box with one OK button; returns when the user has closed it.
  virtual void showError(const char* caption, const char* text) = 0;
  // A diagnostic text; the real service discards it.
  virtual void trace(const char* text) = 0;
  // As showError, but owned by the calling thread's active window when it has one (the
  // launcher's messages). Where windows have no owners, the same as showError.
  virtual void showOwnedError(const char* caption, const char* text) { showError(caption, text); }
};

MessageService& messages();

}  // namespace platform
