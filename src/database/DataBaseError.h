#pragma once
// The one error type of the threat database container: a file that cannot be decrypted,
// unpacked or parsed, a refused archive record, a failed load or save. The message says what
// was wrong.

#include <stdexcept>

namespace sentrel {

class DataBaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace sentrel
