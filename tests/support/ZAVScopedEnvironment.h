#pragma once

#include <QByteArray>

#include <optional>
#include <utility>
#include <vector>

// Environment changes that undo themselves. Each variable set or unset through the object gets
// its earlier value, or its absence, back when the object goes or restore() is called, however
// the test function ends: a QVERIFY that returns half-way leaves nothing for the next one.
// Values are bytes, as paths are. Main thread only, like qputenv.
class ZAVScopedEnvironment {
public:
    ZAVScopedEnvironment() = default;
    ZAVScopedEnvironment(const char *name, const QByteArray &value) { set(name, value); }
    ~ZAVScopedEnvironment() { restore(); }
    ZAVScopedEnvironment(const ZAVScopedEnvironment &) = delete;
    ZAVScopedEnvironment &operator=(const ZAVScopedEnvironment &) = delete;

    ZAVScopedEnvironment &set(const char *name, const QByteArray &value);
    ZAVScopedEnvironment &unset(const char *name);
    // Puts back what every variable held before its first change here, the last change first.
    void restore();

private:
    void remember(const char *name);

    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};
