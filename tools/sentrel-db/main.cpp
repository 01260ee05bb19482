// sentrel-db: the maker's command-line tool for the threat database (native Linux program).
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return sentrel::dbtool::RunSentrelDb(arguments, std::cout, std::cerr);
}
