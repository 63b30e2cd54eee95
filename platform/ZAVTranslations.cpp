#include "ZAVTranslations.h"

#include "ZAVDispatch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

struct Installed {
    std::unique_ptr<QTranslator> own;
    std::unique_ptr<QTranslator> qt;
};

Installed &installed()
{
    static Installed translators;
    return translators;
}

// Qt's convention: a translation says "RTL" for this text when its language is written right to
// left. Every translation file of ours carries it, so the direction does not hang on Qt's files.
const char *const kLayoutDirection = QT_TRANSLATE_NOOP("QGuiApplication", "QT_LAYOUT_DIRECTION");

} // namespace

QString ZAVInstallTranslations(const QLocale &locale, const QString &directory)
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVRemoveTranslations();
    // Numbers in the texts (sizes, times, counts) are written as this locale writes them.
    QLocale::setDefault(locale);
    Installed &now = installed();
    // Qt looks in the translator installed last first: ours go after Qt's.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        now.qt = std::move(qt);
    }
    auto own = std::make_unique<QTranslator>();
    QString language;
    if (own->load(locale, QStringLiteral("zav"), QStringLiteral("_"), directory)) {
        QCoreApplication::installTranslator(own.get());
        language = own->language();
        now.own = std::move(own);
    }
    QGuiApplication::setLayoutDirection(
        QCoreApplication::translate("QGuiApplication", kLayoutDirection) == u"RTL"
            ? Qt::RightToLeft
            : Qt::LeftToRight);
    return language;
}

void ZAVRemoveTranslations()
{
    ZAV_ASSERT_MAIN_THREAD();
    Installed &now = installed();
    for (std::unique_ptr<QTranslator> *translator : {&now.own, &now.qt}) {
        if (*translator)
            QCoreApplication::removeTranslator(translator->get());
        translator->reset();
    }
    QLocale::setDefault(QLocale::system());
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}
