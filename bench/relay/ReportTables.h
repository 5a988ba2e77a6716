// The tables of the report, one function each, over any number of relays.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "Results.h"

namespace relaybench {

std::string Fmt(const char* Format, double V);
// A relay's rounds in a period, or null when it has none.
const TRelayRounds* FindRelay(const TPeriodResult& P, const std::string& Relay);

void DeliveryTable(std::ostringstream& Out, const TPeriodResult& P);
void LatencyTable(std::ostringstream& Out, const TPeriodResult& P);
void CpuTable(std::ostringstream& Out, const TPeriodResult& P);
void SyscallTable(std::ostringstream& Out, const TPeriodResult& P);
void IdleTable(std::ostringstream& Out, const TPeriodResult& P, double IdleSeconds);
void CountsTable(std::ostringstream& Out, const TPeriodResult& P, double CountSeconds);
// VORLANX against the minimal relay and against qmidinet, met or not.
void Targets(std::ostringstream& Out, const std::vector<TPeriodResult>& Periods);

}  // namespace relaybench
