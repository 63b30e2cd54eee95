#include "feed/ZAVConstants.h"
#include "platform/ZAVWindow.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    // Before any window: without a sound stamp there is no feed to fetch nor key to trust.
    if (const QString problem = ZAVConstants::stampProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "zav-installer: %s\n", problem.toUtf8().constData());
        return 1;
    }
    return ZAVApplicationMain(argc, argv);
}
