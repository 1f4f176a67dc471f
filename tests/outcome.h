#pragma once
// What an operation came to, bytes or an error, so that two ways of doing one thing can be held to the same
// results over a table of inputs:
//
//     EXPECT_EQ(OutcomeOf([&] { return Whole(input); }), OutcomeOf([&] { return InPieces(input); }));
#include <cstdint>
#include <exception>
#include <functional>
#include <ostream>
#include <string>
#include <typeindex>
#include <vector>

#include "base/exceptions.h"
#include "base/ustring.h"
#include "tests/raises.h"

namespace test_support {

struct Outcome {
    std::vector<uint8_t> bytes;
    bool raised = false;
    std::string error; // class and text, as Describe gives them

    friend bool operator==(const Outcome&, const Outcome&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
        if (outcome.raised) {
            return out << "raised " << outcome.error;
        }
        return out << outcome.bytes.size() << " bytes";
    }
};

inline Outcome OutcomeOf(const std::function<std::vector<uint8_t>()>& operation) {
    Outcome outcome;
    try {
        outcome.bytes = operation();
    } catch (const std::exception& error) {
        const auto* own = dynamic_cast<const Exception*>(&error);
        outcome.raised = true;
        outcome.error = Describe(std::type_index(typeid(error)),
                                 own != nullptr ? own->Message() : FromUtf8(error.what()));
    }
    return outcome;
}

} // namespace test_support
