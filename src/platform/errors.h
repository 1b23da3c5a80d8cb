// The error objects that handlers raise. The top-level handler shows
// Exception's message in the error box; EAbort is dropped silently.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace platform {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  const char* ClassName() const override { return "EAbort"; }
};

// A form layout that cannot be read.
class EReadError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EReadError"; }
};

// The system refused a window, menu or other resource.
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EOutOfResources"; }
};

}  // namespace platform
