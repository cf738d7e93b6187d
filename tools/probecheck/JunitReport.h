#pragma once

#include <string>

struct CallRecord;

// The records as JUnit XML, the way CI servers read test results: one testsuite per check, one
// testcase per measurement (a failure names the value and the limit; one not measured is skipped).
// A check that could not run, or that failed for a reason no measurement carries (its device went
// away), gets one more testcase named after the check with that error or failure.
class JunitReport {
public:
    static std::string Render(const CallRecord& call);
};
