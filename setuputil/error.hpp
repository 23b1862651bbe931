// The base of the errors this library raises (RegistryError, ComError): a
// std::exception whose what() is the message it was made with, caught by
// the same handlers as any other.
//
// Deliberately not std::runtime_error: the standard library keeps that
// one's message in its old copy-on-write string, whose code (with what it
// drags along, some 60 KB) would otherwise go into every installer's stub.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace setuputil {

class Error : public std::exception {
public:
    explicit Error(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

}  // namespace setuputil
