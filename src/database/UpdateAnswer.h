#pragma once
// The update server's protocol, client side: the index request and its answer.
//
//   GET <server>/update40.php?elem=&user_date=<DBNumber>
//   answer: the names of the update files to fetch, separated by "|" (empty: none)
//
// Each named file, and its signature (name + ".sig"), is fetched from <server>/<name> and saved
// in the program folder under that name, so an entry is a file name the server chooses for the
// user's disk. An answer is accepted only when every entry is a plain, harmless file name;
// one bad entry refuses the whole answer before anything is downloaded.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "database/DataBaseError.h"

namespace sentrel {

inline constexpr std::string_view kUpdateIndexPath = "/update40.php";
// Longer answers are refused: a real one names a few dozen files.
inline constexpr std::size_t kMaxUpdateAnswerSize = 64 * 1024;
inline constexpr std::size_t kMaxUpdateEntryLength = 100;

// An answer of the update server that is refused whole.
class UpdateAnswerError : public DataBaseError {
public:
    using DataBaseError::DataBaseError;
};

// The path and query of the index request: /update40.php?elem=&user_date=57.
std::string UpdateIndexQuery(int dataBaseNumber);
// The server's address (scheme, host, port and an optional folder, no trailing "/") followed by
// the index query.
std::string UpdateIndexUrl(std::string_view serverAddress, int dataBaseNumber);
// Where an entry is fetched from: beside the index script.
std::string UpdateFileUrl(std::string_view serverAddress, std::string_view entry);

// The answer split as the program always split it: while the text holds a "|" that is not its
// last character, the part before the first "|" is an entry; what is left, less a final "|",
// is the last entry. "a|b" and "a|b|" both give a and b; an empty answer gives no entry.
// Entries are not checked here (empty ones are kept).
std::vector<std::string> SplitUpdateAnswer(std::string_view body);

// A plain file name the program may create in its folder: 1 to kMaxUpdateEntryLength letters,
// digits, '.', '-' and '_' (no separator, drive, stream, blank or '~' short name), not "." or
// "..", no trailing dot, not a device name (CON, NUL, COM1, ... with any extension), and none
// of the program's own files or working files, in any letter case.
bool IsSafeUpdateEntryName(std::string_view name);

// The entries of an answer, every one checked. UpdateAnswerError names the first bad entry
// (or says the answer is too long); no entry is returned then.
std::vector<std::string> ParseUpdateAnswer(std::string_view body);

}  // namespace sentrel
