#pragma once

#include <string>

// zav-pkg's output. Phases (-verbose) go to standard output, one line each; details
// (-dumplog: every entry of the package, every file-system step) and messages go to standard
// error. Every line starts with the program's name ("zav-pkg: ", "zav-remove: "). Standard error is
// buffered while the entries stream past and flushed at each phase and before the program ends.
// Main thread only.
class ZAVPkgLog {
public:
    ZAVPkgLog(bool verbose, bool dumplog, const char *program = "zav-pkg");
    ~ZAVPkgLog();

    bool detailed() const { return m_dumplog; }

    void phase(const std::string &line);
    void detail(const std::string &line);
    // Always shown: a refusal, a failure, a warning.
    void message(const std::string &line);
    void flush();

private:
    bool m_verbose;
    bool m_dumplog;
    const char *m_program;
};

// Quotes a name from a package for a message: in double quotes, escaped as ZAVEscaped does
// (controls, text-direction controls, bytes that are not UTF-8, backslashes) and with its
// double quotes escaped, so a hostile name can neither forge further lines nor turn the text
// around where the message is shown.
std::string ZAVQuoted(const std::string &name);
