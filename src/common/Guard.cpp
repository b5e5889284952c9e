#include "common/Guard.h"

namespace tarvelo {

std::string ErrorSuffix(const std::exception& error) {
    int line = 0;
    if (auto* vb = dynamic_cast<const VbError*>(&error)) line = vb->line();
    return " Line " + std::to_string(line) + " " + error.what();
}

} // namespace tarvelo
