#include "ZAVAlert.h"

#include "ZAVApplication.h"
#include "ZAVDispatch.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {
ZAVAlert::Responder g_responder;

// Keeps Escape from answering: QMessageBox would take its one button for the escape button.
class EscapeIgnorer : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->matches(QKeySequence::Cancel))
            return true;
        return QObject::eventFilter(watched, event);
    }
};
// A window manager cuts a title that does not fit its title bar. QMessageBox leaves room for
// the title in the plain font and 50 pixels beside it, and less on a small screen; title bars
// set it in bold, beside an icon and buttons. The alert is made at least as wide as the bold
// title and room for eight title-bar buttons, within the screen: openbox's default layout has
// four beside the title (icon, iconify, maximise, close), and the title bar Qt draws itself on
// Wayland centres the title over the whole bar, with three buttons on one side.
void makeRoomForTheTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance(box.windowTitle()) + 8 * (metrics.height() + 6);
    if (const QScreen *screen = box.screen())
        width = std::min(width, screen->availableGeometry().width() - 40);
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(width - margins.left() - margins.right(), 0, QSizePolicy::Fixed,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}
} // namespace

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
    EscapeIgnorer escapeIgnorer;
    box.installEventFilter(&escapeIgnorer);
    // A close through the window manager ends the box without a click: QMessageBox then names
    // its escape button as clicked, but no button said so.
    QAbstractButton *clicked = nullptr;
    QObject::connect(&box, &QMessageBox::buttonClicked, &box,
                     [&clicked](QAbstractButton *button) { clicked = button; });
    // A dialog to the window manager (placed over the installer's window), with a close button
    // and neither minimise nor maximise.
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
    makeRoomForTheTitle(box);

    box.exec();
    const qsizetype index = buttons.indexOf(qobject_cast<QPushButton *>(clicked));
    return index < 0 ? ZAVAlertClosedReturn : ZAVAlertFirstButtonReturn + index;
}
