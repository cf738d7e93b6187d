#pragma once

#include "nmea/NmeaRecords.h"

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The satellites a receiver reports, counted across its satellite systems: a satellite is its system
// and its number, so GPS 5 and Galileo 5 are two. The systems are named by their NMEA talkers (GP, GL,
// GA, GB, GQ, GI; BD counts as GB).
//
// In view: each system's latest complete GSV cycle (one per signal, for receivers that list a cycle for
// each signal they track); until a cycle has completed, the one in progress. Used: the latest run of GSA
// sentences, one per system for a combined receiver, each naming its system by the id at its end (NMEA 4.10
// on) or else by its talker.
class SkyTally {
public:
    struct Satellite {
        std::string system;
        int prn = 0;
        int elevation = 0;
        int azimuth = 0;
        int snr = 0; // dB-Hz; 0 when not tracked
        bool used = false;
    };

    // Message messageNumber of messageCount of a GSV cycle of talker and signal (0 without a signal id),
    // with the satellites it lists (any number: the decoder's record stops at twelve a system).
    void OnGsv(std::string_view talker, int signal, int messageNumber, int messageCount,
        const std::vector<Satellite>& listed);
    // A GSA of talker with its system id (0 without one), after the decoder took it into gsa.
    void OnGsa(std::string_view talker, int systemId, const GsaRecord& gsa);
    // Any other sentence: the GSA run before it, if any, is complete.
    void OnOtherSentence() { inGsaRun = false; }

    bool HasGsa() const { return gsaSeen; }
    // Within a run of GSA sentences the satellites used are not all known yet.
    bool InGsaRun() const { return inGsaRun; }
    // The best fix mode of the latest GSA run (1 none, 2 2D, 3 3D).
    int FixMode() const { return fixMode; }
    int Used() const { return static_cast<int>(used.size()); }
    // Every satellite in view, each once, with its strongest signal.
    std::vector<Satellite> InView() const;
    // How many satellites in view have a signal of at least snr dB-Hz.
    int AtLeast(int snr) const;

private:
    using Key = std::pair<std::string, int>; // system, satellite number

    static std::string System(std::string_view talker);

    // A check may end between a cycle's first and last message; what it reports in view must not depend
    // on where in the cycle that fell.
    struct Cycle {
        std::vector<Satellite> pending;
        std::vector<Satellite> complete;
        bool completed = false;
    };

    std::map<std::pair<std::string, int>, Cycle> cycles; // by talker and signal
    std::set<Key> used;
    bool inGsaRun = false;
    bool gsaSeen = false;
    int fixMode = 0;
};
