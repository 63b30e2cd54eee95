#include "ZAVAppUtils.h"

#include "platform/ZAVApplication.h"

void ZAVAppUtils::quitApp()
{
    ZAVApplication::sharedApplication().terminate("ZAVAppUtils");
}
