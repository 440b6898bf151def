#pragma once

#include <exception>
#include <string>

// The framework's failure: a message text that Application->ShowException shows to the user.
// Messages are UTF-8; only captions travel in the ANSI code page.
class Exception : public std::exception {
public:
    explicit Exception(std::string message)
        : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};
