#include "ZAVPackageInstallerSentence.h"

#include <QCoreApplication>
#include <QList>

ZAVUserText ZAVPackageInstallerSentence(const QByteArray &line)
{
    const QList<QByteArray> parts = line.trimmed().split('\x1f');
    const QByteArray &source = parts.first();
    QList<ZAVUserText> arguments;
    for (qsizetype i = 1; i < parts.size(); ++i)
        arguments.append(QString::fromUtf8(parts[i]));
    return ZAVUserText(QString::fromUtf8(source),
                       QCoreApplication::translate("zav-pkg", source.constData()))
        .arg(arguments);
}
