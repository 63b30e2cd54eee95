#include "ZAVPkgLog.h"

#include "base/ZAVEscaped.h"

#include <cstdio>

ZAVPkgLog::ZAVPkgLog(bool verbose, bool dumplog, const char *program)
    : m_verbose(verbose), m_dumplog(dumplog), m_program(program)
{
    if (m_dumplog)
        std::setvbuf(stderr, nullptr, _IOFBF, 1 << 16);
}

ZAVPkgLog::~ZAVPkgLog()
{
    flush();
}

void ZAVPkgLog::phase(const std::string &line)
{
    if (m_dumplog)
        std::fflush(stderr);
    if (m_verbose) {
        std::fprintf(stdout, "%s: %s\n", m_program, line.c_str());
        std::fflush(stdout);
    }
}

void ZAVPkgLog::detail(const std::string &line)
{
    if (m_dumplog)
        std::fprintf(stderr, "%s: %s\n", m_program, line.c_str());
}

void ZAVPkgLog::message(const std::string &line)
{
    std::fprintf(stderr, "%s: %s\n", m_program, line.c_str());
    std::fflush(stderr);
}

void ZAVPkgLog::flush()
{
    std::fflush(stdout);
    std::fflush(stderr);
}

std::string ZAVQuoted(const std::string &name)
{
    std::string quoted = "\"";
    // The escaper never writes a double quote of its own: each one here is the name's.
    for (const char c : ZAVEscaped(name)) {
        if (c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}
