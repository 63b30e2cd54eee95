#pragma once

#include "ZAVFileError.h"

#include <optional>
#include <utility>
#include <variant>

// The outcome of a file step without a value: success, or the ZAVFileError that stopped it.
// `if (!status)` reads "if it failed". Copyable; any thread.
class ZAVStatus {
public:
    ZAVStatus() = default; // success
    ZAVStatus(ZAVFileError error) : m_error(std::move(error)) {}

    bool ok() const { return !m_error; }
    explicit operator bool() const { return ok(); }
    // Only when !ok().
    const ZAVFileError &error() const { return *m_error; }
    // The errno value, 0 on success.
    int errorNumber() const { return m_error ? m_error->error : 0; }

private:
    std::optional<ZAVFileError> m_error;
};

// A value of type T, or the ZAVFileError that kept it from being made. Move or copy as T
// allows; any thread.
template <typename T> class ZAVResult {
public:
    ZAVResult(T value) : m_value(std::move(value)) {}
    ZAVResult(ZAVFileError error) : m_value(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_value); }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    T &value() { return std::get<T>(m_value); }
    const T &value() const { return std::get<T>(m_value); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    // Only when !ok().
    const ZAVFileError &error() const { return std::get<ZAVFileError>(m_value); }
    int errorNumber() const { return ok() ? 0 : error().error; }
    ZAVStatus status() const { return ok() ? ZAVStatus() : ZAVStatus(error()); }

private:
    std::variant<T, ZAVFileError> m_value;
};
