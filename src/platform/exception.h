#pragma once

#include <exception>
#include <string>

namespace dova {

// Base of every exception class the program raises on purpose. It carries the message
// that the error box (or the console in headless mode) shows.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

}  // namespace dova
