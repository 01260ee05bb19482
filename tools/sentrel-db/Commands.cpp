#include "Commands.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string_view>

#include "Csv.h"
#include "DataBaseFiles.h"
#include "FeedImport.h"
#include "Signing.h"
#include "Synthetic.h"
#include "UpdateFiles.h"
#include "common/Files.h"
#include "database/FileChecksums.h"
#include "database/Mask.h"
#include "database/Sha256.h"

namespace sentrel::dbtool {

namespace {

constexpr std::string_view kProgramName = "sentrel-db";

// Error and warning texts are one readable line each, whatever the names in them hold (a damaged
// file can put any bytes into a message): control bytes and bytes that are not UTF-8 become '?',
// and a very long text is cut.
std::string OneLine(std::string_view text) {
    constexpr std::size_t kMaxLength = 400;
    std::string line;
    std::size_t i = 0;
    while (i < text.size() && line.size() < kMaxLength) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80              ? 1
                             : (c & 0xE0) == 0xC0 ? 2
                             : (c & 0xF0) == 0xE0 ? 3
                             : (c & 0xF8) == 0xF0 ? 4
                                                  : 0;
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 0;
        }
        if (length == 0 || (length == 1 && (c < 0x20 || c == 0x7F))) {
            line += '?';
            ++i;
            continue;
        }
        line.append(text.substr(i, length));
        i += length;
    }
    if (i < text.size()) line += "...";
    return line;
}

// Names listed by info keep their bytes; only control bytes (line breaks) become '?'.
std::string NoControlBytes(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
    return text;
}

// A usage mistake: reported with a pointer to --help and exit code kExitUsage.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CommandContext {
    std::ostream& Out;
    std::ostream& Err;

    void Warn(const std::vector<std::string>& warnings) const {
        for (const std::string& warning : warnings) Err << kProgramName << ": warning: " << OneLine(warning) << '\n';
    }
};

using ArgumentList = std::span<const std::string>;

struct Command {
    std::string_view Name;
    std::string_view Arguments;  // as shown in the usage; ending in "..." when more may follow
    std::size_t ArgumentCount;   // the least number when Arguments ends in "..."
    std::string_view Summary;
    void (*Run)(ArgumentList arguments, const CommandContext& context);
};

void BuildCommand(ArgumentList arguments, const CommandContext& context) {
    std::vector<std::string> warnings;
    auto tables = ReadTableFolder(arguments[0], warnings);
    context.Warn(warnings);
    WriteDataBaseFile(arguments[1], std::move(tables));
}

void DumpCommand(ArgumentList arguments, const CommandContext& context) {
    const auto dataBase = LoadDataBaseFile(arguments[0]);
    std::vector<std::string> warnings;
    WriteTableFolder(*dataBase, arguments[1], warnings);
    context.Warn(warnings);
}

void GenerateCommand(ArgumentList arguments, const CommandContext&) {
    constexpr int kMaxRows = 10'000'000;
    int rows = 0;
    const auto [end, error] = std::from_chars(arguments[0].data(), arguments[0].data() + arguments[0].size(), rows);
    if (error != std::errc() || end != arguments[0].data() + arguments[0].size() || rows < 0 || rows > kMaxRows)
        throw UsageError("ROWS must be a whole number from 0 to " + std::to_string(kMaxRows));
    WriteDataBaseFile(arguments[1], MakeSyntheticTables(rows));
}

std::int32_t ParseNumber(const std::string& text, const char* what) {
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        throw UsageError(std::string(what) + " must be a whole number");
    return number;
}

std::string ReadKeyFile(const std::string& path) {
    try {
        return ReadFileText(path);
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
}

// The digests of the databases an update was made between (the signed binding), or that it
// names none (an update of an older tool, which the program refuses).
void PrintDataBaseHashes(const TPatchHeader& header, const CommandContext& context) {
    if (!header.Hashes) {
        context.Out << "databases: none named (made by an older tool; the program refuses it)\n";
        return;
    }
    context.Out << "old database SHA-256: " << Sha256Hex(header.Hashes->Old) << '\n'
                << "new database SHA-256: " << Sha256Hex(header.Hashes->New) << '\n';
}

void PrintUpdateInfo(const std::string& path, const CommandContext& context) {
    const TUpdateInfo info = DescribeUpdateFile(path);
    context.Out << NoControlBytes(path) << ": update number " << info.Header.UpdateNumber << '\n'
                << "old database: " << info.Header.OldLength << " bytes unpacked\n"
                << "new database: " << info.Header.NewLength << " bytes unpacked\n"
                << "update file: " << info.FileSize << " bytes; " << info.Stats.Copies << " copies of "
                << info.Stats.CopiedBytes << " bytes, " << info.Stats.Adds << " adds of " << info.Stats.AddedBytes
                << " bytes\n";
    PrintDataBaseHashes(info.Header, context);
    context.Out << "signature: " << (info.HasSignature ? "present" : "missing") << '\n';
}

void InfoCommand(ArgumentList arguments, const CommandContext& context) {
    std::unique_ptr<TDataBase> dataBase;
    try {
        dataBase = LoadDataBaseFile(arguments[0]);
    } catch (const ToolError& notDataBase) {
        // Perhaps an update file; if it is none either, the database's reason is the one shown.
        try {
            PrintUpdateInfo(arguments[0], context);
            return;
        } catch (const ToolError&) {
            throw notDataBase;
        }
    }
    std::int64_t knownSpywares = 0;
    context.Out << arguments[0] << ": " << dataBase->TableCount() << " tables\n";
    for (int i = 0; i < dataBase->TableCount(); ++i) {
        const TTable& table = *dataBase->GetTableByIndex(i);
        knownSpywares += table.RowCount();
        std::vector<std::string> names;
        std::string longer;
        for (int c = 0; c < table.ColumnCount(); ++c) {
            const TColumn& column = *table.GetColumn(c);
            names.push_back(column.Name());
            if (column.Count() != table.RowCount())
                longer += "; column " + column.Name() + " holds " + std::to_string(column.Count()) + " values";
        }
        std::string columns;
        AppendCsvRecord(columns, names);
        columns.pop_back();
        context.Out << NoControlBytes(table.Name()) << ": " << table.RowCount()
                    << " rows; columns: " << NoControlBytes(columns) << NoControlBytes(longer) << '\n';
    }
    // The start-up count of the program: the rows of all tables.
    context.Out << "KnownSpywares: " << knownSpywares << '\n';
}

// One line per file: the values of a Checksums row (FILE_SIZE, FIRST_LEVEL_CHECKSUM,
// SECOND_LEVEL_CHECKSUM) after the file's name, tab-separated. A file without checksums is
// reported on stderr and the rest go on; the exit status then says that some failed.
void ChecksumCommand(ArgumentList arguments, const CommandContext& context) {
    const TPlainFileAccess files;
    std::size_t failed = 0;
    for (const std::string& path : arguments) {
        try {
            const std::optional<std::int64_t> size = files.FindFileSize(path);
            const TFileChecksums checksums = ComputeFileChecksums(files, path);
            if (!size) throw FileError("No file \"" + path + "\"");
            context.Out << NoControlBytes(path) << '\t' << *size << '\t' << checksums.FirstLevel << '\t'
                        << checksums.SecondLevel << '\n';
        } catch (const FileError& error) {
            context.Err << kProgramName << ": " << OneLine(error.what()) << '\n';
            ++failed;
        }
    }
    if (failed > 0)
        throw std::runtime_error(std::to_string(failed) + " of " + std::to_string(arguments.size()) +
                                 " files have no checksums");
}

// Each name, a tab, and "match" or "no match" against the mask, as the cookie and folder
// lookups match. A malformed mask is refused whole, before any name.
void MaskCommand(ArgumentList arguments, const CommandContext& context) {
    const std::string& mask = arguments[0];
    if (!IsWellFormedMask(mask)) throw InvalidMaskError();
    for (const std::string& name : arguments.subspan(1))
        context.Out << NoControlBytes(name) << '\t' << (MatchesMask(name, mask) ? "match" : "no match") << '\n';
}

// The update NUMBER from OLD.db to NEW.db, with both sizes (a small change gives a small file).
void DiffCommand(ArgumentList arguments, const CommandContext& context) {
    const std::int32_t number = ParseNumber(arguments[2], "NUMBER");
    const TMadeUpdate made = MakeUpdateFile(arguments[0], arguments[1], number, arguments[3]);
    context.Out << NoControlBytes(arguments[3]) << ": update number " << number << ", " << made.UpdateFileSize
                << " bytes (" << made.Stats.Copies << " copies of " << made.Stats.CopiedBytes << " bytes, "
                << made.Stats.Adds << " adds of " << made.Stats.AddedBytes << " bytes)\n"
                << NoControlBytes(arguments[1]) << ": " << made.NewDataBaseFileSize << " bytes ("
                << made.NewUnpackedSize << " unpacked)\n";
}

// What the program would do with UPDATE on a database DB numbered NUMBER.
void ApplyCommand(ArgumentList arguments, const CommandContext& context) {
    const std::int32_t number = ParseNumber(arguments[1], "NUMBER");
    std::unique_ptr<TOpenSslVerifier> verifier;
    if (arguments.size() == 6 && arguments[4] == "--key")
        verifier = std::make_unique<TOpenSslVerifier>(ReadKeyFile(arguments[5]));
    else if (arguments.size() != 4)
        throw UsageError("apply takes DB NUMBER UPDATE OUT.db [--key PUBLIC_KEY]");
    else
        verifier = std::make_unique<TOpenSslVerifier>(std::string(BuiltInUpdateKeyPem()));
    const TAppliedUpdate applied = ApplyUpdateFile(arguments[0], number, arguments[2], arguments[3], *verifier);
    if (!applied.Result.Applied) throw std::runtime_error(applied.Refusal);
    context.Out << NoControlBytes(arguments[3]) << ": database number " << applied.Result.OldNumber << " updated to "
                << applied.Result.UpdateNumber << '\n';
}

void KeygenCommand(ArgumentList arguments, const CommandContext& context) {
    GenerateKeyPair(arguments[0], arguments[1]);
    context.Out << "private key: " << NoControlBytes(arguments[0]) << " (keep it off the build machines)\n"
                << "public key: " << NoControlBytes(arguments[1]) << '\n';
}

void SignCommand(ArgumentList arguments, const CommandContext& context) {
    const std::string& file = arguments[1];
    std::vector<std::uint8_t> data;
    try {
        data = ReadFileBytes(file);
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
    const std::vector<std::uint8_t> signature = SignBytes(ReadKeyFile(arguments[0]), data);
    const std::string signaturePath = file + std::string(kSignatureSuffix);
    try {
        WriteFileAtomically(signaturePath, signature);
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
    context.Out << NoControlBytes(signaturePath) << '\n';
}

void VerifyCommand(ArgumentList arguments, const CommandContext& context) {
    const TOpenSslVerifier verifier(ReadKeyFile(arguments[0]));
    const TPatchHeader header = VerifyUpdateFile(arguments[1], verifier);
    context.Out << NoControlBytes(arguments[1]) << ": good signature; update number " << header.UpdateNumber << '\n';
    PrintDataBaseHashes(header, context);
}

// The public feeds of the extension package's thirdparties folder into the host-name tables:
// one line per feed file, warnings for its first bad lines, then the rows of each table.
void ImportCommand(ArgumentList arguments, const CommandContext& context) {
    const TImportedFeeds feeds = ImportFeeds(arguments[0]);
    for (const TFeedStats& file : feeds.Files) {
        context.Warn(file.Warnings);
        context.Out << NoControlBytes(file.FileName) << ": " << file.Lines << " lines, " << file.Rules << ' '
                    << file.RuleKind << ", " << file.Skipped << " skipped, " << file.Bad << " bad\n";
    }
    WriteImportedTables(feeds, arguments[1]);
    for (const auto& table : feeds.Tables) context.Out << table->Name() << ".csv: " << table->RowCount() << " rows\n";
}

constexpr Command kCommands[] = {
    {"build", "SRC_DIR OUT.db", 2, "build a database from one <Table>.csv per table in SRC_DIR", BuildCommand},
    {"dump", "DB OUT_DIR", 2, "write one <Table>.csv per table of the database DB into OUT_DIR", DumpCommand},
    {"info", "DB", 1,
     "list the tables, their columns and rows, and the KnownSpywares total (for an update file: its number, "
     "lengths, the digests of the databases it names and its records)",
     InfoCommand},
    {"import", "ASSETS_DIR OUT_DIR", 2,
     "read the public feeds under ASSETS_DIR (the thirdparties folder of webext-ublock-origin-firefox) and write "
     "TrackerDomains.csv, MaliciousHosts.csv and PublicSuffixes.csv into OUT_DIR",
     ImportCommand},
    {"generate", "ROWS OUT.db", 2, "write a synthetic database of ROWS rows (for load benchmarks)", GenerateCommand},
    {"checksum", "FILE...", 1, "print FILE_SIZE and both checksums of each FILE (a Checksums row)", ChecksumCommand},
    {"mask", "MASK NAME...", 2, "print whether each NAME matches the cookie or folder MASK", MaskCommand},
    {"diff", "OLD.db NEW.db NUMBER OUT", 4, "write the update NUMBER that turns OLD.db into NEW.db", DiffCommand},
    {"apply", "DB NUMBER UPDATE OUT.db [--key PUBLIC_KEY]", 4,
     "apply UPDATE as the program would to DB numbered NUMBER (signature checked with the built-in key, or "
     "--key PUBLIC_KEY) and write the result to OUT.db",
     ApplyCommand},
    {"keygen", "PRIVATE_KEY PUBLIC_KEY", 2, "make a P-256 key pair for signing updates", KeygenCommand},
    {"sign", "PRIVATE_KEY FILE", 2, "write FILE.sig, the signature of FILE", SignCommand},
    {"verify", "PUBLIC_KEY FILE", 2,
     "check the update FILE as the program does before applying it: FILE.sig against FILE and the public key, "
     "and the databases it names",
     VerifyCommand},
};

void PrintUsage(std::ostream& out) {
    out << "Usage: " << kProgramName << " COMMAND ARGUMENTS...\n"
        << "The maker's tool for the threat database (database.db).\n\nCommands:\n";
    for (const Command& command : kCommands) {
        std::string synopsis = std::string(command.Name) + " " + std::string(command.Arguments);
        synopsis.resize(std::max<std::size_t>(synopsis.size() + 2, 22), ' ');
        out << "  " << synopsis << command.Summary << '\n';
    }
    out << "  --help                print this text\n\n"
        << "Tables are CSV files (RFC 4180): the first row names the columns in stored order, each\n"
        << "further row is one row of the table; quoted fields may hold commas, quotes (doubled) and\n"
        << "line breaks; CR LF or LF line ends. Cells are stored as the bytes of the file.\n\n"
        << "An update file holds the patch from one unpacked database to the next, packed and encrypted\n"
        << "like a database; FILE.sig signs the whole file. The patch names both databases: after its\n"
        << "number, the mark \"SHA2\" and the two lengths come the SHA-256 of the old unpacked database\n"
        << "and of the new one. So the signature binds the update to the one database it was made from\n"
        << "and the one it makes: the program applies it only to a database whose digest is the old one\n"
        << "(whatever its number says) and keeps the result only when its digest is the new one. diff\n"
        << "writes both; updates without them (older tools) are refused.\n\n"
        << "Exit status: 0 done, 1 failed (bad input or files), 2 wrong usage.\n";
}

const Command& FindCommand(std::span<const std::string> arguments) {
    if (arguments.empty()) throw UsageError("no command given");
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command& command) { return command.Name == arguments[0]; });
    if (found == std::end(kCommands)) throw UsageError("unknown command \"" + arguments[0] + "\"");
    const bool more = found->Arguments.ends_with("...") || found->Arguments.ends_with("]");
    if (more ? arguments.size() - 1 < found->ArgumentCount : arguments.size() - 1 != found->ArgumentCount)
        throw UsageError(std::string(found->Name) + " takes " + std::string(found->Arguments));
    return *found;
}

}  // namespace

int RunSentrelDb(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    const CommandContext context{out, err};
    try {
        if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help")) {
            PrintUsage(out);
            return kExitSuccess;
        }
        const Command& command = FindCommand(arguments);
        command.Run(std::span(arguments).subspan(1), context);
        out.flush();
        return kExitSuccess;
    } catch (const UsageError& error) {
        err << kProgramName << ": " << OneLine(error.what()) << " (see " << kProgramName << " --help)\n";
        return kExitUsage;
    } catch (const std::exception& error) {
        err << kProgramName << ": " << OneLine(error.what()) << '\n';
        return kExitFailure;
    }
}

}  // namespace sentrel::dbtool
