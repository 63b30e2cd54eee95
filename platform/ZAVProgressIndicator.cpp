#include "ZAVProgressIndicator.h"

#include <QProgressBar>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {
constexpr char kDoubleValue[] = "zavDoubleValue";
}

void ZAVProgressSetDoubleValue(QProgressBar *bar, double value)
{
    if (!bar)
        return;
    bar->setProperty(kDoubleValue, value);
    if (bar->minimum() == bar->maximum())
        return; // indeterminate: there is no value to show
    double shown = std::isnan(value) ? bar->minimum() : value;
    shown = std::clamp(shown, double(bar->minimum()), double(bar->maximum()));
    bar->setValue(int(std::floor(shown)));
}

double ZAVProgressDoubleValue(const QProgressBar *bar)
{
    return bar ? bar->property(kDoubleValue).toDouble() : 0.0;
}
