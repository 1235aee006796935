#pragma once
#include <stdexcept>
#include <string>

// The toolkit's invalid-operation error; its texts are the fixed English ones callers rely on.
class EInvalidOperation : public std::runtime_error {
public:
  explicit EInvalidOperation(const std::string& message) : std::runtime_error(message) {}
};
