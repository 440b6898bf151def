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

// The program's command line as it was given, bytes and all: ParamStr(0) is the program,
// ParamStr(1) to ParamStr(ParamCount()) its arguments; past them, an empty text. The program's
// main hands them over; until it does there are none, as for a window made by a test.
void SetCommandLine(int argc, const char* const* argv);
int ParamCount();
std::string ParamStr(int index);
