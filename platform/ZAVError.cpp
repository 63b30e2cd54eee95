#include "ZAVError.h"

QString ZAVError::description() const
{
    return QStringLiteral("Error Domain=%1 Code=%2 \"%3\"")
        .arg(domain)
        .arg(code)
        .arg(localizedDescription);
}
