#pragma once
// TColorList: the white list ("white_list.txt": warnings to ignore) and the black list
// ("black_list.txt": warnings to fix without asking). A list of text lines bound to one file in
// the program folder: plain UTF-8 text without a byte-order mark, one entry per line, lines ended
// by CR LF (a lone LF or a lone CR also ends a line when loading). Entries are not sorted and may
// repeat. A list an older version wrote in the system's code page is read in that code page and
// saved as UTF-8. A file saved as UTF-16 LE with a byte-order mark (Notepad's "Unicode") is read
// as such and saved back the same way. Every save rewrites the whole file in one step, so a crash leaves
// the old list or the new one. Used on the main thread only.

#include <string>
#include <string_view>
#include <vector>

#include "common/StoredText.h"

namespace sentrel {

inline constexpr std::string_view kWhiteListFileName = "white_list.txt";
inline constexpr std::string_view kBlackListFileName = "black_list.txt";

class TColorList {
public:
    // Binds the list to the file at `path`: creates an empty file when there is none, then loads
    // it; text that is not UTF-8 is read in `legacyCodePage`. Throws FileError when the file
    // cannot be created or read.
    explicit TColorList(std::string path, unsigned legacyCodePage = LegacyCodePage());

    const std::string& Path() const { return path_; }
    const std::vector<std::string>& Entries() const { return entries_; }
    std::size_t Count() const { return entries_.size(); }

    // True when some entry equals `text` as a whole line, ignoring letter case (SameIgnoringCase,
    // common/TextCase.h); false for an empty text and for an empty list.
    bool Contains(std::string_view text) const;

    // Appends `text` (or every line of `lines`, in order) and rewrites the whole file. When the
    // file cannot be written, the list is left as it was and FileError is thrown.
    void AddAndSave(std::string text);
    void AddAllAndSave(const std::vector<std::string>& lines);

    // Empties the list in memory only (the options dialog clears it and then writes its own
    // contents back with AddAllAndSave).
    void Clear();
    // Replaces every entry with `lines` and rewrites the file; when the file cannot be written the
    // list keeps its old entries and FileError is thrown.
    void ReplaceAllAndSave(const std::vector<std::string>& lines);
    // Replaces or deletes the entry at `index`, in memory only (the options dialog's edits reach
    // the file with its next save). Throw std::out_of_range for an index outside the list.
    void Replace(std::size_t index, std::string text);
    void Delete(std::size_t index);

    // The lines of a list file: split at CR LF, lone LF and lone CR; a line break at the very end
    // does not start another entry.
    static std::vector<std::string> ParseLines(std::string_view text);

private:
    void Save();

    std::string path_;
    std::vector<std::string> entries_;
    bool utf16_ = false;
};

}  // namespace sentrel
