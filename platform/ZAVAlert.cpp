#include "ZAVAlert.h"

#include "ZAVApplication.h"
#include "ZAVDispatch.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {
ZAVAlert::Responder g_responder;
}

std::unique_ptr<ZAVAlert> ZAVAlert::alertWithMessageText(const QString &messageText,
                                                         const QString &defaultButton,
                                                         const QString &alternateButton,
                                                         const QString &otherButton,
                                                         const QString &informativeText)
{
    auto alert = std::make_unique<ZAVAlert>();
    alert->setMessageText(messageText);
    alert->setInformativeText(informativeText);
    alert->addButtonWithTitle(
        defaultButton.isEmpty() ? QCoreApplication::translate("ZAVAlert", "OK") : defaultButton);
    if (!alternateButton.isEmpty())
        alert->addButtonWithTitle(alternateButton);
    if (!otherButton.isEmpty())
        alert->addButtonWithTitle(otherButton);
    return alert;
}

void ZAVAlert::setResponder(Responder responder)
{
    g_responder = std::move(responder);
}

long ZAVAlert::runModal()
{
    ZAV_ASSERT_MAIN_THREAD();
    if (g_responder)
        return g_responder(*this);

    QMessageBox box(ZAVApplication::sharedApplication().mainWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(m_messageText);
    box.setIcon(m_alertStyle == ZAVInformationalAlertStyle ? QMessageBox::Information
                                                           : QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(m_messageText);
    box.setInformativeText(m_informativeText);
    // QMessageBox gives the informative text the automatic format; feed text must never be
    // taken for markup.
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);

    QList<QPushButton *> buttons;
    const QStringList titles = m_buttons.isEmpty()
                                   ? QStringList{QCoreApplication::translate("ZAVAlert", "OK")}
                                   : m_buttons;
    for (QString title : titles) {
        // A button title is plain text too: "&" is not a shortcut marker here.
        buttons.append(
            box.addButton(title.replace(u'&', QStringLiteral("&&")), QMessageBox::AcceptRole));
    }
    box.setDefaultButton(buttons.first());
    box.setEscapeButton(buttons.first());

    box.exec();
    const qsizetype index = buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return ZAVAlertFirstButtonReturn + (index < 0 ? 0 : index);
}
