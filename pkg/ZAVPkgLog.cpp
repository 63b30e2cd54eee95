#include "ZAVPkgLog.h"

#include <cstdio>

ZAVPkgLog::ZAVPkgLog(bool verbose, bool dumplog) : m_verbose(verbose), m_dumplog(dumplog)
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
        std::fprintf(stdout, "zav-pkg: %s\n", line.c_str());
        std::fflush(stdout);
    }
}

void ZAVPkgLog::detail(const std::string &line)
{
    if (m_dumplog)
        std::fprintf(stderr, "zav-pkg: %s\n", line.c_str());
}

void ZAVPkgLog::message(const std::string &line)
{
    std::fprintf(stderr, "zav-pkg: %s\n", line.c_str());
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
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (u < 0x20 || u == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", u);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}
