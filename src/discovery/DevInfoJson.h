#pragma once
// TDevInfo records as JSON, for the command line's machine-readable list. Texts are
// written as JSON strings: well-formed UTF-8 passes through, control characters and every
// byte that is not part of a well-formed UTF-8 sequence become \u00XX escapes (the byte's
// value), so any camera text gives valid JSON.

#include "platform/Json.h"
#include "series/DevInfo.h"

#include <string>
#include <string_view>
#include <vector>

namespace torvane {

using platform::JsonString;
// One record as a JSON object with every field in the record's order, except the two
// passwords (szDdnsPwd, szLoginPwd), which are never printed.
[[nodiscard]] std::string DevInfoToJson(const TDevInfo& record);
// A JSON array of records, one per line.
[[nodiscard]] std::string DevInfoListToJson(const std::vector<TDevInfo>& records);

} // namespace torvane
