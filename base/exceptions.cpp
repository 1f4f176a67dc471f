#include "base/exceptions.h"

#include <utility>

Exception::Exception(std::u16string message) : message_(std::move(message)), utf8_(ToUtf8(message_)) {}

EStreamError::EStreamError(const std::u16string& text, std::u16string systemReason)
    : Exception(text + u"  " + systemReason), systemReason_(std::move(systemReason)) {}

EReadError::EReadError() : EStreamError(kReadErrorText) {}

EWriteError::EWriteError() : EStreamError(kWriteErrorText) {}

ERangeError::ERangeError() : Exception(kRangeErrorText) {}

void RaiseAssertionFailed(const char16_t* unitName, int line) {
    throw EAssertionFailed(u"Echec de l'assertion (" + std::u16string(unitName) + u", ligne " +
                           IntToStr(line) + u")");
}
