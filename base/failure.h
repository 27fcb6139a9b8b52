// The one failure family of the updater. Every kind carries its message, the program's own
// Shift-JIS words with any name from the system (a path) kept in the system's code page; the
// texts themselves live in failure.cpp so that no caller spells a message twice.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "base/shown_text.h"

class Exception : public std::exception {
 public:
  // A message of the program's own text.
  explicit Exception(std::string message) : Exception(OwnText(message)) {}
  explicit Exception(ShownText message) : shown_(std::move(message)), message_(shown_.Bytes()) {}
  // The message as it is to be shown, run by run.
  const ShownText& Shown() const noexcept { return shown_; }
  // The same as one byte string.
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  ShownText shown_;
  std::string message_;
};

// The silent failure: it unwinds like any other but the error report shows nothing.
class EAbort : public Exception {
 public:
  EAbort() : Exception(std::string()) {}
};

// Memory for a buffer could not be had.
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory();
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// A stream delivered fewer bytes than asked for.
class EReadError : public EStreamError {
 public:
  EReadError();
};

// A stream took fewer bytes than given.
class EWriteError : public EStreamError {
 public:
  EWriteError();
};

// A file could not be created (or, for a staged write, put in place).
class EFCreateError : public EStreamError {
 public:
  explicit EFCreateError(const std::string& fileName);
};

// No data resource of that name in the running module.
class EResNotFound : public Exception {
 public:
  explicit EResNotFound(const std::string& resourceName);
};

// Failures of the settings store.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
  static ERegistryException ReadFailed(const std::string& valueName);
  static ERegistryException InvalidType(const std::string& valueName);
  static ERegistryException CreateKeyFailed(const std::string& keyName);
  static ERegistryException SetFailed(const std::string& valueName);
};

// A platform input/output failure, with the message picked by its error code.
class EInOutError : public Exception {
 public:
  explicit EInOutError(int errorCode);
  int ErrorCode() const noexcept { return errorCode_; }

 private:
  int errorCode_;
};

// A folder listed by the chooser whose name the system's code page cannot spell: no path of this
// program leads into it, nor of the game, which is not Unicode either.
class EUnspellableFolder : public Exception {
 public:
  explicit EUnspellableFolder(const ShownText& name);
};

// The folder chooser was asked to create a folder it cannot name.
class EDirCreateError : public Exception {
 public:
  EDirCreateError();
};

// The clipboard could not be opened.
class EClipboardException : public Exception {
 public:
  EClipboardException();
};

// The window layer's own failure: the platform refused a request (a window class, a window).
// Carries the platform's message for the error code (system text), or a text with the code when
// it has none (or the code is 0, which the platform describes as success).
class EPlatformError : public Exception {
 public:
  EPlatformError(unsigned long errorCode, const std::string& platformMessage);
  unsigned long ErrorCode() const noexcept { return errorCode_; }

 private:
  unsigned long errorCode_;
};

// Anything thrown that is not of this family (a library's own exception, say).
class EUnexpected : public Exception {
 public:
  EUnexpected();
};

using TFailureSink = std::function<void(const Exception&)>;

// Hands the exception being handled to report as a failure of the family: a failure of the
// family as it is, std::bad_alloc as EOutOfMemory, anything else as EUnexpected. Call only from
// inside a catch block.
void ReportCurrentFailure(const TFailureSink& report);

// Runs steps; a failure that escapes them is reported once, as above. True when they returned.
bool RunGuarded(const std::function<void()>& steps, const TFailureSink& report);
