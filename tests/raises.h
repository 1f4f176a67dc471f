#pragma once
// The one way the suites assert an error:
//
//     EXPECT_TRUE(Raises([&] { stream.ReadBuffer(out, 2); }, Error<EReadError>(kReadErrorText)));
//
// holds when the operation raises exactly the class EReadError (not a base or a relative of it) with exactly
// that message. Otherwise the failure says what happened instead: nothing was raised, another class was, or
// the text differs. A table row holds its expected error as an ExpectedError.
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#endif

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "base/ustring.h"

namespace test_support {

// An error as a test expects it: its exact class and its exact message.
struct ExpectedError {
    std::type_index kind;
    std::u16string text;
};

template <class Kind> ExpectedError Error(std::u16string_view text) {
    static_assert(std::is_base_of_v<std::exception, Kind>);
    return {std::type_index(typeid(Kind)), std::u16string(text)};
}

// The same with the message in UTF-8.
template <class Kind> ExpectedError Error(std::string_view text) {
    return Error<Kind>(std::u16string_view(FromUtf8(text)));
}

// A class's name as the source spells it ("EReadError"), for failure messages.
inline std::string ClassName(const std::type_index& kind) {
#if __has_include(<cxxabi.h>)
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(kind.name(), nullptr, nullptr, &status), &std::free);
    if (status == 0 && name != nullptr) {
        return name.get();
    }
#endif
    return kind.name();
}

inline std::string Describe(const std::type_index& kind, const std::u16string& text) {
    return ClassName(kind) + " \"" + ToUtf8(text) + "\"";
}

inline ::testing::AssertionResult Raises(const std::function<void()>& operation,
                                         const ExpectedError& expected) {
    const std::string wanted = "expected " + Describe(expected.kind, expected.text) + ", but ";
    try {
        operation();
    } catch (const std::exception& error) {
        const auto* own = dynamic_cast<const Exception*>(&error);
        const std::u16string text = own != nullptr ? own->Message() : FromUtf8(error.what());
        const std::type_index kind(typeid(error));
        if (kind == expected.kind && text == expected.text) {
            return ::testing::AssertionSuccess();
        }
        if (kind != expected.kind) {
            return ::testing::AssertionFailure() << wanted << Describe(kind, text) << " was raised";
        }
        return ::testing::AssertionFailure() << wanted << "the text was \"" << ToUtf8(text) << "\"";
    } catch (...) {
        return ::testing::AssertionFailure() << wanted << "something that is not a std::exception was raised";
    }
    return ::testing::AssertionFailure() << wanted << "nothing was raised";
}

} // namespace test_support
