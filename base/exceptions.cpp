#include "base/exceptions.h"

#include <utility>

Exception::Exception(std::u16string message) : message_(std::move(message)), utf8_(ToUtf8(message_)) {}

EReadError::EReadError() : EStreamError(kReadErrorText) {}

EWriteError::EWriteError() : EStreamError(kWriteErrorText) {}

ERangeError::ERangeError() : Exception(kRangeErrorText) {}

void RaiseAssertionFailed(const char16_t* unitName, int line) {
    throw EAssertionFailed(u"Echec de l'assertion (" + std::u16string(unitName) + u", ligne " +
                           IntToStr(line) + u")");
}
