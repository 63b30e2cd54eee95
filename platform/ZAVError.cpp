#include "ZAVError.h"

QString ZAVError::description() const
{
    return QStringLiteral("Error Domain=%1 Code=%2 \"%3\"")
        .arg(domain)
        .arg(code)
        .arg(localizedDescription);
}

ZAVError ZAVError::withText(QString domain, qint64 code, const ZAVUserText &text)
{
    ZAVError error{std::move(domain), code, text.english()};
    if (text.translated() != text.english())
        error.translatedDescription = text.translated();
    return error;
}
