#pragma once

#include <QString>

#include <optional>

// An error as a value: where it comes from (domain), a code within that domain, and a
// sentence for the user. Errors travel to completion handlers; nothing is thrown.
struct ZAVError {
    QString domain;
    qint64 code = 0;
    QString localizedDescription;

    // The developer-facing text that "%@" prints for an error:
    // Error Domain=<domain> Code=<code> "<localizedDescription>"
    QString description() const;

    friend bool operator==(const ZAVError &, const ZAVError &) = default;
};

// An error or none, as completion handlers take it.
using ZAVOptionalError = std::optional<ZAVError>;
