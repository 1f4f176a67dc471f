#pragma once
// The program's exceptions: every error is an object that carries a UTF-16 message text.
#include <exception>
#include <string>

#include "base/ustring.h"

class Exception : public std::exception {
public:
    explicit Exception(std::u16string message);

    const std::u16string& Message() const noexcept { return message_; }
    // The message as UTF-8, for std::exception users and test output.
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::u16string message_;
    std::string utf8_;
};

// Operating-system failures of the file streams.
class EStreamError : public Exception {
public:
    using Exception::Exception;
    // A failure the system gave a reason for: the message is text + "  " + systemReason.
    EStreamError(const std::u16string& text, std::u16string systemReason);

    // The system's reason alone ("File too large"); empty when the message holds none.
    const std::u16string& SystemReason() const noexcept { return systemReason_; }

private:
    std::u16string systemReason_;
};

// A read that could not deliver every byte asked for.
class EReadError : public EStreamError {
public:
    EReadError();
    using EStreamError::EStreamError;
};

// A write that could not take every byte offered.
class EWriteError : public EStreamError {
public:
    EWriteError();
    using EStreamError::EStreamError;
};

// Stream misuse and internal consistency checks.
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

// A 64-bit value that does not fit where only 32 bits are implemented.
class ERangeError : public Exception {
public:
    ERangeError();
    using Exception::Exception;
};

inline constexpr char16_t kReadErrorText[] = u"Erreur de lecture du flux";
inline constexpr char16_t kWriteErrorText[] = u"Erreur d'\u00e9criture dans le flux";
inline constexpr char16_t kRangeErrorText[] = u"Erreur de v\u00e9rification d'\u00e9tendue";

// Raises EAssertionFailed with "Echec de l'assertion (<unit>, ligne <line>)".
[[noreturn]] void RaiseAssertionFailed(const char16_t* unitName, int line);
