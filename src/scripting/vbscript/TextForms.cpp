#include "scripting/vbscript/TextForms.h"

#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/VbsDate.h"

namespace tarvelo::vbs {

std::string DateText(double date) { return DateToText(date); }

bool ParseDateText(std::string_view text, double& date) {
    std::optional<double> d = ParseDate(text, SplitDate(SystemNow()).year);
    if (!d) return false;
    date = *d;
    return true;
}

}  // namespace tarvelo::vbs
