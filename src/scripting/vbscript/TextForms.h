// Date text for the engine's own coercions (CStr of a Date, text to Date, #...#
// literals), over the library's date forms.
#pragma once

#include <string>
#include <string_view>

namespace tarvelo::vbs {

std::string DateText(double date);
// Month/day text without a year takes the current year.
bool ParseDateText(std::string_view text, double& date);

}  // namespace tarvelo::vbs
