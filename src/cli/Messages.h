#pragma once
// What torvane-cli says besides its results: errors, warnings and the diagnostic trace on
// standard error, each line prefixed "torvane-cli: ", in the language chosen with --lang.
// Every such text is a pack message (an IDS_CLI_ key) whose %1 .. %9 take the arguments,
// so translations may put them in their own order.

#include "platform/Text.h"

#include <string>
#include <vector>

namespace torvane::cli {

// The program's name as it prefixes every line on standard error.
inline constexpr const char* ProgramName = "torvane-cli";

// A message to be said: its pack key and the texts put in for %1, %2, ...
struct TMessage {
    std::string Key;
    std::vector<std::string> Args;
};

// How much the tool prints: -q only results and errors, -v also the diagnostic trace.
enum class TVerbosity { Quiet, Normal, Verbose };
void SetVerbosity(TVerbosity verbosity);
[[nodiscard]] TVerbosity Verbosity();

// The message's text in the current language with its arguments put in. When the pack on
// disk has no text for the key (the packs could not be written, or a language pack lacks
// it), the text of the built-in pack of that language, then of English, is used.
[[nodiscard]] std::string Text(const TMessage& message);
// The [StrRes] keys of a built-in pack, in the pack's order.
[[nodiscard]] std::vector<std::string> BuiltInKeys(const std::string& language);
// Puts args in for %1 .. %9 in one pass (platform/Text.h).
using platform::FormatMessage;

// "torvane-cli: " + the text, on standard error.
void PrintError(const TMessage& message);
// "torvane-cli: " + the text, on standard error, except under -q.
void PrintNote(const TMessage& message);
// "torvane-cli: warning: " + the text, on standard error; also under -q.
void PrintWarning(const TMessage& message);
// "torvane-cli: " + the text, on standard error, under -v only.
void PrintTrace(const TMessage& message);
// A usage error: the message and a pointer to the help of `command` (the whole tool when
// empty), on one line of standard error.
void PrintUsageError(const TMessage& message, const std::string& command);

} // namespace torvane::cli
