#pragma once
// The administrator part's store, below the machine's common application data folder:
//
//     Sentrel 4 Administrator\Changes\<n>\change.ini   what change n removed (and "entry", a file)
//     Sentrel 4 Administrator\Results\<ticket>.ini     the answer to one request
//
// Only administrators and the system may write there; users may read (the shield reads its
// answers). The folders are made with those rules when missing and checked at every start; every
// file is made new (never written through a link or over what is there) and read once.

#include <optional>
#include <string>
#include <string_view>

namespace sentrel::admin {

class AdminStore {
public:
    // Opens the store below `dataFolder` (no trailing separator), making what is missing. Throws
    // std::runtime_error when it or a folder of it is a link or, with `checkRules`, can be changed
    // by others than administrators.
    AdminStore(const std::string& dataFolder, bool checkRules);

    // A new change's folder (with its trailing separator) and number.
    struct NewChange {
        std::string folder;
        std::string number;
    };
    NewChange MakeChange();
    // The folder of change `number`; throws when there is none (or it is a link).
    std::string ChangeFolder(const std::string& number) const;
    // Forgets a change: its folder goes.
    void DropChange(const std::string& folder) noexcept;

    // Whether an answer of that ticket is there already (a ticket serves one request).
    bool HasAnswer(const std::string& ticket) const;
    void WriteAnswer(const std::string& ticket, std::string_view text);
    // Answers older than a day go (the shield reads its answer at once).
    void DropOldAnswers() noexcept;

private:
    std::string root_;
    std::string changes_;
    std::string results_;
};

// A file made new with `bytes`: refused when anything (a file, a folder, a link) is at `path`.
// Throws std::runtime_error.
void WriteNewFile(const std::string& path, std::string_view bytes);
// A plain file read whole; throws when it is missing, a link or a folder.
std::string ReadPlainFile(const std::string& path);

}  // namespace sentrel::admin
