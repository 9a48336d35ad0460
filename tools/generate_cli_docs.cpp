// Writes the documents made from the command line's option table:
//
//   generate_cli_docs man TEMPLATE OUT    the man page: TEMPLATE with @VERSION@ and @OPTIONS@
//   generate_cli_docs bash-completion OUT the bash completion script
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/command_line.hpp"
#include "cli/version.hpp"

namespace {
void replaceAll(std::string& text, const std::string& key, const std::string& value) {
    for (std::size_t at = text.find(key); at != std::string::npos;
         at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
    }
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}
}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "man" && argc == 4) {
        std::ifstream in(argv[2], std::ios::binary);
        std::stringstream page;
        page << in.rdbuf();
        std::string text = page.str();
        replaceAll(text, "@VERSION@", shapemark::cli::kVersion);
        replaceAll(text, "@OPTIONS@\n", shapemark::cli::manOptionList());
        return in && writeFile(argv[3], text) ? 0 : 1;
    }
    if (what == "bash-completion" && argc == 3) {
        return writeFile(argv[2], shapemark::cli::bashCompletion()) ? 0 : 1;
    }
    std::cerr << "usage: generate_cli_docs man TEMPLATE OUT | bash-completion OUT\n";
    return 2;
}
