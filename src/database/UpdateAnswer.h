#pragma once
// The update server's protocol, client side: the index request and its answer.
//
//   GET <server>/update40.php?elem=&user_date=<DBNumber>
//   answer: the names of the update files to fetch, separated by "|" (empty: none)
//
// Each named file, and its signature (name + ".sig"), is fetched from <server>/<name> into the
// working folder of updates, so an entry is a file name the server chooses for the user's disk.
// An answer is accepted only when every entry has the form of an update file name and there are
// at most kMaxUpdateEntries of them; one bad entry refuses the whole answer before anything is
// downloaded.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "database/DataBaseError.h"

namespace sentrel {

inline constexpr std::string_view kUpdateIndexPath = "/update40.php";
// Longer answers are refused: a real one names a few dozen files.
inline constexpr std::size_t kMaxUpdateAnswerSize = 64 * 1024;
inline constexpr std::size_t kMaxUpdateEntryLength = 64;
inline constexpr std::size_t kMaxUpdateEntries = 64;

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

// The form of an update file name: letters, digits, '-' and '_', then ".dat" (in any letter
// case), at most kMaxUpdateEntryLength characters in all, and not a device name (NUL.dat). No
// separator, drive, stream, blank, '~' short name or second dot can pass, and no name of a
// library or program the system might load.
bool IsSafeUpdateEntryName(std::string_view name);

// The entries of an answer, every one checked. UpdateAnswerError names the first bad entry
// (or says the answer is too long or names too many updates); no entry is returned then.
std::vector<std::string> ParseUpdateAnswer(std::string_view body);

// Whether the wizard may ask this server: https:// anywhere, plain http:// only on this
// computer (localhost, 127.0.0.1, [::1]), where a maker's own server and the tests run.
bool IsAllowedUpdateServer(std::string_view serverAddress);

}  // namespace sentrel
