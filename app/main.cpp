#include "platform/ZAVWindow.h"

int main(int argc, char *argv[])
{
    return ZAVApplicationMain(argc, argv);
}
