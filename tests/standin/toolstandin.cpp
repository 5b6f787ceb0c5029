// Stands in for ExifTool in the tests, on every system: speaks enough of its
// -stay_open protocol, writes the source's path (or its bytes) into the
// output file, then answers after a pause, or dies. A source whose path holds
// "slow" takes longer; one that holds "hang" gets no answer in time.
//
// It reads what to do from <its own path, less ".exe">.cfg, one key=value a
// line: pause (seconds), dies, warning (text for standard error, "\n" for a
// line break), copies, marker (a file it creates at its start), exit (ends
// at once with that status), silent (reads nothing, ends after a minute),
// diesonce (a file: while it is missing, the tool makes it and dies half-way
// through writing its first copy, as if killed).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <thread>

namespace {

std::map<std::string, std::string> settings(std::string self)
{
    if (self.size() > 4 && self.compare(self.size() - 4, 4, ".exe") == 0)
        self.resize(self.size() - 4);
    std::map<std::string, std::string> found;
    std::ifstream file(self + ".cfg");
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            found[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return found;
}

std::string unescaped(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
}

// An argument line as ExifTool reads it: a "#[CSTR]" line is a C string.
std::string argumentOf(const std::string &line)
{
    static const std::string prefix = "#[CSTR]";
    if (line.compare(0, prefix.size(), prefix) != 0)
        return line;
    std::string out;
    for (std::size_t i = prefix.size(); i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            out += line[i];
            continue;
        }
        const char c = line[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

} // namespace

int main(int, char **argv)
{
    std::map<std::string, std::string> with = settings(argv[0]);
    if (with.count("marker"))
        std::ofstream(with["marker"]).put('x');
    if (with.count("exit"))
        return std::stoi(with["exit"]);
    if (with.count("silent")) {
        pause(60);
        return 0;
    }
    const double wait = with.count("pause") ? std::stod(with["pause"]) : 0;
    std::string out, src;
    bool nextIsOutput = false;
    for (std::string line; std::getline(std::cin, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "#[CSTR]-o") {
            nextIsOutput = true;
        } else if (line.compare(0, 8, "-execute") == 0) {
            const std::string n = line.substr(8);
            if (src.find("hang") != std::string::npos)
                pause(30);
            else if (src.find("slow") != std::string::npos)
                pause(0.6);
            if (!out.empty() && with.count("diesonce") && !std::ifstream(with["diesonce"])) {
                std::ofstream(with["diesonce"]).put('x');
                std::ofstream(out, std::ios::binary).write(src.data(), std::streamsize(src.size() / 2)).flush();
                pause(wait);
                std::_Exit(9);
            }
            if (!out.empty()) {
                std::ofstream copy(out, std::ios::binary);
                if (with.count("copies"))
                    copy << std::ifstream(src, std::ios::binary).rdbuf();
                else
                    copy << src;
            }
            pause(wait);
            if (with.count("dies")) {
                std::cerr << unescaped(with["warning"]) << std::flush;
                return 3;
            }
            std::cout << "    1 image files created\n{status=0}\n{ready" << n << "}\n" << std::flush;
            std::cerr << unescaped(with["warning"]) << "{end" << n << "}\n" << std::flush;
            out.clear();
            src.clear();
        } else if (line == "False") {
            return 0;
        } else if (line.compare(0, 8, "#[CSTR]-") == 0 || (!line.empty() && (line[0] == '-' || line[0] == '{'))) {
        } else if (nextIsOutput) {
            out = argumentOf(line);
            nextIsOutput = false;
        } else {
            src = argumentOf(line);
        }
    }
    return 0;
}
