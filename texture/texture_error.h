#pragma once
// The one error of the texture code: a texture that cannot be read or shown, with a message that says what
// was expected and what was found.
#include <string>

#include "base/exceptions.h"
#include "base/ustring.h"

class ETextureError : public Exception {
public:
    explicit ETextureError(const std::string& message) : Exception(FromUtf8(message)) {}
};
