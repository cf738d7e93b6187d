#pragma once

#include <string>

struct CallRecord;

// The records for a person: per check a headline "<check>: PASS|FAIL|ERROR  <reason>", then what was
// checked, every measurement with its outcome, value and limit, the facts and the tables, one line
// each. A call of several checks ends with one line for the whole unit.
class TextReport {
public:
    static std::string Render(const CallRecord& call);
};
