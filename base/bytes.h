#pragma once
// A growable byte array owned by whoever holds it; entry data travels in one.
#include <cstdint>
#include <vector>

using TBytes = std::vector<uint8_t>;
