#pragma once

// `stravikc report`: the logs in the folders given, read from the machine
// through the console's host and summed up by EstateReport, on the
// console and, when asked, as CSV and as a web page.

#include "console/command_line.h"
#include "console/console_host.h"

namespace stravik::console {

// Returns 0 when every computer is clean, 1 when any is not or no run was
// found at all, and the error's number when a folder is not there or a
// view cannot be written.
int runReport(const ReportRequest& request, ConsoleHost& host);

}  // namespace stravik::console
