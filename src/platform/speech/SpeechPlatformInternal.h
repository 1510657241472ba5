#pragma once
// Pieces of the speech platform shared between its own source files.

#include "SpeechEngine.h"

namespace sapi {

// The enumerator object (ITTSEnumW and ITTSFindW) over the installed drivers.
UnknownPtr makeModeEnumerator();

// The drivers installed when nothing replaced them: those of the engine
// registry (DefaultEngines.cpp), each only when it loads with voices.
std::vector<std::shared_ptr<SpeechEngine>> loadDefaultEngines();

// Closeness of a mode to a query by the rank weights; fields left empty in
// the query do not count.
uint64_t rankScore(const TTSMODEINFOW &mode, const TTSMODEINFOW &query, const TTSMODEINFORANK &rank);

}  // namespace sapi
