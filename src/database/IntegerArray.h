#pragma once
// A growable array of signed 32-bit integers (the row lists of the lookup indexes).

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sentrel {

class TIntegerArray {
public:
    TIntegerArray() = default;

    // Appends one value.
    void Add(std::int32_t value) { values_.push_back(value); }

    // The element at an index; throws std::out_of_range outside 0..Count()-1.
    std::int32_t Get(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= values_.size())
            throw std::out_of_range("TIntegerArray index " + std::to_string(index) + " is out of range");
        return values_[static_cast<std::size_t>(index)];
    }

    int Count() const { return static_cast<int>(values_.size()); }

private:
    std::vector<std::int32_t> values_;
};

}  // namespace sentrel
