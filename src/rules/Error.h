#pragma once

#include <stdexcept>
#include <string>

namespace tarnwick {

// Every failure the program reports is one of these; what() is the message shown to the user.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that should hold a whole number does not.
class ConvertError : public Error {
public:
    explicit ConvertError(const std::string& piece)
        : Error("'" + piece + "' is not a valid integer value") {}
};

// A file could not be created or written; code is the error code of the message table.
class IoError : public Error {
public:
    explicit IoError(int code) : Error(MessageFor(code)), code_(code) {}
    // A code of the system outside the message table, with the system's own words for it:
    // "I/O error N: meaning", also where N happens to be a number of the table.
    IoError(int code, const std::string& meaning)
        : Error("I/O error " + std::to_string(code) + (meaning.empty() ? "" : ": " + meaning)),
          code_(code) {}
    int code() const { return code_; }

    static std::string MessageFor(int code) {
        switch (code) {
        case 2:
            return "File not found";
        case 3:
            return "Invalid filename";
        case 4:
            return "Too many open files";
        case 5:
            return "File access denied";
        case 100:
            return "Read beyond end of file";
        case 101:
            return "Disk full";
        case 106:
            return "Invalid numeric input";
        default:
            return "I/O error " + std::to_string(code);
        }
    }

private:
    int code_;
};

// A registry value could not be read or written, or has the wrong type.
class RegistryError : public Error {
public:
    using Error::Error;
};

} // namespace tarnwick
