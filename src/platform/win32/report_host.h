#pragma once

#include <memory>

#include "console/estate_run.h"

namespace stravik::win32 {

// The report's files, console, clock and randomness on Windows.
std::unique_ptr<console::ReportHost> makeReportHost();

}  // namespace stravik::win32
