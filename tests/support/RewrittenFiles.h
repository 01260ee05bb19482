#pragma once
// The files the program rewrites while it runs, each with a writer that alternates between two
// versions of it and a check that the file on disk is one of the two, whole. The kill-proof tests
// end such a writer at random moments: natively a forked child, under Windows a copy of
// tests/helpers/FileWriter.cpp ended with TerminateProcess.

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace sentrel::test {

struct RewrittenFile {
    std::string name;
    // Every name the folder may hold after a kill: the file, its one temporary file and the
    // working files whose fixed names the next write takes over.
    std::set<std::string> allowed;
    // Writes the first version into the folder.
    std::function<void(const std::string& folder)> prepare;
    // A writer for the folder: writer(i) writes version i % 2 (it may keep state between calls).
    std::function<std::function<void(int)>(const std::string& folder)> writer;
    // Empty when the file reads back whole as one of the versions; otherwise what is wrong.
    std::function<std::string(const std::string& folder)> check;
};

// options.ini, a list file, backups.ini, database.db and a backup's backup.reg.
const std::vector<RewrittenFile>& RewrittenFiles();

}  // namespace sentrel::test
