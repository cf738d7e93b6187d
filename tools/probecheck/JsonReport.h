#pragma once

#include <string>

struct CallRecord;

// The records for a machine, one JSON object on one line for the whole call: schema, verdict,
// exitStatus, started, elapsedSeconds and checks, one object per check (check, verdict, exitStatus,
// reason, device, started, elapsedSeconds, measurements, details). Later versions only add fields, or
// raise schema.
class JsonReport {
public:
    static constexpr int Schema = 1;

    static std::string Render(const CallRecord& call);
};
