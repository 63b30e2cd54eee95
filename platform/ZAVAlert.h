#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

inline constexpr long ZAVAlertFirstButtonReturn = 1000;
// The alert was closed through the window manager (its close button) without an answer.
inline constexpr long ZAVAlertClosedReturn = -1;

enum ZAVAlertStyle : int {
    ZAVWarningAlertStyle = 0,
    ZAVInformationalAlertStyle = 1,
    ZAVCriticalAlertStyle = 2,
};

// A modal alert over QMessageBox. Every text is shown as plain text, never as markup.
// Main thread only.
class ZAVAlert {
public:
    // A ready alert with the default button and, when given, up to two more. The informative
    // text is used as it stands. The style is the default, warning.
    static std::unique_ptr<ZAVAlert> alertWithMessageText(const QString &messageText,
                                                          const QString &defaultButton,
                                                          const QString &alternateButton,
                                                          const QString &otherButton,
                                                          const QString &informativeText);

    void setMessageText(const QString &text) { m_messageText = text; }
    void setInformativeText(const QString &text) { m_informativeText = text; }
    void addButtonWithTitle(const QString &title) { m_buttons.append(title); }
    void setAlertStyle(int style) { m_alertStyle = style; }

    const QString &messageText() const { return m_messageText; }
    const QString &informativeText() const { return m_informativeText; }
    const QStringList &buttons() const { return m_buttons; }
    int alertStyle() const { return m_alertStyle; }

    // Shows the alert application-modal and waits for the answer: 1000 for the first button,
    // 1001 for the second, and so on (a click, or Return for the first). Escape is no answer:
    // the alert stays up. Closing it through the window manager gives ZAVAlertClosedReturn.
    long runModal();

    // Tests: every alert is handed to `responder` instead of being shown, and its answer is
    // what runModal returns. nullptr shows alerts again.
    using Responder = std::function<long(const ZAVAlert &)>;
    static void setResponder(Responder responder);

private:
    QString m_messageText;
    QString m_informativeText;
    QStringList m_buttons;
    int m_alertStyle = ZAVWarningAlertStyle;
};
