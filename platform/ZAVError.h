#pragma once

#include "ZAVUserText.h"

#include <QString>

#include <optional>

// An error as a value: where it comes from (domain), a code within that domain, and a
// sentence for the user. Errors travel to completion handlers; nothing is thrown.
//
// The sentence is kept in English (localizedDescription: what log lines print) and, when the
// user's language has a translation of it, in that language too (translatedDescription, empty
// otherwise); the window shows userDescription().
struct ZAVError {
    QString domain;
    qint64 code = 0;
    QString localizedDescription;
    QString translatedDescription = {};

    // An error whose sentence is `text`, in both of its forms.
    static ZAVError withText(QString domain, qint64 code, const ZAVUserText &text);
    // What the user reads: the translation, else the English.
    const QString &userDescription() const
    {
        return translatedDescription.isEmpty() ? localizedDescription : translatedDescription;
    }

    // The developer-facing text that "%@" prints for an error:
    // Error Domain=<domain> Code=<code> "<localizedDescription>"
    QString description() const;

    friend bool operator==(const ZAVError &, const ZAVError &) = default;
};

// An error or none, as completion handlers take it.
using ZAVOptionalError = std::optional<ZAVError>;
